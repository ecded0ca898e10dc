// Writing bytes to a descriptor whole, a write at a time, as a pipe or a
// terminal takes them.
#ifndef QUELVARO_SPOOLER_WRITE_WHOLE_H
#define QUELVARO_SPOOLER_WRITE_WHOLE_H

#include <cstddef>

// Writes size bytes from bytes to fd, again where a write is interrupted or
// takes only part; false where a write fails. Takes no memory, so that a
// failure to run can be said with none left.
bool WriteWhole(int fd, const char* bytes, std::size_t size);

#endif  // QUELVARO_SPOOLER_WRITE_WHOLE_H
