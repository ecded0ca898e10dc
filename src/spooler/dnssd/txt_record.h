// A DNS-SD TXT record, read from its strings in their order on the wire,
// whoever hands them over (Avahi, or a unicast DNS answer).
#ifndef QUELVARO_SPOOLER_DNSSD_TXT_RECORD_H
#define QUELVARO_SPOOLER_DNSSD_TXT_RECORD_H

#include <map>
#include <string>
#include <vector>

// The record by key: keys in lower case, as they are compared without
// case; a key without "=" has an empty value; of a key given twice, the
// first, as DNS-SD says; a string with an empty key counts for nothing.
std::map<std::string, std::string> TxtRecordOf(
    const std::vector<std::string>& strings);

#endif  // QUELVARO_SPOOLER_DNSSD_TXT_RECORD_H
