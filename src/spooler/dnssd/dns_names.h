// Domain names as c-ares writes and takes them. A DNS label may hold any
// byte, dots and backslashes included: a DNS-SD instance name is one label
// ("Drucker 2.OG" is one), kept whole.
#ifndef QUELVARO_SPOOLER_DNSSD_DNS_NAMES_H
#define QUELVARO_SPOOLER_DNSSD_DNS_NAMES_H

#include <optional>
#include <string>
#include <vector>

// The labels of a name as ares_expand_name writes it: labels between dots,
// with "\." and "\\" (and "\X" for any other character it escapes) for the
// character itself and "\DDD" for the byte of that decimal value. None for
// a name that is not so written (an escape cut short, an empty label); no
// labels for the empty name.
std::optional<std::vector<std::string>> NameLabels(const std::string& written);

// The name of labels[from] onwards as ares_query takes it and as a host
// name is shown: the labels joined by dots, a dot or a backslash inside a
// label escaped by a backslash, every other byte as it is. Empty when there
// is no such label, or when one holds a NUL byte (no query can carry it).
std::string DottedName(const std::vector<std::string>& labels,
                       std::size_t from = 0);

#endif  // QUELVARO_SPOOLER_DNSSD_DNS_NAMES_H
