// RAFLIB file layout: word-addressed record transfers, the machine
// description, the byte-order rule and the decimal fields of the key.
//
// A RAFLIB file consists of 512-byte records numbered from 1. Records 1-2
// hold the key (1024 characters), the MFP starts at record MFPADR in pages of
// 64 entries (256 words, two records), and every array's data area starts at
// a record boundary.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "raflib/state.h"

namespace raflib {

// Raw codes of FFILE.
inline constexpr std::int32_t kFfileBadUnit = -991;
inline constexpr std::int32_t kFfileBadOp = -992;
inline constexpr std::int32_t kFfileBadAddress = -993;
inline constexpr std::int32_t kFfileBufferTooSmall = -994;
inline constexpr std::int32_t kFfileNegativeCount = -995;

// Transfers count words between buffer and the file on unit, starting at
// record address: op 0 only advances the address, 1 writes, 2 reads. On
// return address is the record after the last record transferred (or
// skipped); after a failed transfer it is the record after the failed one.
// ierr: 0, -991 unit outside 1..99, -992 op not 0..2, -993 address <= 0
// (or, for op 0, records past the largest record number), -994 buffer
// shorter than count words, -995 count < 0, or the negated I/O status; a
// read or write of records past the largest record number fails with the
// status of a read past the end of the file (kIostatShortRecord) or of a
// file that cannot grow (EFBIG), the address unchanged. A count of 0 transfers nothing. Writes fill
// the tail of a last, partial record with zeros. Consecutive records are moved in one transfer.
// FFILE writes no message.
void FFILE(Raflib& raf, std::int32_t unit, std::int32_t op, std::int32_t& address,
           std::span<std::int32_t> buffer, std::int32_t count, std::int32_t& ierr);
void FFILE(Raflib& raf, std::int32_t unit, std::int32_t op, std::int32_t& address,
           std::span<const std::int32_t> buffer, std::int32_t count, std::int32_t& ierr);

// Fills the machine description: element sizes, word size, MFP page records,
// record length, the computer-type table and this computer's name and type.
void RFMACH(Raflib& raf);

// How data written on computer type `file` are read on computer type `self`.
enum class ByteOrder { Same, Swap, Refused };
ByteOrder byte_order_rule(std::int32_t self, std::int32_t file);

// The 40-character name of a computer type (blanks outside 1..15).
std::string computer_name(const Raflib& raf, std::int32_t type);

// Decodes a right-justified decimal key field: blanks anywhere are ignored,
// an all-blank field reads 0, an optional sign must be followed by digits.
// Returns 0 or the decode status (5010).
int decode_field(std::string_view field, std::int32_t& value);

// Decodes consecutive fields of the given widths from text starting at the
// 1-based position pos. Returns 0 or the status of the first failing field
// (the fields before it are stored).
int decode_fields(std::string_view text, std::size_t pos, std::span<const int> widths,
                  std::span<std::int32_t*> values);

// Writes value right-justified into the field of the key at the 1-based
// position pos and width w (asterisks when it does not fit).
void encode_field(std::string& text, std::size_t pos, int w, std::int32_t value);

// Words <-> key text: 4 characters per word in memory order.
void key_to_words(std::string_view key, std::span<std::int32_t> words);
std::string words_to_key(std::span<const std::int32_t> words);

// Records occupied by w words: ceil(w / 128).
constexpr std::int64_t records_for(std::int64_t words) {
    return (words + kRecordWords - 1) / kRecordWords;
}

}  // namespace raflib
