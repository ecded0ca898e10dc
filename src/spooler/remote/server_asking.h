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
#include "spooler/printer_records.h"
#include "spooler/remote/known_servers.h"
#include "spooler/net/poll_set.h"
#include "spooler/smb/smb_share_message.h"
#include "spooler/smb/smb_shares.h"

// Where the IPP side of an asking stands.
enum IppAsking {
  kIppNotAsked,     // not started, or the server has no IPP URI (yet)
  kIppWhatItIs,     // CUPS-Get-Printers, once for the host
  kIppEachPrinter,  // Get-Printer-Attributes at server.uris[next_uri - 1]
  kIppOver,
};

// The machine's CUPS server, as the client configuration names it.
struct CupsHost {
  std::string host;   // a name, a numeric address, or a socket's path
  int port = 0;
  bool tls = false;          // over TLS from the first byte
  bool may_upgrade = true;   // sent again over TLS when the server asks
};

// One SMB listing of the server's.
struct ShareListing {
  std::string host;      // as written in its smb:// URI
  SmbListing listing;
  bool over = false;
  PrinterList shares;    // what it found, as printers
};

struct ServerAsking {
  KnownServer server;            // the name, and the URIs known so far
  std::optional<CupsHost> cups;  // set for the machine's own CUPS server
  std::string user;              // requesting-user-name
  SmbStarter smb_starter;        // starts the SMB listings' children
  bool started = false;
  Deadline deadline = {};        // the asking's own bound
  IppAsking ipp = kIppNotAsked;
  std::size_t next_uri = 0;      // the next of server.uris to look at
  bool answered = false;         // the host answered CUPS-Get-Printers
  bool ipp_answered = false;     // ... with an IPP message
  bool cups_server = false;      // ... with queues
  HttpExchange http;             // the request under way, its connection
  std::string http_host;         // the host and port the connection is to
  int http_port = 0;
  bool host_asked_for_tls = false;  // its plain requests go over TLS
  bool wants_addresses = false;  // the request waits for a lookup of
  HttpRequest waiting;           // http_host
  bool lookup_asked = false;     // (the loop has asked for it)
  PrinterList printers;          // the IPP printers, as they come
  std::vector<ShareListing> smb;
};

// Starts asking the server at now (the IPP exchange, a child for each SMB
// server), bounded by kServerBound from now and by run_end.
void StartAsking(ServerAsking& asking, Deadline run_end, Deadline now);

// A URI of the server's learnt later. An asking already over asks again
// when the URI calls for it: another printer of a host that is no CUPS
// server, another SMB server name.
void AddAskingUri(ServerAsking& asking, const std::string& uri,
                  Deadline run_end, Deadline now);

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

// The descriptors the asking holds open at most while it runs.
std::size_t AskingDescriptors(const ServerAsking& asking);

// The bytes its exchange holds for the answer under way.
std::size_t AskingHeldBytes(const ServerAsking& asking);

// Gives up the answer under way: the IPP side is over, with what came
// before it.
void AbandonAnswer(ServerAsking& asking);

// The server's printers as the asking found them: the IPP ones, then the
// SMB shares, listing by listing. Stops whatever still runs.
PrinterList TakePrinters(ServerAsking& asking);

#endif  // QUELVARO_SPOOLER_REMOTE_SERVER_ASKING_H
