// RAFLIB library state: the open-file table with its page caches, the
// current-array context, the message set-up and the machine description.
//
// Everything the library keeps between calls lives in one Raflib object that
// the caller creates and passes to every routine, so tests can start from a
// fresh library.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "io/units.h"

namespace raflib {

inline constexpr int kMaxFiles = 10;                // slots of the open-file table
inline constexpr int kCachePages = 10;              // MFP pages cached per file
inline constexpr int kPageWords = 256;              // one MFP page: 64 entries of 4 words
inline constexpr int kPageEntries = 64;             // entries per MFP page
inline constexpr int kRecordWords = 128;            // one record: 512 bytes
inline constexpr int kRecordBytes = 512;            // record length of a RAFLIB file
inline constexpr int kKeyLength = 1024;             // characters of the key (records 1-2)
inline constexpr int kKeyWords = 256;               // words of the key
inline constexpr int kComputerTypes = 15;           // entries of the computer-type table
inline constexpr std::int32_t kUndefined = -12345;  // the library's undefined integer
inline constexpr std::int32_t kMaxI8 = 99999999;    // largest value of an I8 key field

// Operation codes of the array routines.
inline constexpr std::int32_t kOpAllocate = 0;
inline constexpr std::int32_t kOpWrite = 1;
inline constexpr std::int32_t kOpRead = 2;
inline constexpr std::int32_t kOpLocate = 3;

// Local time as the time stamps need it.
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

using Clock = std::function<LocalTime()>;

// The local clock of the machine.
LocalTime local_now();

// One slot of the open-file table.
struct Slot {
    // 0 free; -u after the open statement on unit u; +u once the key was read or written.
    std::int32_t unit = 0;
    std::int32_t lock = 0;                           // lock state 0..3
    std::int32_t access = 0;                         // access state 0..6
    std::string stamp = std::string(16, ' ');        // open time stamp (form 1)
    std::string key = std::string(kKeyLength, ' ');  // the key image
    // The seven key integers.
    std::int32_t mfpadr = 0;
    std::int32_t mfpmax = 0;
    std::int32_t mfpcur = 0;
    std::int32_t mfpnxt = 0;
    std::int32_t chkrs1 = 0;
    std::int32_t chkrs2 = 0;
    std::int32_t mfplen = 0;
    // Page cache: 10 MFP pages in this computer's byte order.
    std::array<std::array<std::int32_t, kPageWords>, kCachePages> pages{};
    std::array<std::int32_t, kCachePages> page_no{};  // 0 = empty
    std::array<std::int32_t, kCachePages> age{};      // 1 = most recently used .. 10
    std::array<std::int32_t, kCachePages> dirty{};    // 0/1
    // Computer type of this file (from its key; this computer's type for a
    // file created here; 0 while unknown). Byte-order conversion and the
    // write check use the type of the file being worked on.
    std::int32_t computer_type = 0;
    // True while pages, key integers or stamps of this file have changes that
    // are not yet written: the close then writes them back.
    bool pending = false;
};

// The current-array context, filled by RFMFPB.
struct ArrayContext {
    std::int32_t page = 0;
    std::int32_t cache_slot = 0;  // 1..10
    std::int32_t arrayno = 0;
    std::int32_t entry = 0;  // 1..64
    std::int32_t address = 0;
    std::int32_t type = 0;
    std::int32_t allocated = 0;
    std::int32_t current = 0;
};

// The machine description set by RFMACH.
struct Machine {
    std::array<std::int32_t, 6> element_size{};  // bytes per element, types 1..5 (index 0 unused)
    std::int32_t bytes_per_word = 0;
    std::int32_t records_per_page = 0;
    std::int32_t record_length = 0;  // record length given to the open, in words
    std::array<std::string, kComputerTypes + 1> names{};  // 40-character names, types 1..15
    std::string name = std::string(40, ' ');              // this computer's name
    std::string type_text = "    ";                       // this computer's type as I4 text
    std::int32_t type = 0;                                // this computer's type
};

// A message level: its text, marker and the two units it prints on (0 = none).
struct Level {
    std::string text;    // 11 characters
    std::string marker;  // 3 characters
    std::int32_t unit1 = 0;
    std::int32_t unit2 = 0;
};

struct Raflib {
    explicit Raflib(io::Units& u, Clock c = local_now);

    io::Units& units;
    Clock clock;

    std::array<Slot, kMaxFiles> slots{};  // slot f is slots[f - 1]
    std::int32_t current = 0;             // current slot 1..10, 0 = none
    ArrayContext ctx;
    std::int32_t iwfile = 0;     // key and MFP page write events since RAFINI
    std::int32_t file_type = 0;  // computer type of the existing file initialised last
    std::int32_t version = 2;
    std::int32_t revision = 1;
    std::array<Level, 5> levels{};  // levels 1..4 (index 0 unused)
    Machine machine;

    // The slot f (1..10).
    Slot& slot(std::int32_t f) { return slots[static_cast<std::size_t>(f - 1)]; }
    const Slot& slot(std::int32_t f) const { return slots[static_cast<std::size_t>(f - 1)]; }
    // The current slot; only valid while current != 0.
    Slot& cur() { return slot(current); }
    // The unit held by the current slot, 0 when no slot is current.
    std::int32_t current_unit() const { return current > 0 ? slot(current).unit : 0; }
};

}  // namespace raflib
