// Threads with a stack of the size asked for. std::thread gives each the
// process's default, the stack limit (8 MiB on most machines): a tight
// address-space limit may have no room for that, where the thread needs a
// small part of it.
#ifndef QUELVARO_SPOOLER_THREAD_START_H
#define QUELVARO_SPOOLER_THREAD_START_H

#include <pthread.h>

#include <cstddef>

// Starts body(argument) on a new thread with a stack of stack_bytes (and
// the system's guard page below it); a detached one is never joined, the
// other is joined with pthread_join. Returns 0, or the error pthread_create
// gave (the thread did not start, and body will not run).
int StartThreadWithStack(pthread_t& thread, std::size_t stack_bytes,
                         bool detached, void* (*body)(void*), void* argument);

#endif  // QUELVARO_SPOOLER_THREAD_START_H
