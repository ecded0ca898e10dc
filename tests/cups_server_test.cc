// The CUPS client configuration as libcups reads it.
#include <gtest/gtest.h>

#include <sstream>

#include "spooler/cups/cups_server.h"

namespace {

TEST(CupsClientConf, DirectivesWithoutCaseCommentsAndTheLastLineWins) {
  std::istringstream conf(
      "# ServerName commented\n"
      "  servername   printsrv.example:8631   # a comment\n"
      "User  anna\n"
      "Encryption Required\n"
      "ServerName /run/cups/other.sock\n"
      "UserAgentTokens None\n"
      "User\n");
  CupsClientSettings settings = {"from-before", "", ""};
  ReadClientConf(conf, settings);
  EXPECT_EQ(settings.server, "/run/cups/other.sock");
  EXPECT_EQ(settings.user, "anna");
  EXPECT_EQ(settings.encryption, "Required");
}

TEST(CupsClientConf, AServerNamesItsPortOrTakesTheDefault) {
  struct Case {
    const char* value;
    const char* host;
    int port;
  };
  const Case cases[] = {
      {"printsrv", "printsrv", 632},
      {"printsrv:8631", "printsrv", 8631},
      {"printsrv:8631/version=1.1", "printsrv", 8631},
      {"[2001:db8::7]:8634", "[2001:db8::7]", 8634},
      {"[2001:db8::7]", "[2001:db8::7]", 632},
      {"/run/cups/cups.sock", "/run/cups/cups.sock", 632},
      {"printsrv:ipp", "printsrv:ipp", 632},
  };
  for (const Case& one : cases) {
    std::string host;
    int port = 0;
    SplitServerName(one.value, 632, host, port);
    EXPECT_EQ(host, one.host) << one.value;
    EXPECT_EQ(port, one.port) << one.value;
  }
}

}  // namespace
