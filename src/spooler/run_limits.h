// Every limit of a network run, in one place: what each bounds, and why it
// is what it is. A run asks the CUPS server, discovery and every print
// server side by side; these keep it finite in time and in memory whatever
// the network does, and keep one source from taking the others' turn.
#ifndef QUELVARO_SPOOLER_RUN_LIMITS_H
#define QUELVARO_SPOOLER_RUN_LIMITS_H

#include <chrono>
#include <cstddef>

// ---- Time --------------------------------------------------------------

// The whole run, from its start: nothing of it goes on after this. With
// servers that do not answer waiting for descriptors or memory the process
// could not give them at once, the report still ends in bounded time.
const std::chrono::milliseconds kRunBound(12000);

// How long past kRunBound the report's thread waits for the run before it
// goes on without it: only a fault of the loop's own would need it.
const std::chrono::milliseconds kRunGrace(2000);

// One print server, from its start to the last byte of everything it is
// asked (connects, requests, answers, SMB listings). A server on the machine
// or the local network answers in milliseconds; this bounds one that does
// not answer, answers slowly, or never stops answering, and it is counted
// from that server's own start, so that it never costs another server's
// turn.
const std::chrono::milliseconds kServerBound(5000);

// One address, to accept a connection: a host that drops what is sent to it
// gives its next address (if any) a turn within kServerBound.
const std::chrono::milliseconds kConnectBound(3000);

// Discovery: about a second for the network to answer (Avahi says it has
// all it has for now after one), and half a second more to resolve what it
// named. The Network scopes wait for it.
const std::chrono::milliseconds kDiscoveryBound(1500);

// The least time between two turns of the loop, for each descriptor it
// waits on: a turn looks at every server it asks, so with thousands of them
// turns that came as fast as single answers do would take a core of their
// own from the servers on the same machine. Events gather meanwhile and are
// taken together: 10,000 connections make turns at most every 20 ms, a few
// hundred every half millisecond.
const std::chrono::nanoseconds kLeastTurnPerDescriptor(2000);

// ---- At once -----------------------------------------------------------

// Resolutions asked of Avahi at once: the system bus lets a connection wait
// for 128 replies, Avahi lets a client hold 1,024 objects.
const std::size_t kMostResolving = 64;

// Threads looking up names at once. A name the machine's own files answer
// takes a millisecond at most; a DNS server that answers slowly or never
// holds a thread for its timeout, so there are enough that a few dozen such
// names do not hold up the rest.
const std::size_t kMostLookupThreads = 32;

// The stacks of the run's own threads. A thread would otherwise get the
// process's stack limit (8 MiB on most machines, and 32 lookup threads
// would take 256 MiB of address space), which under a tight limit on
// address space (ulimit -v) may not be there to map, though the thread
// needs a small part of it. Measured with a stack filled with a pattern
// and the deepest byte changed found at the thread's end, over the
// end-to-end tests (the private network's TLS, SMB and Kerberos servers,
// discovery, hostile servers): the loop's thread reaches 75 KiB (64 KiB of
// it the piece an answer is read in, kAnswerPieceBytes), a lookup thread 20
// KiB (the system's resolver asking DNS). Each gets some seven and twelve
// times that: another machine's NSS modules may take more.
const std::size_t kRunThreadStackBytes = std::size_t{512} << 10;
const std::size_t kLookupThreadStackBytes = std::size_t{256} << 10;

// Descriptors kept back from the servers' connections and SMB listings, for
// the process's own, the bus, the lookups, the standard streams, the
// unicast browse's sockets and WS-Discovery's (its two and its metadata
// requests, kMostWsdMetadataAtOnce). The
// servers may hold the rest of the process's limit, which a run raises to
// its hard limit (RaiseDescriptorLimit); a server waits its turn when they
// are all taken.
const std::size_t kKeptDescriptors = 128;

// ---- Memory ------------------------------------------------------------

// The answers being read from the servers, all together, counted by what
// their buffers hold (the report's own records of what came are kept
// apart: they are the report). A server is started only while this leaves
// room for kAnswerReserveBytes more, which it is sure of while it is asked;
// a server waits its turn for memory as for a descriptor. Past its reserve
// an answer takes what the others leave, and should many hostile servers
// all send a lot at once, the one that holds most is given up (nothing
// beneath it in the report), so that after each turn of the loop the
// answers hold this at most.
const std::size_t kMostRunAnswerBytes = std::size_t{256} << 20;

// What each server being asked is sure of: an answer describing a printer,
// or a few queues of a CUPS server, takes a few KiB. So many servers are
// asked at once as kMostRunAnswerBytes holds of these, 16,384.
const std::size_t kAnswerReserveBytes = std::size_t{16} << 10;

// One answer: a larger one gives nothing for that server. A CUPS server with
// 20,000 queues answers some 10 MiB.
const std::size_t kMostAnswerBytes = std::size_t{64} << 20;

// One SMB server's share list, all its answers together: a larger one gives
// nothing for that server. Three thousand printer shares take some 300 KiB.
const std::size_t kMostShareListBytes = std::size_t{64} << 20;

// How much is read from a connection at once, and how many such pieces one
// readiness of it is read in at most, so that one fast server does not keep
// the loop from the others.
const std::size_t kAnswerPieceBytes = std::size_t{64} << 10;
const int kPiecesAtOnce = 16;

// The head of an HTTP answer ("100 Continue" heads counted one at a time),
// and one chunk-size line: a server that never ends them gives nothing.
const std::size_t kMostHeadBytes = std::size_t{64} << 10;
const std::size_t kMostChunkLineBytes = 1024;

// ---- Descriptors and pieces of the process --------------------------------

// How many descriptors the servers may hold at once where the process's
// limit on open files cannot be read, or is unlimited: what a process
// usually may open, and a number far past any network's servers.
const std::size_t kDescriptorsUnread = 256;
const std::size_t kDescriptorsUnlimited = std::size_t{1} << 20;

// The descriptors an SMB listing's connect cut looks through for the
// connection under way: a socket takes the lowest free number, and a
// listing's process has a handful open.
const int kMostListingDescriptors = 1024;

// How often a TLS step is tried again at once after a warning the library
// says is not fatal, before the step is given up.
const int kMostTlsRetries = 8;

// The longest SMB server name a request to the listings' starter carries.
const std::size_t kMostSmbRequestBytes = 4096;

// How often the listings' starter looks for children to reap while none is
// due: a child's end is seen this late at most.
const std::chrono::milliseconds kSmbReapInterval(100);

// A piece read at once from an SMB listing's pipe (to the report's side)
// and from the server service's pipe (in the listing's child).
const std::size_t kSmbPieceBytes = 4096;

// The buffer the user database is read into for the running user's name.
const std::size_t kUserEntryBytes = 16384;

// ---- DNS-SD over unicast DNS ---------------------------------------------
// (dnssd/unicast_browse.h.) Discovery's bound, kDiscoveryBound, ends it in
// time; these keep a name server that answers with too much (thousands of
// instances, huge records, browse domains without end) to a few MiB: the
// answers being read, 64 KiB at most each (a DNS message's length is 16
// bits), kMostUnicastQueries of them, and what the browse keeps.

// Questions asked of the name servers at once: a campus's 200 printers
// take some 800 (SRV, TXT, A, AAAA), a name server on the site answers
// each in a millisecond or so, and the name servers of a resolver
// configuration are a few at most.
const std::size_t kMostUnicastQueries = 32;

// How long a name server has to answer one question before it is asked
// again (c-ares doubles it each round), and how often it is asked: three
// tries fit within discovery's 1.5 s, so one lost datagram costs nothing.
const std::chrono::milliseconds kUnicastQueryTimeout(400);
const int kUnicastQueryTries = 3;

// The domains browsed: the resolver's (at most six on most systems) and
// the browse domains they name. A name server naming more, or browse
// domains naming browse domains, costs no more (those of browse domains
// are not asked for).
const std::size_t kMostUnicastDomains = 32;

// The instances named, all domains and types together, and the hosts
// their SRV records name: a site's printers are hundreds; past this a name
// server that names thousands costs no more.
const std::size_t kMostUnicastInstances = 4096;

// One instance's TXT record, its strings together: DNS-SD keeps them under
// 1,300 bytes and no printer's comes near this. A larger one leaves the
// instance unresolved (listed by its name).
const std::size_t kMostUnicastTxtBytes = std::size_t{16} << 10;

// What the browse keeps, counted by what it holds: names, TXT records and
// the records of instances and hosts. Past this, an instance is not kept
// and a TXT record leaves its instance unresolved.
const std::size_t kMostUnicastHeldBytes = std::size_t{6} << 20;

// ---- WS-Discovery --------------------------------------------------------

// How long the answers to the Probes are listened for, from the first, and
// within discovery's bound: a device answers a multicast Probe after a wait
// of its own of up to half a second (the protocol's APP_MAX_DELAY), and the
// Probe goes out a second time kWsdRepeatDelay after the first. A network
// without WSD devices costs this once.
const std::chrono::milliseconds kWsdListenBound(1000);

// How long past discovery's bound the Network scopes wait for WSD devices'
// names (their metadata): a device whose metadata has not come by then is
// listed by its endpoint reference address. Everything WS-Discovery does
// ends then, so that the report's network part takes discovery's bound and
// this at most, however many devices never answer, or trickle.
const std::chrono::milliseconds kWsdLateBound(500);

// When a Probe or a Resolve, sent over UDP, is sent again (once): the
// protocol asks for a repetition between 50 and 250 ms after the first.
const std::chrono::milliseconds kWsdRepeatDelay(200);

// The WSD endpoints a run takes, each once by its address: a print server
// may answer for hundreds of printers; a host that names more than this is
// not believed beyond it.
const std::size_t kMostWsdEndpoints = 1024;

// Metadata requests under way at once, all devices together, and to one
// host: a host whose endpoints never answer holds four of them for
// kServerBound at most, and every other host still has its turn.
const std::size_t kMostWsdMetadataAtOnce = 16;
const std::size_t kMostWsdMetadataPerHost = 4;

// One WSD answer, a datagram or a metadata document (the body of its HTTP
// answer): a device's metadata takes a few KiB. A larger one gives nothing
// and is not parsed; a metadata answer that grows past it is given up at
// once.
const std::size_t kMostWsdAnswerBytes = std::size_t{1} << 20;

// A WSD answer's markup: the start tags ('<') and the attributes and
// namespace declarations ('=') it may hold, counted before it is parsed,
// and how deep its elements may nest. The parser keeps each open element,
// each name it has seen and each attribute of a tag: a document of 1 MiB
// made of nothing but these would make it hold some 40 MiB. A device's
// metadata has a few hundred of each and is some ten elements deep.
const std::size_t kMostWsdMarkup = 16384;
const std::size_t kMostWsdDepth = 64;

// The metadata answers being read, all together, by what their buffers
// hold: past it, the one that holds most is given up (its device is named
// by its address), so that after each turn they hold this at most.
const std::size_t kMostWsdHeldBytes = std::size_t{8} << 20;

// What the devices' records keep, all together: addresses, XAddrs, names
// and models. An endpoint or a name that would take more is not kept.
const std::size_t kMostWsdRecordBytes = std::size_t{4} << 20;

// Datagrams read in one turn of the loop, so that a device that floods
// the discovery's socket does not keep the loop from the rest.
const int kWsdDatagramsAtOnce = 256;

// The receive buffer asked of the kernel for the discovery's sockets
// (which may give less): a host answering for hundreds of endpoints sends
// that many datagrams within half a second.
const int kWsdReceiveBufferBytes = 1 << 20;

// What the pool of a run may hand out to its servers: descriptors and bytes
// of answers under way. A run takes them from the limits above; a test
// gives smaller ones.
struct RunBudget {
  std::size_t descriptors;
  std::size_t answer_bytes;
};

#endif  // QUELVARO_SPOOLER_RUN_LIMITS_H
