// RAFLIB array records: reading and writing arrays by number, the MFP page
// cache and byte-order conversion.
//
// Buffers are spans of 32-bit words; no routine reads or writes outside the
// span it is given: a span shorter than the words to transfer gives message
// 1044 before anything is transferred.
//
// The flag (ierr) of every routine: 0 on success; otherwise the message
// number, negative after a printed ERROR or FATAL ERROR (the rule of
// raflib/messages.h); a routine that passes a failure on adds its trace line
// and leaves the number as it is. See docs/conventions.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "raflib/state.h"

namespace raflib {

// Reads count elements of array arrayno from the file on unit. The stored
// array must have the routine's type and current <= count <= allocated.
//   RAFGIN: type 1, 32-bit integers      RAFGRE: type 2, single reals
//   RAFGDP: type 3, double reals (2 words each)
//   RAFGRD: type 2 widened to double in place; buffer of 2 * count words.
// ierr: 0, or -1025 type mismatch, -1026/-1027 count below current / above
// allocated, -1048 not allocated, -1069 number outside the MFP, -1023 read
// locked, -1036 read error, -1044 buffer too small, -1070 foreign file.
void RAFGIN(Raflib& raf, std::span<std::int32_t> buffer, std::int32_t count, std::int32_t arrayno,
            std::int32_t unit, std::int32_t& ierr);
void RAFGRE(Raflib& raf, std::span<std::int32_t> buffer, std::int32_t count, std::int32_t arrayno,
            std::int32_t unit, std::int32_t& ierr);
void RAFGDP(Raflib& raf, std::span<std::int32_t> buffer, std::int32_t count, std::int32_t arrayno,
            std::int32_t unit, std::int32_t& ierr);
void RAFGRD(Raflib& raf, std::span<std::int32_t> buffer, std::int32_t count, std::int32_t arrayno,
            std::int32_t unit, std::int32_t& ierr);

// Writes count elements of array arrayno: an array not yet allocated is
// allocated for count elements at the end of the file; an allocated one is
// rewritten (count <= allocated, the current count becomes count).
//   RAFPIN: type 1   RAFPRE: type 2   RAFPDP: type 3 (2 words per element)
// ierr: 0, or the negative number of the message printed (for example
// -1027 more than allocated, -1035 write error, -1071 foreign file).
void RAFPIN(Raflib& raf, std::span<const std::int32_t> buffer, std::int32_t count,
            std::int32_t arrayno, std::int32_t unit, std::int32_t& ierr);
void RAFPRE(Raflib& raf, std::span<const std::int32_t> buffer, std::int32_t count,
            std::int32_t arrayno, std::int32_t unit, std::int32_t& ierr);
void RAFPDP(Raflib& raf, std::span<const std::int32_t> buffer, std::int32_t count,
            std::int32_t arrayno, std::int32_t unit, std::int32_t& ierr);

// ---- internal steps ----

// Makes the file current, loads the array's entry and checks or acts by op
// (0 allocate, 1 write, 2 read, 3 locate). ierr: 0, or the message number of
// the failed check (1025-1027, 1047, 1048, 1069).
void RFFNFP(Raflib& raf, std::int32_t unit, std::int32_t arrayno, std::int32_t type,
            std::int32_t count, std::int32_t op, std::int32_t& ierr);

// Fills the current-array context, bringing the entry's page into the cache.
// ierr: 0, 1069 for a number outside 1..MFPMAX, or the page read's failure.
void RFMFPB(Raflib& raf, std::int32_t arrayno, std::int32_t& ierr);

// Replaces the page in the context's cache slot by the context's page,
// writing a dirty page back first. ierr: 0 or the failed transfer's message.
void RFSMFP(Raflib& raf, std::int32_t& ierr);

// Writes every dirty page of the current file. ierr: 0 or the failure's message.
void RFPMFP(Raflib& raf, std::int32_t& ierr);

// Allocates the data area and entry of an array at MFPNXT. ierr: 0 or the
// message of the failed address step.
void RFALL(Raflib& raf, std::int32_t unit, std::int32_t arrayno, std::int32_t type,
           std::int32_t allocated, std::int32_t current, std::int32_t& ierr);

// Puts words just read from the current file into this computer's byte
// order; kind "IN", "RE", "CO" (4-byte units) or "DP" (8-byte units); any
// other kind ("CK") only checks that the file can be read. ierr: 0, or -1070
// for a file this computer cannot read.
void RFCNVD(Raflib& raf, std::string_view kind, std::span<std::int32_t> buffer, std::int32_t words,
            std::int32_t& ierr);

// Reverses the bytes of each of count elements of length bytes.
// ierr: 0; -1 count < 0; -2 length outside 2..8; -3 the elements do not fit
// in the buffer.
void RFSWAP(std::span<std::byte> buffer, std::int32_t count, std::int32_t length,
            std::int32_t& ierr);

// y(i) := x(i) widened to double for n elements with strides incx, incy
// (x: single reals, one word each; y: doubles, two words each). With unit
// strides x and y may be the same buffer: the elements are done from the
// last to the first. A negative stride starts at the far end. Nothing is
// done for n < 1, a zero stride or elements outside the spans.
void RFR2DP(std::int32_t n, std::span<const std::int32_t> x, std::int32_t incx,
            std::span<std::int32_t> y, std::int32_t incy);

}  // namespace raflib
