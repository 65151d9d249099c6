// Writing dyn files: a new RAFLIB file with the catalogue (NUMRAF, KEYRAF,
// IARRNM) that a writing program of the TAVRO family keeps, and its arrays at
// the record keys the catalogue gives them.
//
// The writer has its own name list: entry n is the name of array number n
// (numbers 1-10 and blank entries have no name), and the catalogue arrays get
// the next three numbers. Arrays are booked as a writing program books them
// the first time: the record counters advance by the store text and the row
// keeps all three counters (structure, result, restart index). The catalogue
// arrays are structure records 1-3 (keys 101-103); every other array lives at
// the key given by store::format::record_key from its row and the final
// counters, so all arrays are booked before the first array is written. The
// positions of the catalogue words and the store classes are those of
// store/format.h, which the reader uses too.
//
// The file is written in this computer's byte order. Failures throw
// WriteError with the RAFLIB message text, if any.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "io/units.h"
#include "raflib/raflib.h"
#include "store/format.h"

namespace tools {

class WriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The two name words of a packed name.
using NameWords = dms::NameWords;

// Packs a name of 1 to 8 characters (surrounding blanks removed) like an array
// name of the data manager (store::format::pack_name). Throws WriteError for
// an empty name, a name longer than 8 characters or a character outside
// 33..126.
NameWords pack_name(std::string_view name);

// MFPMAX of a file whose highest record key is max_key: whole MFP pages of 64
// entries, enough for the catalogue records 101-103.
std::int32_t mfp_size(std::int64_t max_key);

struct WriterOptions {
    std::int32_t unit = 22;                   // unit the file is opened on
    std::int64_t max_key = 0;                 // highest record key to be written (sizes MFPMAX)
    std::int32_t row_length = 10;             // NUMRAF(7): words of a KEYRAF row as stored
    raflib::Clock clock = raflib::local_now;  // time stamps of the key
};

class DynFileWriter {
  public:
    // Creates the file (an existing file is replaced), and reserves the
    // records 101-103 of the catalogue so that data areas follow in key
    // order. names[n-1] is the name of array number n.
    DynFileWriter(const std::filesystem::path& file, std::vector<std::string> names,
                  WriterOptions options = {});
    // Closes the file if finish() was not called (the catalogue then stays
    // empty); never throws.
    ~DynFileWriter();
    DynFileWriter(const DynFileWriter&) = delete;
    DynFileWriter& operator=(const DynFileWriter&) = delete;

    // Number of the first list entry with this name (the catalogue arrays
    // included), 0 when there is none.
    std::int32_t number(std::string_view name) const;
    // Number of rows: list length + 3.
    std::int32_t rows() const { return static_cast<std::int32_t>(names_.size()) + 3; }
    std::int32_t mfpmax() const { return mfpmax_; }

    // First booking of an array: type text "IN", "SP", "DP", "RE", "I8";
    // store text "SKIP", "SCRA", "STRU", "REST", "POST", "S+RS", "RS+S",
    // "S+PO", "PO+S", "CTRL", "GLOB", "EXCL"; length in elements. Throws for
    // an unknown text, a negative length, a number outside the list, an
    // array booked before and for a booking after the first write.
    void book(std::int32_t number, std::string_view type, std::string_view store,
              std::int32_t length);
    void book(std::string_view name, std::string_view type, std::string_view store,
              std::int32_t length);

    // Record key of a booked array for a step (step <= 0: structure part);
    // 0 when the array has no record for that step.
    std::int32_t key(std::int32_t number, std::int32_t step) const;
    std::int32_t key(std::string_view name, std::int32_t step) const;

    // Writes the values as the record of the array for the step; the number
    // of elements is the size of the span (it may differ from the booked
    // length, for damaged files). Throws when the array is not booked, has
    // no record for the step, or its type does not fit:
    //   write_ints:    "IN" (one word each) and "I8" (two words per element)
    //   write_floats:  "SP" and "RE" (single precision on file)
    //   write_doubles: "DP", and "RE" (each value rounded to single precision)
    void write_ints(std::int32_t number, std::int32_t step, std::span<const std::int32_t> values);
    void write_floats(std::int32_t number, std::int32_t step, std::span<const float> values);
    void write_doubles(std::int32_t number, std::int32_t step, std::span<const double> values);
    void write_ints(std::string_view name, std::int32_t step, std::span<const std::int32_t> values);
    void write_floats(std::string_view name, std::int32_t step, std::span<const float> values);
    void write_doubles(std::string_view name, std::int32_t step, std::span<const double> values);

    // The catalogue as it stands (NUMRAF(word), row words 1-10).
    std::int32_t numraf(std::int32_t word) const;
    std::int32_t row_word(std::int32_t number, std::int32_t word) const;
    NameWords name_words(std::int32_t number) const;

    // Changes what is stored, for odd catalogues; where the records go is
    // not affected (keys always follow the counters of the bookings).
    void set_numraf(std::int32_t word, std::int32_t value);                         // word 1..20
    void set_row_word(std::int32_t number, std::int32_t word, std::int32_t value);  // word 1..10
    void set_name_words(std::int32_t number, NameWords words);

    // Writes NUMRAF (key 101), KEYRAF (102) and IARRNM (103) and closes the
    // file; the file ends with its last data area.
    void finish();

  private:
    struct Row {
        std::array<std::int32_t, store::format::kRowLength> w{};  // KEYRAF words 1-10
        bool booked = false;
        store::format::Row words() { return store::format::Row(w); }
        store::format::ConstRow words() const { return store::format::ConstRow(w); }
    };

    void check(std::int32_t ierr, std::string_view what);
    // NUMRAF as finish() stores it, before the changes of set_numraf.
    std::array<std::int32_t, store::format::kNumrafWords> stored_numraf() const;
    const Row& booked(std::int32_t number, std::string_view what) const;
    std::int32_t checked_number(std::string_view name) const;
    std::int32_t record_for(std::int32_t number, std::int32_t step, std::string_view what) const;
    void book_row(std::int32_t number, std::string_view type, std::string_view store,
                  std::int32_t length);
    // Writes the words of count elements as the record of the array for the
    // step with the RAFLIB routine of their type (RAFPIN, RAFPRE, RAFPDP).
    using Put = void (*)(raflib::Raflib&, std::span<const std::int32_t>, std::int32_t, std::int32_t,
                         std::int32_t, std::int32_t&);
    void put_record(std::int32_t number, std::int32_t step, const std::string& what,
                    std::span<const std::byte> bytes, std::size_t count, Put put);

    std::filesystem::path path_;
    std::vector<std::string> names_;
    WriterOptions options_;
    std::istringstream keyboard_;
    std::ostringstream console_;  // RAFLIB messages
    io::Units units_;
    raflib::Raflib raf_;
    std::int32_t mfpmax_ = 0;
    // NUMRAF as it stands; words 4-6 are filled from the counters when stored.
    std::array<std::int32_t, store::format::kNumrafWords> numraf_{};
    std::vector<Row> rows_;               // rows_[n-1]: row of number n
    std::vector<NameWords> names_words_;  // per number
    // Changes of what is stored: NUMRAF word, (number, row word), number.
    std::map<std::int32_t, std::int32_t> numraf_patches_;
    std::map<std::pair<std::int32_t, std::int32_t>, std::int32_t> row_patches_;
    std::map<std::int32_t, NameWords> name_patches_;
    std::vector<std::int32_t> buffer_;  // words of the record being written
    std::int64_t next_word_ = 0;        // where the writing program's next array would start
    bool writing_ = false;              // the first array was written
    bool open_ = false;
};

}  // namespace tools
