// One IPP exchange over HTTP: the request as one POST, the whole answer read
// into memory, everything by one deadline.
#ifndef QUELVARO_SPOOLER_IPP_HTTP_EXCHANGE_H
#define QUELVARO_SPOOLER_IPP_HTTP_EXCHANGE_H

#include <cstddef>
#include <optional>
#include <string>

#include "spooler/ipp/connect_socket.h"

// The largest answer taken; a larger one gives nothing.
const std::size_t kMostAnswerBytes = 64u << 20;

// How long a server is given for what a run asks it, from the connection to
// the last byte of the answer. A server on the machine or the local network
// answers in milliseconds; this only bounds a run against one that does
// not answer, answers slowly, or never stops answering.
const std::chrono::seconds kServerBound(5);

// Sends request (an IPP message) to resource on host:port (see
// ConnectSocket for host) as one HTTP/1.1 POST, and reads the answer in
// large pieces. Returns the IPP message of a "200 OK" answer. None when
// there was no connection, the whole answer had not come by the deadline
// (however slowly or endlessly the server sends, "100 Continue" lines
// included), the status was not 200, the body was larger than
// kMostAnswerBytes, or came in an encoding that was not asked for. Nothing
// is ever sent twice. The answer's HTTP status goes to status, when given:
// 0 when no answer came at all.
std::optional<std::string> PostIpp(const std::string& host, int port,
                                   const std::string& resource,
                                   const std::string& request,
                                   Deadline deadline, int* status = nullptr);

#endif  // QUELVARO_SPOOLER_IPP_HTTP_EXCHANGE_H
