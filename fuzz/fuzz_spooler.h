// A spooler driven by fuzz input: every EnumPrintersW call of one report run
// takes its answer from the next bytes of the input, and the calls are checked
// against the sizing procedure as they come.
//
// Input format, read front to back; bytes past the end read as 0, so a short
// input ends in enumerations that report nothing:
//
//   sizing call (no buffer):  needed, 2 bytes little-endian (so at most 65535)
//   filling call (a buffer):  count byte, then record bytes, then edits
//     count byte   0xFF: 4 bytes of raw count follow   0xFE: -1
//                  0xFD: INT32_MIN   0xFC: INT32_MAX
//                  0xFB: one record more than the block can hold
//                  any other value: that count
//     record bytes a length byte R, then R bytes copied to the block's start
//     edits        a byte E, then E % 32 edits, each: a record index k (1 byte),
//                  a kind (1 byte, taken % 9) and the kind's parameters; the
//                  kind decides where the name field of record k points:
//                  0 null
//                  1 a string written at a block offset (2 bytes, % cbBuf)
//                  2 a string written to end exactly at the block's end,
//                    with no terminator
//                  3 a block offset (2 bytes, % cbBuf), nothing written there
//                  4 one past the block's end
//                  5 1 to 4 bytes (1 byte, % 4 + 1) before the block's start
//                  6 a terminated string outside every block
//                  7 into the block of the previous filling call, at an
//                    offset (2 bytes): freed by now, or the listing's block
//                    while an expansion runs
//                  8 any address (8 bytes)
//     string       a byte L: L & 0x7F code units, then a terminator unless
//                  bit 0x80 is set; each unit is a byte b below 0x80 (that
//                  unit), 0xFF and 4 bytes (any 32-bit unit), or any other b
//                  and 2 bytes (a 16-bit unit).
//   Whatever is written is clipped to the block; records that do not fit are
//   not edited.
#ifndef QUELVARO_FUZZ_FUZZ_SPOOLER_H
#define QUELVARO_FUZZ_FUZZ_SPOOLER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "spooler/spooler.h"

// One listing (a request with no Name), as the spooler saw it.
struct FuzzedListing {
  DWORD flags;
  DWORD level;
  bool sized;  // its sizing call reported bytes
};

// Starts a run that answers from data (which must outlive the run).
void ScriptFuzzedSpooler(const std::uint8_t* data, std::size_t size);

// The listings of the run so far, in call order.
const std::vector<FuzzedListing>& FuzzedListings();

#endif  // QUELVARO_FUZZ_FUZZ_SPOOLER_H
