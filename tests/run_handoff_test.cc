// The handoff between the run's thread and the report's: each wait returns
// what the other thread handed over, or nothing once the run is over or its
// bound has passed.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "spooler/run/run_handoff.h"

namespace {

using std::chrono::milliseconds;

PrinterList OnePrinter(const wchar_t* name) {
  PrinterList list;
  PRINTER_INFO_2 info = {};
  info.pPrinterName = KeepText(list.text, name);
  AddPrinterRecord(list, info, nullptr, nullptr);
  return list;
}

TEST(RunHandoff, EachWaitReturnsWhatTheLoopsThreadHandsOver) {
  RunHandoff handoff;
  handoff.give_up = Now() + milliseconds(10000);
  std::thread loop([&] {
    std::this_thread::sleep_for(milliseconds(20));
    GiveQueueView(handoff, OnePrinter(L"Büro"));
    GiveDiscovery(handoff, {{DnssdService{}}, {WsdDevice{}}});
    GiveKnownServers(handoff, {{L"\\\\localhost", {}},
                               {L"\\\\Druck", {"ipp://druck/printers/a"}},
                               {L"\\\\stumm", {"ipp://stumm/printers/b"}}});
    std::this_thread::sleep_for(milliseconds(20));
    GiveServerPrinters(handoff, L"\\\\druck", OnePrinter(L"a"));
    // Given twice: the first counts.
    GiveQueueView(handoff, std::nullopt);
    std::this_thread::sleep_for(milliseconds(20));
    EndHandoff(handoff);
  });
  const std::optional<PrinterList>& view = WaitForQueueView(handoff);
  ASSERT_TRUE(view.has_value());
  EXPECT_EQ(std::wstring(view->printers[0].level1.pName), L"Büro");
  EXPECT_EQ(WaitForDiscovery(handoff).services.size(), 1u);
  EXPECT_EQ(WaitForDiscovery(handoff).devices.size(), 1u);
  EXPECT_EQ(WaitForKnownServers(handoff).size(), 3u);
  // Found as host names are, whatever the case.
  const PrinterList* druck = WaitForServerPrinters(handoff, L"\\\\DRUCK");
  ASSERT_NE(druck, nullptr);
  EXPECT_EQ(druck->printers.size(), 1u);
  // One never answered: the wait ends with the run, with nothing.
  const PrinterList* stumm = WaitForServerPrinters(handoff, L"\\\\stumm");
  ASSERT_NE(stumm, nullptr);
  EXPECT_TRUE(stumm->printers.empty());
  // The machine's own (no URIs: the view answers for it) and strangers.
  EXPECT_EQ(WaitForServerPrinters(handoff, L"\\\\localhost"), nullptr);
  EXPECT_EQ(WaitForServerPrinters(handoff, L"\\\\fremd"), nullptr);
  loop.join();
  EXPECT_TRUE(WaitForQueueView(handoff).has_value());
}

TEST(RunHandoff, AWaitEndsAtTheRunsBoundWhenNothingComes) {
  RunHandoff handoff;
  const Deadline started = Now();
  handoff.give_up = started + milliseconds(50);
  EXPECT_FALSE(WaitForQueueView(handoff).has_value());
  EXPECT_TRUE(WaitForKnownServers(handoff).empty());
  EXPECT_GE(Now() - started, milliseconds(50));
  EXPECT_LT(Now() - started, milliseconds(5000));
}

// A run that fails part way ends every wait at once, long before its
// bound, with why.
TEST(RunHandoff, AFailedRunEndsTheWaitsWithItsReason) {
  RunHandoff handoff;
  const Deadline started = Now();
  handoff.give_up = started + milliseconds(10000);
  std::thread loop([&] {
    GiveQueueView(handoff, OnePrinter(L"Büro"));
    std::this_thread::sleep_for(milliseconds(20));
    FailHandoff(handoff, MakeRunFailure("out of memory"));
  });
  EXPECT_TRUE(WaitForQueueView(handoff).has_value());
  EXPECT_TRUE(WaitForKnownServers(handoff).empty());
  EXPECT_LT(Now() - started, milliseconds(5000));
  loop.join();
  const std::optional<RunFailure> failure = RunFailureOf(handoff);
  ASSERT_TRUE(failure.has_value());
  EXPECT_STREQ(failure->reason, "out of memory");
}

TEST(RunHandoff, AStopAskedIsSeenByTheLoop) {
  RunHandoff handoff;
  EXPECT_FALSE(IsRunStopping(handoff));
  std::thread report([&] { StopRun(handoff); });
  report.join();
  EXPECT_TRUE(IsRunStopping(handoff));
}

}  // namespace
