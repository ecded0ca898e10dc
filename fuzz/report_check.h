// What every report must look like, whatever the spooler answered.
#ifndef QUELVARO_FUZZ_REPORT_CHECK_H
#define QUELVARO_FUZZ_REPORT_CHECK_H

#include <string>
#include <vector>

#include "fuzz_spooler.h"

// Empty when report is a well-formed run over the given listings; otherwise
// what is wrong with it. Well-formed: valid UTF-8; every line one of the line
// kinds; the banner, then the six scope headings with their four level
// headings each, in order; at each level as many entry lines as its total
// line says, and a total line exactly where the listing's sizing call
// reported bytes; nested entry lines only beneath an entry; the closing
// lines last.
std::string ReportFault(const std::string& report,
                        const std::vector<FuzzedListing>& listings);

#endif  // QUELVARO_FUZZ_REPORT_CHECK_H
