// ListSmbPrinterShares against private Samba servers. Run by
// tests/network/smb_end_to_end.sh inside a network namespace of its own,
// which starts the servers (tests/network/samba.sh) and names them here:
//
//   SMB_SERVER           guests welcome; printers Etiketten and Laser, a
//                        disk share Daten
//   SMB_REFUSING_SERVER  lists nothing to anyone without a password
//   SMB_SMB1_NAME        the name of a server that speaks SMB1 only
//   SMB_NETBIOS_SERVER   a server on port 139 only (nothing on 445)
//   SMB_LONG_SERVER      printer shares with long names, then 3,000 more
//   SMB_TWO_ADDRESS_NAME a name whose first address is 127.0.0.8, its
//                        second SMB_SERVER's
//   SMB_DEAD_SERVER      an address whose connect never completes
//
// The listeners that close every connection, and that take connections and
// never answer, are this test's own, on port 445 of 127.0.0.6 and 127.0.0.7;
// nothing listens on 127.0.0.8. A case whose server is not named is skipped.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "spooler/smb/smb_share_message.h"
#include "spooler/smb/smb_shares.h"

// Found by the assertions, beside the type.
std::ostream& operator<<(std::ostream& out, const SmbShare& share) {
  return out << "{" << share.name << ", " << share.comment << "}";
}

namespace {

using Clock = std::chrono::steady_clock;

const char kDroppingAddress[] = "127.0.0.6";
const char kSilentAddress[] = "127.0.0.7";
const char kClosedAddress[] = "127.0.0.8";

const SmbShareList kPrinterShares = {
    {"Etiketten", "Drucker im B\xC3\xBCro \xE2\x80\x93 2. OG"},
    {"Laser", "Laserdrucker"},
};

const SmbShareList kSmb1PrinterShares = {
    {"Nadeldrucker", "Nadeldrucker im Lager"},
    {"Typenrad", "Typenraddrucker"},
};

// SMB_LONG_SERVER's printer shares, as samba.sh names them.
SmbShareList LongPrinterShares() {
  std::string umlauts;
  for (int i = 0; i < 150; ++i) umlauts += "\xC3\x9C";
  SmbShareList shares = {
      {std::string(255, 'A'), "Kommentar " + std::string(290, 'k')},
      {std::string(1024, 'B'), ""},
      {std::string(65000, 'C'), ""},
      {"\xC3\x9C-Lang-" + umlauts, ""}};
  char number[8];
  for (int i = 1; i <= 3000; ++i) {
    std::snprintf(number, sizeof number, "%04d", i);
    shares.push_back({"Drucker-" + std::string(number),
                      "Drucker " + std::string(number)});
  }
  return shares;
}

// The process's one starter, started while the test has one thread.
const SmbStarter& Starter() {
  static const SmbStarter starter = StartSmbStarter();
  return starter;
}

std::string Server(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr ? value : "";
}

// The listing, which must write nothing to standard output or error.
std::optional<SmbShareList> ListQuietly(const std::string& server,
                                        Clock::time_point deadline) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  auto shares = ListSmbPrinterShares(Starter(), server, deadline);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  return shares;
}

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                               start)
      .count();
}

// A descriptor, closed with the returned pointer.
using Socket = std::unique_ptr<int, void (*)(int*)>;
Socket OwnSocket(int fd) {
  return Socket(new int(fd), [](int* owned) {
    if (*owned >= 0) close(*owned);
    delete owned;
  });
}

sockaddr_in Port445(const std::string& address) {
  sockaddr_in where = {};
  where.sin_family = AF_INET;
  where.sin_port = htons(445);
  inet_pton(AF_INET, address.c_str(), &where.sin_addr);
  return where;
}

// A socket listening on port 445 of address, with room for `backlog`
// connections the kernel takes before anyone accepts them; -1 when it cannot
// be had.
Socket ListenOn445(const std::string& address, int backlog) {
  Socket listener = OwnSocket(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_in where = Port445(address);
  if (*listener >= 0 &&
      (bind(*listener, reinterpret_cast<const sockaddr*>(&where),
            sizeof where) != 0 ||
       listen(*listener, backlog) != 0)) {
    *listener = -1;
  }
  return listener;
}

// A listing that cannot work, given three seconds, ends with nothing at the
// deadline (give or take half a second).
void ExpectNothingByTheDeadline(const std::string& server, const char* what) {
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ListQuietly(server, start + std::chrono::seconds(3)), std::nullopt);
  const long long elapsed = MillisecondsSince(start);
  std::printf("  %s: nothing after %lld ms\n", what, elapsed);
  EXPECT_GE(elapsed, 2900);
  EXPECT_LE(elapsed, 3500);
}

TEST(SmbShareMessage, CarriesSharesWholeAndNothingElse) {
  const SmbShareList shares = {{"Laser", ""}, {"Etiketten", "B\xC3\xBCro"}};
  const std::string message = EncodeSmbShareMessage(shares);
  EXPECT_EQ(DecodeSmbShareMessage(message), shares);
  EXPECT_EQ(DecodeSmbShareMessage(message.substr(0, message.size() - 1)),
            std::nullopt);
  EXPECT_EQ(DecodeSmbShareMessage(message + "x"), std::nullopt);
  EXPECT_EQ(DecodeSmbShareMessage(""), std::nullopt);
}

TEST(SmbShares, ListsThePrinterSharesInTheServersOrder) {
  const std::string server = Server("SMB_SERVER");
  if (server.empty()) GTEST_SKIP() << "SMB_SERVER not set";
  EXPECT_EQ(ListQuietly(server, Clock::now() + std::chrono::seconds(20)),
            kPrinterShares);
}

TEST(SmbShares, ServerThatWantsAPasswordGivesNothing) {
  const std::string server = Server("SMB_REFUSING_SERVER");
  if (server.empty()) GTEST_SKIP() << "SMB_REFUSING_SERVER not set";
  EXPECT_EQ(ListQuietly(server, Clock::now() + std::chrono::seconds(20)),
            std::nullopt);
}

TEST(SmbShares, RefusedConnectionGivesNothingAtOnce) {
  if (Server("SMB_SERVER").empty()) GTEST_SKIP() << "not in the test network";
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ListQuietly(kClosedAddress, start + std::chrono::seconds(20)),
            std::nullopt);
  const long long elapsed = MillisecondsSince(start);
  std::printf("  refused: nothing after %lld ms\n", elapsed);
  EXPECT_LT(elapsed, 1000);
}

TEST(SmbShares, ConnectThatNeverCompletesEndsByTheDeadline) {
  const std::string server = Server("SMB_DEAD_SERVER");
  if (server.empty()) GTEST_SKIP() << "SMB_DEAD_SERVER not set";
  ExpectNothingByTheDeadline(server, "dead host");
}

TEST(SmbShares, ServerThatNeverAnswersEndsByTheDeadline) {
  if (Server("SMB_SERVER").empty()) GTEST_SKIP() << "not in the test network";
  // Connections are taken by the kernel into the backlog and never read.
  const Socket listener = ListenOn445(kSilentAddress, 16);
  ASSERT_GE(*listener, 0);
  ExpectNothingByTheDeadline(kSilentAddress, "silent server");
}

TEST(SmbShares, ServerThatSpeaksOnlySmb1IsListedByNameOverSmb1) {
  const std::string server = Server("SMB_SMB1_NAME");
  if (server.empty()) GTEST_SKIP() << "SMB_SMB1_NAME not set";
  EXPECT_EQ(ListQuietly(server, Clock::now() + std::chrono::seconds(5)),
            kSmb1PrinterShares);
}

TEST(SmbShares, DroppedSmb2NegotiateIsAskedOnceMoreOfferingSmb1Too) {
  if (Server("SMB_SERVER").empty()) GTEST_SKIP() << "not in the test network";
  // What a server that speaks no SMB2 does with an SMB2 negotiate: reads it
  // and closes the connection. Here with every request.
  const Socket listener = ListenOn445(kDroppingAddress, 16);
  ASSERT_GE(*listener, 0);
  std::vector<std::string> requests;
  std::thread server([&listener, &requests] {
    for (;;) {
      const Socket connection =
          OwnSocket(accept4(*listener, nullptr, nullptr, SOCK_CLOEXEC));
      if (*connection < 0) return;
      char request[1024];
      const ssize_t got = recv(*connection, request, sizeof request, 0);
      requests.emplace_back(request, std::max<ssize_t>(got, 0));
    }
  });
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(3);
  EXPECT_EQ(ListQuietly(kDroppingAddress, deadline), std::nullopt);
  shutdown(*listener, SHUT_RDWR);
  server.join();
  // After the 4 bytes of the session message's length: SMB2's header, then
  // SMB1's, with NT LM 0.12 and SMB 2.002 among the dialects offered.
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].substr(4, 4), "\xFESMB");
  EXPECT_EQ(requests[1].substr(4, 4), "\xFFSMB");
  EXPECT_NE(requests[1].find("NT LM 0.12"), std::string::npos);
  EXPECT_NE(requests[1].find("SMB 2.002"), std::string::npos);
}

TEST(SmbShares, Port445ThatNeverAcceptsGivesWayTo139AtTheConnectBound) {
  const std::string server = Server("SMB_NETBIOS_SERVER");
  if (server.empty()) GTEST_SKIP() << "SMB_NETBIOS_SERVER not set";
  // Port 445 with its one place taken: the kernel answers no other connect.
  const Socket listener = ListenOn445(server, 0);
  ASSERT_GE(*listener, 0);
  const Socket place = OwnSocket(socket(AF_INET, SOCK_STREAM, 0));
  const sockaddr_in where = Port445(server);
  ASSERT_EQ(connect(*place, reinterpret_cast<const sockaddr*>(&where),
                    sizeof where),
            0);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ListQuietly(server, start + std::chrono::seconds(5)),
            SmbShareList({{"Zeilendrucker", "Zeilendrucker im Keller"}}));
  const long long elapsed = MillisecondsSince(start);
  std::printf("  port 139 after 445 never accepted: %lld ms\n", elapsed);
  EXPECT_GE(elapsed, 2900);
  EXPECT_LT(elapsed, 4500);
}

TEST(SmbShares, LongNamesComeWholeInTheServersOrder) {
  const std::string server = Server("SMB_LONG_SERVER");
  if (server.empty()) GTEST_SKIP() << "SMB_LONG_SERVER not set";
  EXPECT_EQ(ListQuietly(server, Clock::now() + std::chrono::seconds(20)),
            LongPrinterShares());
}

TEST(SmbShares, NameIsAskedAtItsNextAddressWhereTheFirstRefuses) {
  const std::string name = Server("SMB_TWO_ADDRESS_NAME");
  if (name.empty()) GTEST_SKIP() << "SMB_TWO_ADDRESS_NAME not set";
  // The resolver's order, which the listing follows, starts where it must.
  addrinfo* found = nullptr;
  ASSERT_EQ(getaddrinfo(name.c_str(), "445", nullptr, &found), 0);
  const sockaddr_in first = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
  freeaddrinfo(found);
  ASSERT_EQ(first.sin_addr.s_addr, Port445(kClosedAddress).sin_addr.s_addr);
  EXPECT_EQ(ListQuietly(name, Clock::now() + std::chrono::seconds(5)),
            kPrinterShares);
}

TEST(SmbShares, FourThreadsListTheSameServerAtOnce) {
  const std::string server = Server("SMB_SERVER");
  if (server.empty()) GTEST_SKIP() << "SMB_SERVER not set";
  const int kThreads = 4;
  const int kRounds = 5;
  std::vector<std::optional<SmbShareList>> results(kThreads * kRounds);
  const SmbStarter& starter = Starter();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&results, &server, &starter, t] {
      for (int round = 0; round < kRounds; ++round) {
        results[t * kRounds + round] = ListSmbPrinterShares(
            starter, server, Clock::now() + std::chrono::seconds(20));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& shares : results) EXPECT_EQ(shares, kPrinterShares);
}

}  // namespace
