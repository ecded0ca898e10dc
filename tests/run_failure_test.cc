// The spooler's own failure to run told from an answer: a library that is
// not there from one that cannot be loaded, the reason kept to one line, a
// lookup that no thread can answer, and an SMB listing that could not run.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "slowness.h"
#include "spooler/net/address_lookup.h"
#include "spooler/run_failure.h"
#ifdef QUELVARO_HAVE_SMB
#include "spooler/smb/smb_share_message.h"
#include "spooler/smb/smb_shares.h"
#endif

namespace {

// The reason LoadSharedLibrary throws, or "" when it does not.
std::string LoadFailure(const std::string& name, void*& library) {
  library = nullptr;
  try {
    library = LoadSharedLibrary(name.c_str());
  } catch (const RunFailure& failure) {
    return failure.reason;
  }
  return "";
}

TEST(RunFailure, ALibraryNotThereIsNoneAndOneThatCannotBeLoadedIsAFailure) {
  char folder[] = "/tmp/quelvaro-libs.XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string missing = std::string(folder) + "/libmissing.so.1";
  const std::string broken = std::string(folder) + "/libbroken.so.1";
  std::ofstream(broken) << "no shared object\n";

  void* library = nullptr;
  EXPECT_EQ(LoadFailure(missing, library), "");
  EXPECT_EQ(library, nullptr);
  EXPECT_EQ(LoadFailure("libquelvaro-nowhere.so.7", library), "");
  EXPECT_EQ(library, nullptr);
  // Installed, and the loader cannot take it: said in one line, naming it.
  const std::string reason = LoadFailure(broken, library);
  EXPECT_EQ(reason.rfind(broken + " is installed but cannot be loaded (", 0), 0u)
      << reason;
  EXPECT_EQ(reason.find('\n'), std::string::npos);
  EXPECT_EQ(LoadFailure("libc.so.6", library), "");
  EXPECT_NE(library, nullptr);
  std::remove(broken.c_str());
  rmdir(folder);
}

TEST(RunFailure, TheReasonIsOneLineThatFitsItsBlock) {
  const RunFailure failure = MakeRunFailure("out\nof memory", "a\tb\x1b[2J");
  EXPECT_STREQ(failure.reason, "out of memory: a b [2J");
  const std::string long_detail(1000, 'x');
  const RunFailure cut = MakeRunFailure("long", long_detail.c_str());
  EXPECT_EQ(std::strlen(cut.reason), sizeof cut.reason - 1);
  EXPECT_EQ(std::string(cut.reason, 6), "long: ");
}

// Whether the program fits in the limit below: not under a sanitizer, which
// maps terabytes of shadow memory, nor under Valgrind.
bool AddressSpaceCanBeLimited() {
#if defined(__SANITIZE_ADDRESS__)
  return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return false;
#endif
#endif
  return !UnderValgrind();
}

// The process's address space now, in bytes.
rlim_t AddressSpaceInUse() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmSize:", 0) == 0) {
      return static_cast<rlim_t>(std::strtoull(line.c_str() + 7, nullptr, 10)) << 10;
    }
  }
  return 0;
}

TEST(RunFailure, ALookupNoThreadCanAnswerIsAFailure) {
  if (!AddressSpaceCanBeLimited()) {
    GTEST_SKIP() << "no address-space limit under a sanitizer or Valgrind";
  }
  const SharedLookups lookups = StartAddressLookups();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Room for the heap to grow a little, none for a lookup thread's stack
    // (kLookupThreadStackBytes and a guard page). (ctest runs each test in
    // a process of its own: no thread's stack has been freed and cached.)
    const rlimit limit = {AddressSpaceInUse() + (192 << 10), RLIM_INFINITY};
    int status = 3;
    if (setrlimit(RLIMIT_AS, &limit) == 0) {
      try {
        AskAddresses(lookups, 1, "localhost", 631);
        status = 1;
      } catch (const RunFailure& failure) {
        status = std::strstr(failure.reason, "thread cannot start") ? 0 : 2;
      } catch (...) {
        status = 4;
      }
    }
    _exit(status);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

#ifdef QUELVARO_HAVE_SMB
TEST(RunFailure, AnSmbListingThatCouldNotRunSaysSoAndIsNoShareList) {
  const std::string failed = EncodeSmbFailureMessage("out of memory");
  EXPECT_EQ(DecodeSmbFailureMessage(failed), "out of memory");
  EXPECT_FALSE(DecodeSmbShareMessage(failed));
  for (const SmbShareList& shares :
       {SmbShareList{}, SmbShareList{{"Laser", ""}, {"\x01x", "y"}}}) {
    EXPECT_FALSE(DecodeSmbFailureMessage(EncodeSmbShareMessage(shares)));
  }
  // Cut short, it is nothing yet.
  EXPECT_FALSE(DecodeSmbFailureMessage(failed.substr(0, failed.size() - 1)));

  // As a listing's pipe brings it: the listing is over, and its end throws.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(write(ends[1], failed.data(), failed.size()),
            static_cast<ssize_t>(failed.size()));
  close(ends[1]);
  SmbListing listing;
  listing.pipe = ends[0];
  EXPECT_TRUE(ReadSmbListing(listing));
  try {
    EndSmbListing(listing);
    ADD_FAILURE() << "no failure thrown";
  } catch (const RunFailure& failure) {
    EXPECT_STREQ(failure.reason, "out of memory");
  }
  EXPECT_EQ(listing.pipe, -1);
}

// The starter killed (by hand, by the kernel short of memory): a listing it
// left, and one asked of it after, fail the run rather than give nothing.
TEST(RunFailure, AnSmbStarterThatEndedIsAFailureNotAnEmptyListing) {
  const auto ended = [](SmbStarter& starter) {
    kill(starter.process, SIGKILL);
    int status = 0;
    while (waitpid(starter.process, &status, 0) < 0 && errno == EINTR) {
    }
  };
  const auto failure_of_listing = [](SmbListing& listing) -> std::string {
    try {
      while (!ReadSmbListing(listing)) usleep(1000);
      EndSmbListing(listing);
    } catch (const RunFailure& failure) {
      return failure.reason;
    }
    return "";
  };
  const Deadline deadline = Now() + std::chrono::seconds(5);
  SmbStarter starter = StartSmbStarter();
  ASSERT_GE(starter.process, 0);
  SmbListing left = StartSmbListing(starter, "127.0.0.1", deadline);
  ASSERT_GE(left.pipe, 0);
  ended(starter);
  EXPECT_EQ(failure_of_listing(left), kSmbStarterEnded);
  try {
    SmbListing after = StartSmbListing(starter, "127.0.0.1", deadline);
    EndSmbListing(after);
    ADD_FAILURE() << "no failure thrown";
  } catch (const RunFailure& failure) {
    EXPECT_STREQ(failure.reason, kSmbStarterEnded);
  }
  EndSmbStarter(starter);

  // While the starter lives, a server that gives nothing is nothing.
  starter = StartSmbStarter();
  SmbListing refused = StartSmbListing(starter, "127.0.0.1", deadline);
  EXPECT_EQ(failure_of_listing(refused), "");
  EndSmbStarter(starter);
}
#endif

}  // namespace
