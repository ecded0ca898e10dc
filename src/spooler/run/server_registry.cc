// Servers found by name.
#include "spooler/run/server_registry.h"

#include "spooler/ascii_case.h"

RegisteredServer RegisterServer(ServerRegistry& registry,
                                const std::wstring& name) {
  const auto [known, added] =
      registry.by_name.emplace(AsciiLower(name), registry.servers.size());
  if (added) {
    registry.servers.emplace_back();
    registry.servers.back().asking.server.name = name;
    ++registry.at_stage[kServerWaiting];
  }
  return {known->second, added};
}
