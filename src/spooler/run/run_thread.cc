// The run's thread: its start, its loop of waits and turns, and its end.
#include "spooler/run/run_thread.h"

#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <thread>

#include "spooler/cups/cups_server.h"
#include "spooler/net/tls_session.h"
#include "spooler/run/run_loop.h"
#include "spooler/run_failure.h"
#include "spooler/thread_start.h"

namespace {

// Where the system bus is when DBUS_SYSTEM_BUS_ADDRESS does not say.
const char kSystemBus[] = "unix:path=/var/run/dbus/system_bus_socket";

struct NetworkRun {
  RunHandoff handoff;
  int wake = -1;            // written to wake the loop when it is to end
  SmbStarter smb_starter;   // forked before the run's thread starts
  pthread_t thread = {};
  bool started = false;     // the thread started, and is joined at the end
};

// Raises the process's soft limit on open files to its hard one; returns
// how many descriptors the servers may hold at once.
std::size_t RaiseDescriptorLimit() {
  rlimit limit = {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return kDescriptorsUnread;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY) return kDescriptorsUnlimited;
  return limit.rlim_cur > 2 * kKeptDescriptors
             ? static_cast<std::size_t>(limit.rlim_cur - kKeptDescriptors)
             : static_cast<std::size_t>(limit.rlim_cur / 2);
}

std::string SystemBusAddress() {
  const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
  return address != nullptr && address[0] != '\0' ? address : kSystemBus;
}

// The loop, until it is over, the run's end has come, or the process ends
// the run. Every wait ends by the run's end (WantedPolls), so this does too.
void RunLoopUntilOver(NetworkRun* run, RunSettings settings, Deadline started) {
  RunLoop loop;
  StartRunLoop(loop, std::move(settings), started);
  Deadline next_turn = Now();
  while (!IsRunStopping(run->handoff) && !IsRunLoopOver(loop, Now())) {
    PollSet set = WantedPolls(loop, Now());
    WantPoll(set, run->wake, POLLIN);
    // Not before the turn's time (kLeastTurnPerDescriptor), which the
    // run's end bounds.
    std::this_thread::sleep_until(std::min(next_turn, loop.run_end));
    WaitForPolls(set);
    if (IsRunStopping(run->handoff)) break;
    next_turn = Now() + set.wanted.size() * kLeastTurnPerDescriptor;
    ContinueRunLoop(loop, set, run->handoff, Now());
  }
  EndRunLoop(loop, run->handoff);
}

// Ends the run as one that could not run: what waits for it finds why.
void FailRun(NetworkRun* run, const RunFailure& failure) {
  FailHandoff(run->handoff, failure);
}

// What the run's thread is started with.
struct RunStart {
  NetworkRun* run;
  RunSettings settings;
  Deadline started;
};

// The run's thread: the loop, and the run's own failure to run, which is
// the report's to say (EndProgramIfRunFailed).
void* RunOnThread(void* start) {
  const std::unique_ptr<RunStart> owned(static_cast<RunStart*>(start));
  NetworkRun* const run = owned->run;
  try {
    RunLoopUntilOver(run, std::move(owned->settings), owned->started);
  } catch (const RunFailure& failure) {
    FailRun(run, failure);
  } catch (const std::bad_alloc&) {
    FailRun(run, MakeRunFailure("out of memory"));
  } catch (const std::exception& error) {
    FailRun(run, MakeRunFailure("its loop failed", error.what()));
  }
  return nullptr;
}

NetworkRun* StartRun() {
  auto run = std::make_unique<NetworkRun>();
  const Deadline started = Now();
  run->handoff.give_up = started + kRunBound + kRunGrace;
  run->wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  RunSettings settings;
  settings.cups = {CupsServerHost(), CupsServerPort(), IsCupsServerEncrypted(),
                   MayUpgradeCupsServer()};
  settings.user = CupsUser();
  settings.own_name = CupsServerName();
  settings.bus_address = SystemBusAddress();
  settings.budget = {RaiseDescriptorLimit(), kMostRunAnswerBytes};
#ifdef QUELVARO_HAVE_SMB
  // While the program has this one thread.
  run->smb_starter = StartSmbStarter();
  if (run->smb_starter.process < 0) {
    throw MakeRunFailure("the SMB listings' process cannot start",
                         std::strerror(errno));
  }
#endif
  // While the program still has this one thread, and the starter keeps
  // GnuTLS's own start for libsmbclient.
  LeaveTlsStartToStartTls();
  settings.smb_starter = run->smb_starter;
  auto start = std::make_unique<RunStart>(
      RunStart{run.get(), std::move(settings), started});
  const int error = StartThreadWithStack(run->thread, kRunThreadStackBytes,
                                         false, &RunOnThread, start.get());
  if (error != 0) {
#ifdef QUELVARO_HAVE_SMB
    EndSmbStarter(run->smb_starter);
#endif
    throw MakeRunFailure("its thread cannot start", std::strerror(error));
  }
  start.release();
  run->started = true;
  return run.release();
}

// Ends the loop (at once: what is still under way gives nothing more) and
// waits for its thread.
void EndRun(NetworkRun* run) {
  StopRun(run->handoff);
  const std::uint64_t one = 1;
  if (run->wake >= 0 && write(run->wake, &one, sizeof one) < 0) {
    // The loop sees stopping at its next wake, by the run's end.
  }
  const std::unique_ptr<NetworkRun> owned(run);
  if (run->started) pthread_join(run->thread, nullptr);
  if (run->wake >= 0) close(run->wake);
#ifdef QUELVARO_HAVE_SMB
  EndSmbStarter(run->smb_starter);
#endif
}

// The run, started by the first call.
NetworkRun& RunOnce() {
  static const std::unique_ptr<NetworkRun, void (*)(NetworkRun*)> run(
      StartRun(), &EndRun);
  return *run;
}

}  // namespace

RunHandoff& ForkSmbStarterAndStartRunThreadOnce() { return RunOnce().handoff; }

void EndProgramIfRunFailed() {
  if (const std::optional<RunFailure> failure = RunFailureOf(RunOnce().handoff)) {
    EndProgramForFailure(*failure);
  }
}
