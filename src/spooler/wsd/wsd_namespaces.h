// The XML namespaces WSD speaks in, in both of the versions devices use:
// WS-Discovery of April 2005 with WS-Addressing of August 2004 and the
// devices profile of February 2006 (what Windows and most print devices
// speak), and WS-Discovery 1.1 with WS-Addressing 1.0 and DPWS 1.1 (OASIS,
// 2009). Both carry SOAP 1.2.
#ifndef QUELVARO_SPOOLER_WSD_WSD_NAMESPACES_H
#define QUELVARO_SPOOLER_WSD_WSD_NAMESPACES_H

const char kSoapNamespace[] = "http://www.w3.org/2003/05/soap-envelope";

// The type of a print device (wprt:PrintDeviceType), the one probed for.
const char kPrintNamespace[] =
    "http://schemas.microsoft.com/windows/2006/08/wdp/print";
const char kPrintDeviceType[] = "PrintDeviceType";

// WS-Transfer's Get, which asks a device for its metadata: the same in both.
const char kTransferGet[] = "http://schemas.xmlsoap.org/ws/2004/09/transfer/Get";

enum WsdVersion {
  kWsd2005,  // April 2005
  kWsd2009,  // 1.1
};

struct WsdNamespaces {
  const char* discovery;
  const char* addressing;
  const char* devices;
  const char* discovery_to;  // the To of a multicast Probe or Resolve
  const char* anonymous;     // the address of "answer on this connection"
};

// By WsdVersion.
const WsdNamespaces kWsdNamespaces[] = {
    {"http://schemas.xmlsoap.org/ws/2005/04/discovery",
     "http://schemas.xmlsoap.org/ws/2004/08/addressing",
     "http://schemas.xmlsoap.org/ws/2006/02/devprof",
     "urn:schemas-xmlsoap-org:ws:2005:04:discovery",
     "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"},
    {"http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01",
     "http://www.w3.org/2005/08/addressing",
     "http://docs.oasis-open.org/ws-dd/ns/dpws/2009/01",
     "urn:docs-oasis-open-org:ws-dd:ns:discovery:2009:01",
     "http://www.w3.org/2005/08/addressing/anonymous"},
};

#endif  // QUELVARO_SPOOLER_WSD_WSD_NAMESPACES_H
