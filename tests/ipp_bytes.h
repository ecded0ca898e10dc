// IPP messages for the tests, made with libcups, so that what the spooler
// reads is checked against an encoder that is not its own.
#ifndef QUELVARO_TESTS_IPP_BYTES_H
#define QUELVARO_TESTS_IPP_BYTES_H

#include <cups/cups.h>

#include <memory>
#include <string>

using IppMessage = std::unique_ptr<ipp_t, decltype(&ippDelete)>;

// An answer with the status and the usual operation attributes.
IppMessage IppAnswer(ipp_status_t status);

// The message as bytes on the wire.
std::string IppBytes(ipp_t* message);

// The message the bytes hold, as libcups reads it; null when it cannot.
IppMessage IppFromBytes(const std::string& bytes);

#endif  // QUELVARO_TESTS_IPP_BYTES_H
