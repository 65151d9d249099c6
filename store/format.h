// The catalogue of a dyn file, word by word: the one place that knows where
// each catalogue word lives, what the type and store codes mean and which
// record holds an array. The store reads the catalogue through it, the
// writing tools build it through it; docs/format.md describes the same
// layout for a reader of the file.
//
// The catalogue is three integer arrays:
//   NUMRAF  20 words of counters and constants        record key 101
//   KEYRAF  one row of NUMRAF(7) = 10 words per array  record key 102
//   IARRNM  two name words per array number            record key 103
//
// Positions are named (NumrafWord, RowWord) and counted from 1, as in the
// file's own description. The views below address the words of a span, so
// the same positions serve the work array (a span of work-array words from
// WorkArray::words, whose first word has a 1-based index) and a plain buffer
// of the writer (0-based).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "dms/names.h"
#include "dms/work_array.h"

namespace store::format {

using dms::NameWords;
using dms::pack_name;

// ---- constants of the catalogue ----

inline constexpr std::int32_t kNumrafWords = 20;      // length of NUMRAF
inline constexpr std::int32_t kNumrafUsedWords = 11;  // words 12-20 are 0
inline constexpr std::int32_t kRowLength = 10;        // NUMRAF(7): words of a KEYRAF row
inline constexpr std::int32_t kNameLength = 8;        // NUMRAF(9): characters of a name
inline constexpr std::int32_t kKeyOffset = 100;       // NUMRAF(10): record key offset
inline constexpr std::int32_t kAddressDivisor = 100;  // NUMRAF(11): divisor of the pointer word
inline constexpr std::int32_t kNumrafKey = kKeyOffset + 1;  // structure record 1
inline constexpr std::int32_t kKeyrafKey = kKeyOffset + 2;  // structure record 2
inline constexpr std::int32_t kIarrnmKey = kKeyOffset + 3;  // structure record 3
inline constexpr std::int32_t kFirstArray = 11;             // numbers 1-10 are reserved

// The catalogue arrays take the three numbers behind a name list of
// list_length entries; the catalogue has a row for every number.
constexpr std::int32_t numraf_number(std::int32_t list_length) {
    return list_length + 1;
}
constexpr std::int32_t keyraf_number(std::int32_t list_length) {
    return list_length + 2;
}
constexpr std::int32_t iarrnm_number(std::int32_t list_length) {
    return list_length + 3;
}
constexpr std::int32_t catalogue_rows(std::int32_t list_length) {
    return list_length + 3;
}

// ---- NUMRAF ----

enum class NumrafWord : std::int32_t {
    StructureCounter = 1,  // structure records assigned so far (the catalogue's three included)
    ResultCounter = 2,     // result arrays per step assigned so far
    RestartCounter = 3,    // restart arrays per step assigned so far
    FileStructure = 4,     // structure records in the file
    FileResults = 5,       // result records per step in the file
    FileRestarts = 6,      // restart records per step in the file
    RowLength = 7,         // words of a KEYRAF row (10)
    Rows = 8,              // rows of KEYRAF: list length + 3
    NameLength = 9,        // 8
    KeyOffset = 10,        // 100
    AddressDivisor = 11,   // 100
};

// ---- KEYRAF rows ----

enum class RowWord : std::int32_t {
    Type = 1,             // type code, 0 = row unused
    WordsPerElement = 2,  // words per element in the work array
    Length = 3,           // length in elements
    StoreCode = 4,        // store code
    StructureIndex = 5,   // structure counter after this array's first booking
    ResultIndex = 6,      // result counter after it
    RestartIndex = 7,     // restart counter after it
    RealFlag = 8,         // 1 for type text "RE"
    Unused = 9,           // not used
    PointerWord = 10,     // pointer / NUMRAF(11) at the booking; informational
};

// 0-based offsets of the named words within their array.
constexpr std::int64_t offset(NumrafWord w) {
    return static_cast<std::int64_t>(w) - 1;
}
constexpr std::int64_t offset(RowWord w) {
    return static_cast<std::int64_t>(w) - 1;
}
// Offset of the first word of row n (n >= 1) in KEYRAF.
constexpr std::int64_t row_offset(std::int32_t n, std::int32_t rowlen) {
    return (static_cast<std::int64_t>(n) - 1) * rowlen;
}
// Offset of the first name word of number n (n >= 1) in IARRNM.
constexpr std::int64_t name_offset(std::int32_t n) {
    return 2 * (static_cast<std::int64_t>(n) - 1);
}

// The words of NUMRAF by name. Word is std::int32_t or const std::int32_t;
// the span holds at least the 11 used words (checked where the span is made).
template <class Word>
class BasicNumraf {
  public:
    explicit BasicNumraf(std::span<Word> words) : words_(words) {}
    template <class Other>
    requires std::is_convertible_v<Other (*)[], Word (*)[]> BasicNumraf(BasicNumraf<Other> other)
        : words_(other.words()) {}
    Word& operator[](NumrafWord w) const { return words_[static_cast<std::size_t>(offset(w))]; }
    std::span<Word> words() const { return words_; }

  private:
    std::span<Word> words_;
};
using Numraf = BasicNumraf<std::int32_t>;
using ConstNumraf = BasicNumraf<const std::int32_t>;

// The words of one KEYRAF row by name; the span holds at least 10 words.
template <class Word>
class BasicRow {
  public:
    explicit BasicRow(std::span<Word> words) : words_(words) {}
    template <class Other>
    requires std::is_convertible_v<Other (*)[], Word (*)[]> BasicRow(BasicRow<Other> other)
        : words_(other.words()) {}
    Word& operator[](RowWord w) const { return words_[static_cast<std::size_t>(offset(w))]; }
    std::span<Word> words() const { return words_; }

  private:
    std::span<Word> words_;
};
using Row = BasicRow<std::int32_t>;
using ConstRow = BasicRow<const std::int32_t>;

// The word type of a contiguous range of words: std::int32_t, or const
// std::int32_t for a range that may only be read.
template <class Words>
using WordOf = std::remove_reference_t<decltype(*std::data(std::declval<Words&>()))>;

// NUMRAF in a buffer (an array, vector or span of its words), and in the
// work array from its first word (1-based; the work array throws
// WorkArray::OutOfRange when the 11 used words do not fit).
template <class Words>
BasicNumraf<WordOf<Words>> numraf_in(Words&& numraf) {
    return BasicNumraf<WordOf<Words>>(std::span<WordOf<Words>>(numraf));
}
inline Numraf numraf_at(dms::WorkArray& w, std::int64_t first) {
    return Numraf(w.words(first, kNumrafUsedWords));
}

// Row n of KEYRAF with rows of rowlen words (at least 10): in a buffer
// holding KEYRAF from its first word, and in the work array from the first
// word of KEYRAF (1-based).
template <class Words>
BasicRow<WordOf<Words>> row_in(Words&& keyraf, std::int32_t n, std::int32_t rowlen) {
    return BasicRow<WordOf<Words>>(std::span<WordOf<Words>>(keyraf).subspan(
        static_cast<std::size_t>(row_offset(n, rowlen)), static_cast<std::size_t>(rowlen)));
}
inline Row row_at(dms::WorkArray& w, std::int64_t keyraf, std::int32_t n, std::int32_t rowlen) {
    return Row(w.words(keyraf + row_offset(n, rowlen), rowlen));
}

// The name words of number n in IARRNM (a buffer from its first word, or
// the work array from the first word of IARRNM).
inline NameWords names_in(std::span<const std::int32_t> iarrnm, std::int32_t n) {
    const auto k = static_cast<std::size_t>(name_offset(n));
    return {iarrnm[k], iarrnm[k + 1]};
}
inline void set_names_in(std::span<std::int32_t> iarrnm, std::int32_t n, NameWords words) {
    const auto k = static_cast<std::size_t>(name_offset(n));
    iarrnm[k] = words.first;
    iarrnm[k + 1] = words.second;
}
inline NameWords names_at(const dms::WorkArray& w, std::int64_t iarrnm, std::int32_t n) {
    return names_in(w.words(iarrnm + name_offset(n), 2), 1);
}
inline void set_names_at(dms::WorkArray& w, std::int64_t iarrnm, std::int32_t n, NameWords words) {
    set_names_in(w.words(iarrnm + name_offset(n), 2), 1, words);
}

// ---- type classes ----

struct TypeClass {
    std::string_view text;  // type text
    std::int32_t code;      // type code (KEYRAF word 1)
    std::int32_t words;     // words per element in the work array (KEYRAF word 2)
    std::int32_t real;      // real-flag (KEYRAF word 8): single precision on file
    bool named_back;        // a catalogue row of this code gives this text back
};

inline constexpr std::array<TypeClass, 5> kTypeClasses{{
    {"IN", 1, 1, 0, true},   // 32-bit integer
    {"SP", 2, 1, 0, true},   // single-precision real
    {"DP", 3, 2, 0, true},   // double-precision real
    {"RE", 3, 2, 1, true},   // double in memory, single precision on file
    {"I8", 4, 2, 0, false},  // 64-bit integer, two integer words on file
}};

// The class of a type text (blank-padded to 2 characters), nullptr when unknown.
const TypeClass* type_class(std::string_view type_text);

// ---- store classes ----

// Which records of a step an array has.
enum class StepPart : std::uint8_t { None, Result, Restart };

// The recall groups of ARRECL, as bits.
enum RecallGroup : std::uint8_t {
    kRecallStructure = 1,
    kRecallControl = 2,
    kRecallGlobal = 4,
    kRecallExclusive = 8,
    kRecallResult = 16,
    kRecallRestart = 32,
};

struct StoreClass {
    std::int32_t code;                      // store code (KEYRAF word 4)
    std::array<std::string_view, 2> texts;  // the texts of the code; the first is given back
    bool structure;                         // has a structure record (advances NUMRAF(1))
    StepPart step;                          // has a record per step (advances NUMRAF(2) or (3))
    std::uint8_t recall;                    // recall groups that bring it back
};

inline constexpr std::array<StoreClass, 10> kStoreClasses{{
    {0, {"SKIP", "SCRA"}, false, StepPart::None, 0},  // not on file
    {1, {"STRU", ""}, true, StepPart::None, kRecallStructure},
    {2, {"REST", ""}, false, StepPart::Restart, kRecallRestart},
    {3, {"POST", ""}, false, StepPart::Result, kRecallResult},
    {4, {"S+RS", "RS+S"}, true, StepPart::Restart, kRecallStructure | kRecallRestart},
    {5, {"S+PO", "PO+S"}, true, StepPart::Result, kRecallStructure | kRecallResult},
    {11, {"CTRL", ""}, true, StepPart::None, kRecallControl},
    {13, {"GLOB", ""}, true, StepPart::None, kRecallGlobal},
    {50, {"EXCL", ""}, true, StepPart::None, kRecallExclusive},
    {51, {"-AR-", ""}, true, StepPart::None, 0},  // the catalogue arrays
}};

// The text of a scratch array: store code 0, and no pointer word in its row.
inline constexpr std::string_view kScratchText = "SCRA";

// The class of a store text (blank-padded to 4 characters) or of a store
// code; nullptr when unknown.
const StoreClass* store_class(std::string_view store_text);
const StoreClass* store_class(std::int32_t store_code);

// Advances the counters of NUMRAF (words 1-3) that a first booking of the
// class advances.
void advance_counters(Numraf numraf, const StoreClass& c);

// Words 1-8 of the row of a first booking: type, words per element, length,
// store code, real-flag and, for a store code other than 0, all three
// counters of NUMRAF as the indices. Words 9 and 10 are left alone.
void first_booking(Row row, const TypeClass& type, std::int32_t words_per_element,
                   std::int32_t length, const StoreClass& store, ConstNumraf numraf);

// Record key of an array with the given store code and structure, result
// and restart index for a step (step <= 0: the structure record), from the
// file totals NUMRAF(4..6) and the key offset NUMRAF(10). 0 means no record;
// a key that does not fit 32 bits gives -1, which the file library refuses
// as an array outside the file.
std::int32_t record_key(std::int32_t nstru, std::int32_t nres, std::int32_t nrest,
                        std::int32_t key_offset, std::int32_t store_code, std::int32_t is,
                        std::int32_t ir, std::int32_t irs, std::int32_t step);
// The same for a row of a catalogue whose NUMRAF is given.
std::int32_t record_key(ConstNumraf numraf, ConstRow row, std::int32_t step);

}  // namespace store::format

namespace store {

// The code tables under the names the store's routines use.

// Type code of a two-character type text: IN 1, SP 2, DP 3, RE 3, I8 4; 0 when unknown.
std::int32_t type_code(std::string_view type_text);
// Words per element of a type text (IN, SP 1; RE, DP, I8 2); 0 when unknown.
std::int32_t words_per_element(std::string_view type_text);
// Store code of a four-character store text; -1 when unknown.
std::int32_t store_code(std::string_view store_text);
// Type text of a catalogue row: "IN", "SP", "RE"/"DP" by the real-flag, "??".
std::string type_text_of(std::int32_t type_code, std::int32_t real_flag);
// Store text of a store code ("????" when unknown).
std::string store_text_of(std::int32_t store_code);

using format::record_key;

}  // namespace store
