// The WSD print devices a discovery found, as the Network scope shows them.
#ifndef QUELVARO_SPOOLER_WSD_WSD_PRINTERS_H
#define QUELVARO_SPOOLER_WSD_WSD_PRINTERS_H

#include <vector>

#include "spooler/printer_records.h"
#include "spooler/wsd/wsd_discovery.h"

// One record per device, in the order of names (bytes), then of addresses:
//   pName         its FriendlyName, byte for byte, else its endpoint
//                 reference address
//   pDescription  "name,model," (the model its metadata's ModelName, empty
//                 when it gave none)
//   pComment      its transport address (WsdDevice.xaddr)
//   Flags         the printer icon
// and, at level 2, the name, the model as the driver, the transport address
// as the port, and the attribute NETWORK.
PrinterList WsdPrinters(const std::vector<WsdDevice>& devices);

#endif  // QUELVARO_SPOOLER_WSD_WSD_PRINTERS_H
