// Avahi's ResolveService replies, read.
#include "spooler/dnssd/dnssd_resolution.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include "spooler/ascii_case.h"
#include "spooler/dnssd/txt_record.h"

namespace {

// The TXT record, its strings taken in the order they have on the wire.
std::map<std::string, std::string> TxtRecord(const Dbus& dbus,
                                             DBusMessageIter* strings,
                                             bool reversed) {
  std::vector<std::string> entries;
  for (; dbus.iter_get_arg_type(strings) == DBUS_TYPE_ARRAY;
       dbus.iter_next(strings)) {
    DBusMessageIter bytes;
    dbus.iter_recurse(strings, &bytes);
    if (dbus.iter_get_arg_type(&bytes) != DBUS_TYPE_BYTE &&
        dbus.iter_get_arg_type(&bytes) != DBUS_TYPE_INVALID) {
      continue;
    }
    const unsigned char* data = nullptr;
    int size = 0;
    dbus.iter_get_fixed_array(&bytes, &data, &size);
    entries.emplace_back(reinterpret_cast<const char*>(data),
                         data == nullptr ? 0 : static_cast<std::size_t>(size));
  }
  if (reversed) std::reverse(entries.begin(), entries.end());
  return TxtRecordOf(entries);
}

}  // namespace

bool HandsTxtReversed(const std::string& version) {
  const std::string prefix = "avahi ";
  if (version.compare(0, prefix.size(), prefix) != 0) return false;
  int major = 0;
  int minor = 0;
  if (std::sscanf(version.c_str() + prefix.size(), "%d.%d", &major, &minor) != 2) {
    return false;
  }
  return major == 0 && minor < 9;
}

bool ReadResolution(const Dbus& dbus, DBusMessage* reply, bool txt_reversed,
                    DnssdService& service) {
  DBusMessageIter at;
  if (!dbus.iter_init(reply, &at)) return false;
  dbus_int32_t interface = 0;
  const char* texts[6] = {};  // name, type, domain, host, (unused), address
  const int expected[] = {DBUS_TYPE_INT32,  DBUS_TYPE_INT32,  DBUS_TYPE_STRING,
                          DBUS_TYPE_STRING, DBUS_TYPE_STRING, DBUS_TYPE_STRING,
                          DBUS_TYPE_INT32,  DBUS_TYPE_STRING, DBUS_TYPE_UINT16,
                          DBUS_TYPE_ARRAY};
  dbus_int32_t address_protocol = 0;
  dbus_uint16_t port = 0;
  for (int i = 0; i < 10; ++i, dbus.iter_next(&at)) {
    if (dbus.iter_get_arg_type(&at) != expected[i]) return false;
    switch (i) {
      case 0: dbus.iter_get_basic(&at, &interface); break;
      case 2: case 3: case 4: case 5:
        dbus.iter_get_basic(&at, &texts[i - 2]);
        break;
      case 6: dbus.iter_get_basic(&at, &address_protocol); break;
      case 7: dbus.iter_get_basic(&at, &texts[5]); break;
      case 8: dbus.iter_get_basic(&at, &port); break;
      case 9: {
        DBusMessageIter strings;
        dbus.iter_recurse(&at, &strings);
        service.txt = TxtRecord(dbus, &strings, txt_reversed);
        break;
      }
      default: break;
    }
  }
  service.instance_name = texts[0];
  service.service_type = texts[1];
  service.host_name = texts[3];
  service.address = texts[5];
  service.port = port;
  // A link-local IPv6 address is only reached through its interface.
  // (Avahi's protocol numbers: 0 IPv4, 1 IPv6.)
  if (address_protocol == 1 && AsciiLower(service.address.substr(0, 4)) == "fe80") {
    service.address += "%" + std::to_string(interface);
  }
  return true;
}
