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
// the process's own, the bus, the lookups and the standard streams. The
// servers may hold the rest of the process's limit, which a run raises to
// its hard limit (RaiseDescriptorLimit); a server waits its turn when they
// are all taken.
const std::size_t kKeptDescriptors = 64;

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

// What the pool of a run may hand out to its servers: descriptors and bytes
// of answers under way. A run takes them from the limits above; a test
// gives smaller ones.
struct RunBudget {
  std::size_t descriptors;
  std::size_t answer_bytes;
};

#endif  // QUELVARO_SPOOLER_RUN_LIMITS_H
