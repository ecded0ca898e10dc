// pthread_create with the attributes a stack size takes.
#include "spooler/thread_start.h"

#include <limits.h>

#include <algorithm>

int StartThreadWithStack(pthread_t& thread, std::size_t stack_bytes,
                         bool detached, void* (*body)(void*), void* argument) {
  pthread_attr_t attributes;
  int error = pthread_attr_init(&attributes);
  if (error != 0) return error;
  error = pthread_attr_setstacksize(
      &attributes, std::max<std::size_t>(stack_bytes, PTHREAD_STACK_MIN));
  if (error == 0 && detached) {
    error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  }
  if (error == 0) error = pthread_create(&thread, &attributes, body, argument);
  pthread_attr_destroy(&attributes);
  return error;
}
