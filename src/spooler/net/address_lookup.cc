// A few lookup threads, started as questions come and ended when none is
// left, and an eventfd that says answers are waiting.
#include "spooler/net/address_lookup.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <system_error>
#include <thread>

#include "spooler/run_limits.h"

namespace {

void CloseLookups(AddressLookups* lookups) {
  if (lookups->ready >= 0) close(lookups->ready);
  delete lookups;
}

void Signal(const AddressLookups& lookups) {
  const std::uint64_t one = 1;
  // A counter that is already up stays up: nothing is lost if this fails.
  if (write(lookups.ready, &one, sizeof one) < 0) return;
}

// Takes questions until none is left.
void AnswerQuestions(SharedLookups lookups) {
  std::unique_lock<std::mutex> held(lookups->lock.mutex);
  while (!lookups->questions.empty()) {
    const AddressQuestion question = std::move(lookups->questions.front());
    lookups->questions.pop_front();
    held.unlock();
    AddressAnswer answer = {question.asker,
                            LookUpAddresses(question.host, question.port)};
    held.lock();
    lookups->answers.push_back(std::move(answer));
    Signal(*lookups);
  }
  --lookups->threads;
}

}  // namespace

SharedLookups StartAddressLookups() {
  SharedLookups lookups(new AddressLookups, &CloseLookups);
  lookups->ready = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return lookups;
}

int LookupDescriptor(const SharedLookups& lookups) { return lookups->ready; }

void AskAddresses(const SharedLookups& lookups, std::size_t asker,
                  const std::string& host, int port) {
  std::lock_guard<std::mutex> held(lookups->lock.mutex);
  if (lookups->ready < 0) {
    lookups->answers.push_back({asker, {}});
    return;
  }
  lookups->questions.push_back({asker, host, port});
  if (lookups->threads >= kMostLookupThreads) return;
  try {
    std::thread(&AnswerQuestions, lookups).detach();
    ++lookups->threads;
  } catch (const std::system_error&) {
    // No thread to be had: the threads running take the question; with
    // none running, it goes unanswered and its asker's deadline ends it.
  }
}

std::vector<AddressAnswer> TakeAddressAnswers(const SharedLookups& lookups) {
  std::vector<AddressAnswer> answers;
  std::lock_guard<std::mutex> held(lookups->lock.mutex);
  if (lookups->ready >= 0) {
    std::uint64_t count = 0;
    if (read(lookups->ready, &count, sizeof count) < 0) count = 0;
  }
  answers.swap(lookups->answers);
  return answers;
}

void DropAddressQuestions(const SharedLookups& lookups) {
  std::lock_guard<std::mutex> held(lookups->lock.mutex);
  lookups->questions.clear();
}
