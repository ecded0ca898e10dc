// The view: one request for everything any answer needs, kept for the run.
#include "spooler/cups/queue_view.h"

#include "spooler/cups/printer_records.h"

namespace {

void AddAttribute(std::vector<std::string>& attributes,
                  const std::string& attribute) {
  for (const std::string& present : attributes) {
    if (present == attribute) return;
  }
  attributes.push_back(attribute);
}

}  // namespace

std::vector<std::string> ViewAttributes() {
  std::vector<std::string> attributes;
  for (DWORD level : {1u, 2u, 4u, 5u}) {
    for (const std::string& attribute : RecordAttributes(level, true)) {
      AddAttribute(attributes, attribute);
    }
  }
  // What the scopes select by: remote or not, shared or not.
  AddAttribute(attributes, "printer-type");
  AddAttribute(attributes, "printer-is-shared");
  return attributes;
}

const std::optional<std::vector<CupsQueue>>& CupsQueueView() {
  // The second piece of state the CUPS spooler keeps between calls (the
  // other is the exchange's record of a server that failed): asked for at
  // the first answer that needs the server, kept until the process ends.
  static const std::optional<std::vector<CupsQueue>> view =
      AskCupsQueues(ViewAttributes(), 0);
  return view;
}
