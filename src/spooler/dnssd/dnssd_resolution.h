// What Avahi's replies say: a ResolveService reply read into a service,
// its TXT record in the order the record has on the wire.
#ifndef QUELVARO_SPOOLER_DNSSD_DNSSD_RESOLUTION_H
#define QUELVARO_SPOOLER_DNSSD_DNSSD_RESOLUTION_H

#include <dbus/dbus.h>

#include <string>

#include "spooler/dnssd/dbus_library.h"
#include "spooler/dnssd/dnssd_browse.h"

// Whether a daemon of that version ("avahi 0.8", as GetVersionString gives
// it) hands a TXT record's strings over in the reverse of their order on
// the wire: every release before 0.9 does.
bool HandsTxtReversed(const std::string& version);

// A ResolveService reply: interface, protocol, name, type, domain, host,
// address protocol, address, port, TXT record (an array of byte arrays),
// flags, read into service through dbus; txt_reversed as HandsTxtReversed
// says. False for a reply of another shape.
bool ReadResolution(const Dbus& dbus, DBusMessage* reply, bool txt_reversed,
                    DnssdService& service);

#endif  // QUELVARO_SPOOLER_DNSSD_DNSSD_RESOLUTION_H
