// Reading a report back line by line against its fixed shape.
#include "report_check.h"

#include <cstddef>

#include "utf8.h"

namespace {

const char kBanner[] = "######## BELVANTRO - Quelvaro v2 ########";
const char kTotal[] = "= TOTAL: ";

struct Scope {
  const char* heading;
  DWORD flags;
};

const Scope kScopes[] = {
    {"====== Local ======", 0x02},
    {"====== Local | Shared ======", 0x22},
    {"====== Connections ======", 0x04},
    {"====== Network ======", 0x40},
    {"====== Network | Shared ======", 0x60},
    {"====== Remote ======", 0x10},
};

const DWORD kLevels[] = {1, 2, 4, 5};

bool StartsWith(const std::string& line, const std::string& prefix) {
  return line.compare(0, prefix.size(), prefix) == 0;
}

bool IsDecimal(const std::string& text) {
  if (text.empty() || (text[0] == '0' && text.size() > 1)) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string LevelHeading(const std::string& level) {
  return "------ Level " + level + " ------";
}

bool IsLineKind(const std::string& line) {
  if (line == kBanner || line.empty() || line == "Suche beendet" ||
      line == "Beenden mit Enter") {
    return true;
  }
  for (const auto& scope : kScopes) {
    if (line == scope.heading) return true;
  }
  const std::string level_prefix = "------ Level ";
  const std::string level_suffix = " ------";
  if (StartsWith(line, level_prefix) &&
      line.size() > level_prefix.size() + level_suffix.size()) {
    const std::string digits = line.substr(
        level_prefix.size(), line.size() - level_prefix.size() - level_suffix.size());
    if (IsDecimal(digits) && line == LevelHeading(digits)) return true;
  }
  if (StartsWith(line, kTotal)) return IsDecimal(line.substr(sizeof kTotal - 1));
  return StartsWith(line, "- ") || StartsWith(line, "--> ");
}

std::string Quoted(std::size_t index, const std::vector<std::string>& lines) {
  if (index >= lines.size()) return "line " + std::to_string(index + 1) + " (past the end)";
  return "line " + std::to_string(index + 1) + " \"" + lines[index].substr(0, 80) + "\"";
}

}  // namespace

std::string ReportFault(const std::string& report,
                        const std::vector<FuzzedListing>& listings) {
  if (!DecodeUtf8(report)) return "the report is not valid UTF-8";
  if (report.empty() || report.back() != '\n') return "the last line is not ended";

  std::vector<std::string> lines;
  for (std::size_t start = 0; start < report.size();) {
    const std::size_t end = report.find('\n', start);
    lines.push_back(report.substr(start, end - start));
    start = end + 1;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!IsLineKind(lines[i])) return Quoted(i, lines) + " is of no line kind";
  }

  std::size_t at = 0;
  const auto expect = [&](const std::string& line) {
    return at < lines.size() && lines[at++] == line;
  };
  if (!expect(kBanner) || !expect("")) return Quoted(at - 1, lines) + ": no banner";

  std::size_t listing = 0;
  for (const auto& scope : kScopes) {
    if (!expect(scope.heading)) {
      return Quoted(at - 1, lines) + " instead of \"" + scope.heading + "\"";
    }
    for (DWORD level : kLevels) {
      const std::string heading = LevelHeading(std::to_string(level));
      if (!expect(heading)) return Quoted(at - 1, lines) + " instead of " + heading;

      std::size_t entries = 0;
      for (; at < lines.size(); ++at) {
        if (StartsWith(lines[at], "- ")) {
          ++entries;
        } else if (StartsWith(lines[at], "--> ")) {
          if (entries == 0) return Quoted(at, lines) + " is nested under no entry";
        } else {
          break;
        }
      }
      const bool total = at < lines.size() && StartsWith(lines[at], kTotal);
      if (total && lines[at] != kTotal + std::to_string(entries)) {
        return Quoted(at, lines) + " closes " + std::to_string(entries) + " entries";
      }
      if (!total && entries != 0) return Quoted(at, lines) + ": entries without a total";
      if (total) ++at;

      if (listing >= listings.size() || listings[listing].flags != scope.flags ||
          listings[listing].level != level) {
        return heading + " under " + scope.heading + " was not asked for in sweep order";
      }
      if (total != listings[listing].sized) {
        return heading + " under " + scope.heading +
               (total ? " has a total without a size" : " has a size but no total");
      }
      ++listing;
    }
    if (!expect("")) return Quoted(at - 1, lines) + " instead of the scope's blank";
  }
  if (listing != listings.size()) return "more listings were asked for than shown";
  if (!expect("") || !expect("Suche beendet") || !expect("Beenden mit Enter")) {
    return Quoted(at - 1, lines) + " instead of the closing lines";
  }
  if (at != lines.size()) return Quoted(at, lines) + " after the closing lines";
  return std::string();
}
