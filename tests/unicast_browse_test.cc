// DNS-SD over unicast DNS, moved along in the test process against a
// scripted name server on a loopback port, named by a resolv.conf of the
// test's own.
#include "spooler/dnssd/unicast_browse.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "scripted_dns.h"
#include "slowness.h"
#include "spooler/dnssd/dns_names.h"
#include "spooler/run_limits.h"

namespace {

using std::chrono::milliseconds;

const int kSrv = 33, kTxt = 16, kA = 1, kPtr = 12;
const std::vector<std::string> kTypes = {"_ipp._tcp", "_ipps._tcp",
                                         "_printer._tcp",
                                         "_pdl-datastream._tcp", "_smb._tcp"};


struct Browsed {
  std::vector<DnssdService> found;  // EndUnicastBrowse's
  std::vector<DnssdService> newly;  // as they were handed over
  milliseconds took;
  std::size_t most_heap = 0;  // grown at most, while it ran
};

// Browses until over, serving the name server between turns.
Browsed Browse(ScriptedDns& dns, const std::string& conf, milliseconds bound) {
  Browsed browsed;
  const std::size_t heap = mallinfo2().uordblks;
  const Deadline start = Now();
  UnicastBrowse browse;
  StartUnicastBrowse(browse, {conf, dns.port}, kTypes, start + bound);
  while (!IsUnicastBrowseOver(browse, Now())) {
    PollSet set = NewPollSet(Now() + milliseconds(1));
    UnicastBrowsePolls(browse, set, Now());
    EXPECT_LE(set.wake, start + bound);
    WaitForPolls(set);
    ContinueUnicastBrowse(browse, set, browsed.newly, Now());
    ServeScriptedDns(dns);
    browsed.most_heap =
        std::max(browsed.most_heap, mallinfo2().uordblks - heap);
  }
  browsed.found = EndUnicastBrowse(browse);
  browsed.took = std::chrono::duration_cast<milliseconds>(Now() - start);
  return browsed;
}

const DnssdService* Find(const std::vector<DnssdService>& found,
                         const std::string& name, const std::string& type) {
  for (const DnssdService& service : found) {
    if (service.instance_name == name && service.service_type == type)
      return &service;
  }
  return nullptr;
}

// An instance with its SRV, TXT and host.
void AddPrinter(ScriptedDns& dns, const std::string& domain,
                const std::string& name, const std::string& type, int port,
                const std::string& host, const std::vector<std::string>& txt,
                const std::string& address) {
  const DnsName service = Child(name, Dns(type + "." + domain));
  dns.records.push_back({Dns(type + "." + domain), kPtr, PtrData(service)});
  dns.records.push_back({service, kSrv, SrvData(port, Dns(host))});
  if (!txt.empty()) dns.records.push_back({service, kTxt, TxtData(txt)});
  if (!address.empty()) dns.records.push_back({Dns(host), kA, AData(address)});
}

class UnicastBrowseTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(StartScriptedDns(dns)); }
  void TearDown() override { StopScriptedDns(dns); }
  ScriptedDns dns;
  ResolvConfFolder folder;
};

TEST(DnsNames, LabelsKeepEveryByteAndQuestionsEscapeDotsAndBackslashes) {
  // As ares_expand_name writes "Raum 2.OG \ Süd" under _ipp._tcp.
  const auto labels =
      NameLabels("Raum 2\\.OG \\\\ S\\195\\188d._ipp._tcp.campus.test");
  ASSERT_TRUE(labels.has_value());
  EXPECT_EQ(*labels,
            (std::vector<std::string>{"Raum 2.OG \\ S\xC3\xBC"
                                      "d",
                                      "_ipp", "_tcp", "campus", "test"}));
  EXPECT_EQ(DottedName(*labels),
            "Raum 2\\.OG \\\\ S\xC3\xBC"
            "d._ipp._tcp.campus.test");
  EXPECT_EQ(DottedName(*labels, 3), "campus.test");
  EXPECT_EQ(DottedName({std::string("a\0b", 3), "test"}), "");
  EXPECT_FALSE(NameLabels("cut\\").has_value());
  EXPECT_FALSE(NameLabels("a..b").has_value());
  EXPECT_FALSE(NameLabels("\\256.test").has_value());
}

TEST_F(UnicastBrowseTest, BrowseDomainsInstancesAndTheirRecordsOverUdpAndTcp) {
  const DnsName campus = Dns("campus.test");
  const DnsName drucker = Dns("drucker.campus.test");
  dns.records.push_back(
      {Dns("b._dns-sd._udp.campus.test"), kPtr, PtrData(drucker)});
  dns.records.push_back(
      {Dns("b._dns-sd._udp.campus.test"), kPtr, PtrData(campus)});
  dns.records.push_back(
      {Dns("lb._dns-sd._udp.campus.test"), kPtr, PtrData(drucker)});
  // A browse domain's own browse domains are not asked for.
  dns.records.push_back({Dns("b._dns-sd._udp.drucker.campus.test"), kPtr,
                         PtrData(Dns("elsewhere.test"))});
  // 24 printers (their PTR answer is truncated over UDP), one whose name
  // holds a dot, a backslash and UTF-8, one whose host has no address, one
  // whose TXT record is too large to keep.
  for (int i = 1; i <= 24; ++i) {
    const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
    AddPrinter(dns, "drucker.campus.test", "Drucker " + n, "_ipp._tcp", 631,
               "drucker-" + n + ".campus.test",
               {"rp=printers/" + n, "TY=Modell " + n, "ty=zweiter"},
               "192.0.2." + std::to_string(i));
  }
  const std::string odd =
      "Raum 2.OG \\ S\xC3\xBC"
      "d";
  AddPrinter(dns, "drucker.campus.test", odd, "_ipp._tcp", 8631,
             "raum.campus.test", {"rp=ipp/print"}, "192.0.2.200");
  AddPrinter(dns, "drucker.campus.test", "Ohne Adresse", "_ipp._tcp", 631,
             "nirgends.campus.test", {"rp=x"}, "");
  AddPrinter(dns, "drucker.campus.test", "Riesig", "_ipp._tcp", 631,
             "drucker-01.campus.test",
             std::vector<std::string>(100, "k=" + std::string(200, 'v')), "");
  // In the search domain itself: one of the same name as another type, and
  // one of the same name and type as in the browse domain.
  AddPrinter(dns, "campus.test", "Drucker 01", "_ipps._tcp", 443,
             "drucker-01.campus.test", {}, "");
  AddPrinter(dns, "campus.test", "Drucker 02", "_ipp._tcp", 632,
             "drucker-02.campus.test", {}, "");

  const Browsed browsed = Browse(
      dns, WriteResolvConf(folder, "nameserver 127.0.0.1\nsearch campus.test\n"),
      Scaled(milliseconds(5000)));
  EXPECT_LT(browsed.took,
            Scaled(milliseconds(2000)));  // over once all is answered
  EXPECT_GT(dns.tcp_questions, 0);
  EXPECT_EQ(std::count(dns.asked.begin(), dns.asked.end(),
                       "b._dns-sd._udp.drucker.campus.test 12"),
            0);

  ASSERT_EQ(browsed.found.size(), 28u);
  EXPECT_TRUE(std::is_sorted(browsed.found.begin(), browsed.found.end(),
                             &InstanceOrder));
  const DnssdService* first = Find(browsed.found, "Drucker 01", "_ipp._tcp");
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->resolved);
  EXPECT_EQ(first->host_name, "drucker-01.campus.test");
  EXPECT_EQ(first->address, "192.0.2.1");
  EXPECT_EQ(first->port, 631);
  EXPECT_EQ(first->txt, (std::map<std::string, std::string>{
                            {"rp", "printers/01"}, {"ty", "Modell 01"}}));
  const DnssdService* secure = Find(browsed.found, "Drucker 01", "_ipps._tcp");
  ASSERT_NE(secure, nullptr);
  EXPECT_TRUE(secure->resolved);  // no TXT record: an empty one
  EXPECT_EQ(secure->port, 443);
  // Found in both domains: the search domain's (first in byte order).
  ASSERT_NE(Find(browsed.found, "Drucker 02", "_ipp._tcp"), nullptr);
  EXPECT_EQ(Find(browsed.found, "Drucker 02", "_ipp._tcp")->port, 632);
  const DnssdService* room = Find(browsed.found, odd, "_ipp._tcp");
  ASSERT_NE(room, nullptr);
  EXPECT_TRUE(room->resolved);
  EXPECT_EQ(room->address, "192.0.2.200");
  EXPECT_EQ(room->port, 8631);
  for (const std::string name : {"Ohne Adresse", "Riesig"}) {
    ASSERT_NE(Find(browsed.found, name, "_ipp._tcp"), nullptr) << name;
    EXPECT_FALSE(Find(browsed.found, name, "_ipp._tcp")->resolved) << name;
  }
  // Each resolved one was handed over as it came (Drucker 02 from both
  // domains).
  EXPECT_EQ(browsed.newly.size(), 27u);
  for (const DnssdService& service : browsed.newly)
    EXPECT_TRUE(service.resolved);
}

TEST_F(UnicastBrowseTest, ANameServerThatNeverAnswersCostsTheDeadlineAtMost) {
  const std::string conf =
      WriteResolvConf(folder, "nameserver 127.0.0.1\nsearch campus.test\n");
  // Instances named, their records never answered: listed by name.
  for (const std::string name : {"Eins", "Zwei"}) {
    AddPrinter(dns, "campus.test", name, "_ipp._tcp", 631, "h.campus.test",
               {"rp=x"}, "192.0.2.9");
  }
  dns.unanswered = {kSrv};
  const milliseconds bound = Scaled(milliseconds(400));
  Browsed browsed = Browse(dns, conf, bound);
  EXPECT_LT(browsed.took, bound + Scaled(milliseconds(200)));
  ASSERT_EQ(browsed.found.size(), 2u);
  EXPECT_EQ(browsed.found[0].instance_name, "Eins");
  EXPECT_FALSE(browsed.found[0].resolved);
  EXPECT_TRUE(browsed.newly.empty());

  // Nothing answered at all.
  dns.unanswered = {kPtr, kSrv, kTxt, kA};
  dns.asked.clear();
  browsed = Browse(dns, conf, bound);
  EXPECT_LT(browsed.took, bound + Scaled(milliseconds(200)));
  EXPECT_FALSE(dns.asked.empty());
  EXPECT_TRUE(browsed.found.empty());
}

TEST_F(UnicastBrowseTest, NoSearchDomainAsksNothing) {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  if (std::getenv("LOCALDOMAIN") != nullptr ||
      std::string(host).find('.') != std::string::npos) {
    GTEST_SKIP()
        << "skipped: the resolver takes LOCALDOMAIN or the host name's domain ("
        << host << ") for the search domain";
  }
  UnicastBrowse browse;
  StartUnicastBrowse(browse,
                     {WriteResolvConf(folder, "nameserver 127.0.0.1\n"), dns.port},
                     kTypes, Now() + milliseconds(1000));
  EXPECT_TRUE(IsUnicastBrowseOver(browse, Now()));
  PollSet set = NewPollSet(Now() + milliseconds(1000));
  UnicastBrowsePolls(browse, set, Now());
  EXPECT_TRUE(set.wanted.empty());
  usleep(20000);
  ServeScriptedDns(dns);
  EXPECT_TRUE(dns.asked.empty());
  EXPECT_TRUE(EndUnicastBrowse(browse).empty());
}

TEST_F(UnicastBrowseTest, AHostileNameServerCostsItsBoundsAtMost) {
  if (UnderValgrind()) {
    GTEST_SKIP()
        << "skipped: under Valgrind the scripted name server takes longer "
           "to write its 64 KB answers than c-ares waits for one";
  }
  // 60 browse domains, each naming the search domain again as its own.
  for (int i = 0; i < 60; ++i) {
    const std::string domain = "d" + std::to_string(i) + ".campus.test";
    dns.records.push_back(
        {Dns("b._dns-sd._udp.campus.test"), kPtr, PtrData(Dns(domain))});
    dns.records.push_back(
        {Dns("b._dns-sd._udp." + domain), kPtr, PtrData(Dns("campus.test"))});
  }
  // 4,800 instances in two answers of some 62 KB, whose records never come.
  for (const std::string type : {"_ipp", "_ipps"}) {
    const DnsName service = Dns(type + "._tcp.campus.test");
    for (int i = 0; i < 2400; ++i) {
      dns.records.push_back(
          {service, kPtr,
           PtrData(Child("Dienst " + std::to_string(10000 + i), service))});
    }
  }
  dns.unanswered = {kSrv, kTxt};
  const Browsed browsed = Browse(
      dns, WriteResolvConf(folder, "nameserver 127.0.0.1\nsearch campus.test\n"),
      Scaled(kDiscoveryBound));
  EXPECT_LT(browsed.took, Scaled(kDiscoveryBound + milliseconds(200)));
  EXPECT_EQ(browsed.found.size(), kMostUnicastInstances);
  std::set<std::string> domains_browsed;
  for (const std::string& asked : dns.asked) {
    EXPECT_NE(asked.rfind("b._dns-sd._udp.d", 0), 0u) << asked;
    if (asked.rfind("_ipp._tcp.", 0) == 0) domains_browsed.insert(asked);
  }
  EXPECT_EQ(domains_browsed.size(), kMostUnicastDomains);
  // (AddressSanitizer's allocator tells mallinfo2 nothing.)
  if (mallinfo2().uordblks != 0) {
    EXPECT_LT(browsed.most_heap, std::size_t{10} << 20);
  }
  std::printf("heap grown at most by %zu KiB\n", browsed.most_heap >> 10);
}

}  // namespace
