// Writing DynRes result files: the structure parameters (MSTRU), the labels
// (ICDYNR) and one DYNRES record per result step, laid out as the result
// files of the TAVRO programs are.
//
// The file's catalogue, in booking order (array number in the writer's name
// list of 22 entries, record key for step s):
//   11 NODES   IN STRU  12               104
//   12 MSTRU   IN STRU  structure table   105
//   16 STEPINF SP POST  2 (s+0.25, s+0.5) 110 + 2(s-1)   (unless stepinf is off)
//   20 DYNRES  SP POST  P*(nDynRes+1)     111 + 2(s-1)
//   14 ICDYNR  IN STRU  nDynRes*width     106
//   18 MDYNR   RE STRU  6                 107
//   15 MPDYNR  DP CTRL  4                 108
//   13 RUNINFO IN CTRL  8                 109
//   19 WORK1   SP SCRA  50 (no record);   17 TS declared only;  21, 22 unnamed
// Arrays without content of their own hold filler numbers: integers
// 1000*n + k, reals n + k/4 (n = array number, k = 1..length).
//
// A DYNRES record holds P = max(nDRpack, 1) slots of (time, value 1 ..
// value nDynRes); the slots of the last record that no step fills are zero.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/dynwriter.h"

namespace tools {

// A named structure parameter; identifier j has its value in MSTRU(j).
struct Identifier {
    std::string name;
    std::int32_t value = 0;
};

// The structure-parameter array MSTRU.
struct Mstru {
    // Fixed layout: MSTRU is `words` as given (MSTRU(1) >= 0 selects it).
    bool fixed = false;
    std::vector<std::int32_t> words;
    // Identifier-table layout: MSTRU(1) and MSTRU(2) are the values of the
    // first two identifiers (IDLAYOUT = -1, IDOFFSET = offset); the table T
    // starts at MSTRU(offset + 1): T(1) = identifiers + spare, T(2) =
    // message_unit, T(3) = identifiers, T(4) = upper_case, T(5) = open, then
    // the packed names (upper-cased when upper_case = 1). MSTRU has offset +
    // 5 + 2*T(1) words.
    std::int32_t offset = 200;
    std::int32_t spare = 8;
    std::int32_t message_unit = 0;
    std::int32_t upper_case = 1;
    std::int32_t open = 1;
    std::vector<Identifier> identifiers;

    // Changes the value of an identifier, or appends it.
    void set(std::string_view name, std::int32_t value);
    // Removes an identifier (the ones behind it move up one place).
    void remove(std::string_view name);
    // Value of an identifier, or nullopt.
    std::optional<std::int32_t> get(std::string_view name) const;
    // The words of MSTRU. Throws WriteError for an identifier that cannot be
    // packed or whose value place would lie inside the table.
    std::vector<std::int32_t> build() const;
};

// The identifier-table MSTRU of a DynRes file: IDLAYOUT = -1, IDOFFSET = 200,
// LOADST, NDYNRES, NCOL, NDRSTEP and, when ndrpack > 0, NDRPACK.
Mstru dynres_mstru(std::int32_t loadst, std::int32_t ndynres, std::int32_t ncol,
                   std::int32_t ndrstep, std::int32_t ndrpack);

struct DynResLayout {
    std::vector<std::string> labels;  // one per DynRes
    std::int32_t ndynres = -1;        // number of DynRes; -1: the number of labels
    // Label width in words (NCOL). 0: NCOL is stored as 0 and the labels
    // are as wide as the longest one (at least one word).
    std::int32_t ncol = 10;
    std::int32_t pack = 0;   // nDRpack: time steps per DYNRES record (0: one per record)
    std::int32_t steps = 0;  // time steps that add_step will add
    // DYNRES records; -1: as many as the steps need. Set it to write raw
    // records with add_record.
    std::int32_t records = -1;
    bool zero_padding = false;  // label words after the text: 0 instead of 32 (blank)
    bool stepinf = true;        // the result array STEPINF ahead of DYNRES in every step

    // ---- overrides for damaged and edge files ----
    std::optional<std::vector<std::int32_t>> raw_labels;  // ICDYNR words as given
    std::optional<Mstru> mstru;                           // MSTRU as given
    std::optional<std::int32_t> dynres_length;            // catalogued length of DYNRES

    WriterOptions options;  // unit, clock, row length (max_key is set by the writer)
};

// Label width in words that a layout gives.
std::int32_t label_width(const DynResLayout& layout);
// The MSTRU written for a layout unless layout.mstru is set: LOADST = records,
// NDYNRES, NCOL as given, NDRSTEP = steps, NDRPACK when packed.
Mstru default_mstru(const DynResLayout& layout);
// The ICDYNR words written for a layout unless layout.raw_labels is set.
std::vector<std::int32_t> label_words(const DynResLayout& layout);

// Streams a DynRes file: the structure arrays are written on construction,
// each step record as soon as it is complete.
class DynResWriter {
  public:
    DynResWriter(const std::filesystem::path& file, DynResLayout layout);

    // One time step: values of DynRes 1..nDynRes.
    void add_step(float time, std::span<const float> values);
    // One raw DYNRES record (any length up to the catalogued one), written
    // as the next step's record; not together with add_step.
    void add_record(std::span<const float> record);
    // Writes the last, partly filled record and the catalogue and closes the
    // file. Throws when fewer or more steps or records were added than the
    // layout announced.
    void finish();

    std::int32_t ndynres() const { return ndynres_; }
    std::int32_t records() const { return records_; }
    // Elements of a DYNRES record: P*(nDynRes+1).
    std::int32_t record_length() const { return record_length_; }
    DynFileWriter& file() { return writer_; }

  private:
    void put_record(std::span<const float> record);

    DynResLayout layout_;
    std::int32_t ndynres_ = 0;
    std::int32_t slots_ = 1;
    std::int32_t records_ = 0;
    std::int32_t record_length_ = 0;
    DynFileWriter writer_;
    std::vector<float> record_;  // the record being filled
    std::int32_t slot_ = 0;      // slots filled in record_
    std::int32_t steps_added_ = 0;
    std::int32_t records_written_ = 0;
    bool raw_ = false;
};

// Whole files at once. values[k][i] is DynRes k+1 at time step i; steps and
// ndynres are taken from times and values.
void write_dynres_file(const std::filesystem::path& file, DynResLayout layout,
                       std::span<const float> times, const std::vector<std::vector<float>>& values);
// Raw DYNRES records; layout.records is the number of records.
void write_dynres_records(const std::filesystem::path& file, DynResLayout layout,
                          const std::vector<std::vector<float>>& records);

}  // namespace tools
