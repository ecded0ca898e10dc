// Asking one print server what it has, as a state a poll loop moves along
// beside every other server's: its IPP host over one connection where the
// host keeps it open (CUPS-Get-Printers; when it is no CUPS server,
// Get-Printer-Attributes at each of its printer URIs), and its SMB printer
// shares, each listing in a child process of its own. All of it by the
// asking's own bound, counted from its own start. The machine's own CUPS
// server is asked the same way, at the place the client configuration
// names, with CUPS-Get-Printers alone: its answer is the run's view of the
// queues.
#ifndef QUELVARO_SPOOLER_REMOTE_SERVER_ASKING_H
#define QUELVARO_SPOOLER_REMOTE_SERVER_ASKING_H

#include <optional>
#include <string>
#include <vector>

#include "spooler/net/http_exchange.h"
#include "spooler/net/poll_set.h"
#include "spooler/printer_records.h"
#include "spooler/remote/known_servers.h"
#include "spooler/remote/share_listings.h"

// Where the IPP side of an asking stands. MoveIpp is the one place it
// changes.
enum IppStage {
  kIppNotAsked,     // not started, or no IPP URI to ask at (yet)
  kIppWhatItIs,     // CUPS-Get-Printers, once for the host
  kIppEachPrinter,  // Get-Printer-Attributes at one of its printer URIs
  kIppOver,         // nothing under way; a URI learnt later may ask more
};

// What the host is, as far as its answers to CUPS-Get-Printers tell.
enum HostAnswer {
  kHostNotYet,      // not answered: not asked yet, or asked where it could
                    // not be (over TLS that failed), so that a URI learnt
                    // later asks it again
  kHostSilent,      // no answer at all: never asked again
  kHostNoIpp,       // an HTTP answer, but no IPP message
  kHostPrinter,     // an IPP answer without queues: a printer, asked at
                    // each of its printer URIs
  kHostCupsServer,  // an IPP answer with queues: those are all it has
};

// What the host's TLS is to its plain requests.
enum HostTls {
  kTlsAsWritten,    // plain URIs in plain HTTP, ipps and https over TLS
  kTlsAlways,       // it asked for TLS (426): every request over TLS
  kTlsUnusable,     // a handshake failed (or no TLS here): plain URIs only
};

// The machine's CUPS server, as the client configuration names it.
struct CupsHost {
  std::string host;   // a name, a numeric address, or a socket's path
  int port = 0;
  bool tls = false;          // over TLS from the first byte
  bool may_upgrade = true;   // sent again over TLS when the server asks
};

// The printers one IPP request found, and the URI it was sent to.
struct UriPrinters {
  std::string uri;
  PrinterList printers;
};

struct ServerAsking {
  KnownServer server;            // the name, and the URIs known so far
  // The URIs in the order the run lists them: the answers are handed over
  // in this order, whatever order they came in.
  std::vector<std::string> order;
  std::optional<CupsHost> cups;  // set for the machine's own CUPS server
  std::string user;              // requesting-user-name
  SmbStarter smb_starter;        // starts the SMB listings' children
  bool started = false;
  Deadline deadline = {};        // the asking's own bound
  IppStage ipp = kIppNotAsked;
  HostAnswer host = kHostNotYet;
  HostTls host_tls = kTlsAsWritten;
  std::string printer_uri;       // the URI of the request under way
  HttpExchange http;             // the request under way, its connection
  std::string http_host;         // the host and port the connection is to
  int http_port = 0;
  bool lookup_asked = false;     // the loop has asked for the addresses
                                 // the exchange waits for
  std::vector<UriPrinters> answers;  // the IPP answers, as they come
  std::vector<ShareListing> smb;
};

// Starts asking the server at now (the IPP exchange, a child for each SMB
// server), bounded by kServerBound from now and by run_end. Nothing is
// started once run_end has come.
void StartAsking(ServerAsking& asking, Deadline run_end, Deadline now);

// A URI of the server's learnt later. An asking already over asks again
// when the URI calls for it: another printer of a host that is no CUPS
// server, a plain URI of a host whose TLS failed, another SMB server name.
void AddAskingUri(ServerAsking& asking, const std::string& uri,
                  Deadline run_end, Deadline now);

// Whether the asking's exchange waits for the addresses of http_host, which
// the loop has not asked for yet.
bool WantsAddresses(const ServerAsking& asking);

// The addresses a lookup gave for the host the asking waits for.
void GiveAddresses(ServerAsking& asking, std::vector<SocketAddress> addresses,
                   Deadline now);

// What the asking waits for, and moving it on after the wait. room is how
// many more bytes its answer may hold.
void AskingPolls(const ServerAsking& asking, PollSet& set, Deadline now);
void ContinueAsking(ServerAsking& asking, const PollSet& set, Deadline now,
                    std::size_t room);

// Whether the asking is over: the IPP side and every SMB listing.
bool IsAskingOver(const ServerAsking& asking);

// Whether the host answered CUPS-Get-Printers with an IPP message: for the
// machine's own server, whether there is a view of its queues.
bool HasIppAnswer(const ServerAsking& asking);

// The descriptors the asking holds open at most while it runs.
std::size_t AskingDescriptors(const ServerAsking& asking);

// The bytes its exchange holds for the answer under way.
std::size_t AskingHeldBytes(const ServerAsking& asking);

// Gives up the answer under way: the IPP side is over, with what came
// before it.
void AbandonAnswer(ServerAsking& asking);

// Stops whatever still runs (closes the connection, ends the listings) and
// takes the server's printers: the IPP ones, then the SMB shares, each in
// the order of the URIs they came from (`order`, then the rest as known).
PrinterList StopAndTakePrinters(ServerAsking& asking);

// Gives back all an asking over holds (its URIs, its request and the
// addresses it was sent to, what came of it) but the server's name: a run
// keeps thousands of servers whose printers it has handed over.
void ReleaseAsking(ServerAsking& asking);

#endif  // QUELVARO_SPOOLER_REMOTE_SERVER_ASKING_H
