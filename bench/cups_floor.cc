// The floor of the report over CUPS: what no report over the same server
// can do without. The same CUPS-Get-Printers request the report sends
// (the same attributes, the same head), written by hand to the socket
// CUPS_SERVER names, its answer read to the end and left unparsed, then the
// report's lines, already made, written with one write(2) each.
//
//   cups_floor LINES    LINES: the report as the program wrote it (bench/run-floor
//                       makes it once); its lines go to standard output
//
// Ends with 1 when the server cannot be reached or sends nothing.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "spooler/ipp/ipp_message.h"
#include "spooler/ipp/ipp_printers.h"

namespace {

bool WriteAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The answer's bytes, read until the server closes the connection.
std::size_t AskServer(const char* path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address),
                        sizeof address) != 0) {
    return 0;
  }
  const char* user = std::getenv("USER");
  const std::string body =
      IppRequest(kIppCupsGetPrinters, "", user == nullptr ? "root" : user,
                 PrinterAttributeNames());
  const std::string request =
      "POST / HTTP/1.1\r\nHost: localhost\r\n"
      "Content-Type: application/ipp\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  if (!WriteAll(fd, request.data(), request.size())) return 0;
  std::string answer;
  char piece[65536];
  for (;;) {
    const ssize_t n = read(fd, piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    answer.append(piece, static_cast<std::size_t>(n));
  }
  close(fd);
  return answer.size();
}

}  // namespace

int main(int argc, char* argv[]) {
  const char* server = std::getenv("CUPS_SERVER");
  if (argc != 2 || server == nullptr || AskServer(server) == 0) return 1;
  std::ifstream file(argv[1], std::ios::binary);
  const std::string lines((std::istreambuf_iterator<char>(file)),
                          std::istreambuf_iterator<char>());
  std::size_t at = 0;
  while (at < lines.size()) {
    std::size_t end = lines.find('\n', at);
    end = end == std::string::npos ? lines.size() : end + 1;
    if (!WriteAll(STDOUT_FILENO, lines.data() + at, end - at)) return 1;
    at = end;
  }
  return 0;
}
