// A few lookup threads, started as questions come and ended when none is
// left, and an eventfd that says answers are waiting.
#include "spooler/net/address_lookup.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "spooler/run_failure.h"
#include "spooler/run_limits.h"
#include "spooler/thread_start.h"

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

// Takes questions until none is left. Memory that runs out is the run's
// failure, said to the loop when it next takes answers.
void AnswerQuestions(const SharedLookups& lookups) {
  std::unique_lock<std::mutex> held(lookups->lock.mutex);
  while (!lookups->questions.empty()) {
    try {
      const AddressQuestion question = std::move(lookups->questions.front());
      lookups->questions.pop_front();
      held.unlock();
      AddressAnswer answer = {question.asker,
                              LookUpAddresses(question.host, question.port)};
      held.lock();
      lookups->answers.push_back(std::move(answer));
    } catch (const std::bad_alloc&) {
      if (!held.owns_lock()) held.lock();
      lookups->out_of_memory = true;
    }
    Signal(*lookups);
  }
  --lookups->threads;
}

// A lookup thread: the lookups it shares, handed over on the heap.
void* AnswerOnThread(void* shared) {
  const std::unique_ptr<SharedLookups> lookups(static_cast<SharedLookups*>(shared));
  AnswerQuestions(*lookups);
  return nullptr;
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
  auto shared = std::make_unique<SharedLookups>(lookups);
  pthread_t thread;
  const int error = StartThreadWithStack(thread, kLookupThreadStackBytes, true,
                                         &AnswerOnThread, shared.get());
  if (error == 0) {
    shared.release();
    ++lookups->threads;
    return;
  }
  // No thread to be had: the threads running take the question; with none
  // running, nothing would ever answer it.
  if (lookups->threads == 0) {
    throw MakeRunFailure("a name lookup's thread cannot start",
                         std::strerror(error));
  }
}

std::vector<AddressAnswer> TakeAddressAnswers(const SharedLookups& lookups) {
  std::vector<AddressAnswer> answers;
  std::lock_guard<std::mutex> held(lookups->lock.mutex);
  if (lookups->out_of_memory) throw MakeRunFailure("out of memory");
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
