// SeriesReader: reads the DynRes time series of one dyn file, read-only,
// in one streaming pass.
//
// How to use it
// -------------
//   reader::SeriesReader r;
//   if (!r.open("runs/a.dyn")) {                 // never throws for a bad file
//       std::cerr << "pektor stats: runs/a.dyn: " << r.error() << '\n';
//       return;                                   // r.problem() tells the kind
//   }
//   r.dynres_count();                             // nDynRes
//   r.label(7);                                   // "Base moment My", as listed
//   reader::SeriesReader::Summary s;
//   if (!r.summary(s)) ...                        // steps, first and last time
//   const std::vector<int> pick{1, 7};            // DynRes numbers, 1-based, any order,
//   reader::SeriesReader::Series out;                // repeats allowed
//   if (!r.read(pick, {0.0, 100.0}, out)) ...     // window [0, 100]
//   out.times[i], out.values[c][i]                // sample i of pick[c]
//
// What it reads. Exactly the series that the classic operations gather: the
// DYNRES record of every result step 1 .. LSTSTO (stored from LOADST and read
// back, as the gathering does; one or nDRpack time steps per record; a slot
// after the first whose time is below 1.0E-10 ends its record; at most
// nDRStep steps with packing), refused by the same rules (reader/gathering.h:
// parameters, steps the file's records cannot hold, short records, steps
// that do not each read a record of their own), the labels of ICDYNR as
// the classic DynRes listing prints them (blank runs collapsed, a word 0 ends
// the label, trailing blanks removed).
//
// The window. Both ends are inclusive and compared at single precision, the
// precision of the stored times: a stored time t is inside when
// float(t0) <= t <= float(t1) (float() rounds to nearest, so typing 0.15
// selects the stored time 0.15f). Steps before t0 are skipped; the first
// step after t1 ends the scan (the steps are stored in increasing time), as
// in the classic operations. Window{} is the whole series.
//
// Guarantees.
// - The file is opened read-only and never written (a version-0 file is read
//   through its old MFP layout, not converted); nothing is written to the
//   console or to any file. Every problem becomes error(): one line of text
//   (missing, not a dyn file, locked, newer format version, foreign byte
//   order, damaged, truncated), and problem() its kind. open() checks the
//   key, the catalogue, MSTRU, the labels, the MFP entry of every array the
//   classic recall reads (those of its name list kept with the structure,
//   control or result data) and of every step's record (allocated, type,
//   counts, inside the file), so a later read can only fail when the file
//   changes or the disk fails.
// - No global state: each reader owns its file descriptor and buffers;
//   different readers may be used from different threads at once. One
//   reader must not be used by two threads at the same time.
// - Memory: the selected series plus the read buffers (1 MiB, or one record
//   when larger; five of them when a helper thread reads every other piece
//   of a large file) and a small table of record runs. Runs of records at a
//   regular distance are read with one pread per 1 MiB. Every table is
//   bounded by the file's size: a step count that the file's records cannot
//   hold is refused before anything is read step by step.
//
// Low-level access. stream() hands the rows of the window to a callback,
// straight out of the read buffer (no copy): row[0] is the time, row[k] the
// value of DynRes k. The classic fast path and the statistics kernels use it.
// A caller that reads many files (one reader after the other) gives every
// read the same ReadBuffers: the buffers are then allocated once, not filled
// and not handed back to the system after each file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace reader {

// The read buffers of one thread, kept from one read (and file) to the next.
// A buffer's contents are undefined until a read fills them. Buffer i and
// buffer j != i may be used by two threads at once (one reader with its
// helper thread); one ReadBuffers must not serve two readers at once.
class ReadBuffers {
  public:
    static constexpr std::size_t kCount = 5;  // one per buffer of a read on two cores

    // Buffer i (< kCount) of at least `bytes` bytes; grown when smaller.
    std::span<std::byte> get(std::size_t i, std::size_t bytes);
    // Bytes held (for the tests).
    std::size_t held() const;

  private:
    struct Block {
        std::unique_ptr<std::byte[]> data;
        std::size_t size = 0;
    };
    std::array<Block, kCount> blocks_;
};

class SeriesReader {
  public:
    enum class Problem {
        None,
        NotOpen,       // open() not called or failed before anything was read
        Missing,       // no such file
        CannotOpen,    // exists but cannot be opened (permissions, a directory, ...)
        NotDynFile,    // not a RAFLIB file, or one without DynRes results
        Locked,        // the file's read lock is set
        NewerVersion,  // format version above 2
        ForeignType,   // written on a computer whose data cannot be read here
        Damaged,       // inconsistent key, MFP, catalogue or parameters
        Truncated,     // a record lies beyond the end of the file
        ReadError,     // the system refused a read
    };

    // Time window, both ends inclusive (see above). The defaults select all.
    struct Window {
        double first = -std::numeric_limits<double>::infinity();
        double last = std::numeric_limits<double>::infinity();
    };

    struct Summary {
        std::int64_t steps = 0;  // time steps stored (found by the gathering rules)
        float first_time = 0;    // time of the first step (0 when steps == 0)
        float last_time = 0;     // time of the last step (0 when steps == 0)
    };

    // Samples of the window: times[i] and values[c][i] for the c-th DynRes asked for.
    struct Series {
        std::vector<float> times;
        std::vector<std::vector<float>> values;
    };

    // Consecutive steps of the window inside the read buffer: row i starts at
    // data + i * stride; row[0] is the time, row[k] the value of DynRes k
    // (k = 1 .. dynres_count()). Valid only during the callback.
    struct Rows {
        const float* data = nullptr;
        std::size_t stride = 0;  // floats from one row to the next
        std::size_t count = 0;   // rows
        const float* row(std::size_t i) const { return data + i * stride; }
        float time(std::size_t i) const { return data[i * stride]; }
        float value(std::size_t i, int k) const { return data[i * stride + k]; }
    };
    using RowSink = std::function<void(const Rows&)>;

    SeriesReader();
    ~SeriesReader();
    SeriesReader(SeriesReader&&) noexcept;
    SeriesReader& operator=(SeriesReader&&) noexcept;
    SeriesReader(const SeriesReader&) = delete;
    SeriesReader& operator=(const SeriesReader&) = delete;

    // Opens and checks the file (a reader may be opened again on another
    // file). False with error() set when the file cannot be read.
    bool open(const std::filesystem::path& path);
    bool is_open() const { return problem_ == Problem::None; }
    Problem problem() const { return problem_; }
    // One line, without the file name, for example "truncated: the record of
    // step 21 ends beyond the end of the file (30208 bytes)".
    const std::string& error() const { return error_; }

    int dynres_count() const { return ndynres_; }
    // Labels as the classic listing shows them; labels()[k - 1] is DynRes k.
    const std::vector<std::string>& labels() const { return labels_; }
    const std::string& label(int k) const { return labels_.at(static_cast<std::size_t>(k - 1)); }
    // Result records read (LSTSTO) and time steps per record (1 without packing).
    std::int64_t records() const { return records_; }
    int steps_per_record() const { return static_cast<int>(slots_); }

    // Steps and first and last time. Without packing this reads two records;
    // with packing it scans the times of all records once (then cached).
    bool summary(Summary& out);

    // The times and the DynRes `dynres` (numbers 1 .. dynres_count(), any
    // order, repeats allowed) inside the window, in one streaming pass. A
    // number outside 1 .. dynres_count() is refused (error(), Problem::None
    // stays, returns false) before anything is read.
    bool read(std::span<const int> dynres, Window window, Series& out,
              ReadBuffers* buffers = nullptr);

    // Calls sink for each run of steps of the window, in step order. The
    // reads go through `buffers` when given (else through buffers of this
    // call).
    bool stream(Window window, const RowSink& sink, ReadBuffers* buffers = nullptr);

    // The number of samples of the window when the stored times increase
    // step by step, found from a few times (a binary search of the records);
    // nullopt when it cannot be told cheaply (packed records) or a read
    // failed (error() then tells why). A stream of the window gives this
    // number whenever the times increase; callers that depend on it check
    // the count they stream.
    std::optional<std::int64_t> count_hint(Window window);

    // Direct reads of the whole series, for files with one time step per
    // record (steps_per_record() == 1): the samples a read of the whole
    // series gives (the window Window{}), and steps [from, from + n) of them
    // read straight into t[0 .. n) and x (n rows of `count` values: DynRes
    // first .. first + count - 1) by scatter reads, without a read buffer.
    // read_steps may run on several threads at once for different steps; it
    // changes nothing in the reader. Returns 0, or the status of a failed
    // read for read_status_text (the reader stays usable).
    std::optional<std::int64_t> direct_count() const;
    int read_steps(std::int64_t from, std::int64_t n, int first, int count, float* t,
                   float* x) const;
    // The message of a status read_steps returned.
    static std::string read_status_text(int status);

    // The single-precision bounds of a window: t inside when lo <= t <= hi.
    static float lower_bound_of(double first);
    static float upper_bound_of(double last);

  private:
    struct Run {
        std::int64_t first_step = 0;  // 0-based index of the record's step
        std::int64_t count = 0;       // records in the run
        std::int64_t address = 0;     // record number of the first data area
        std::int64_t distance = 0;    // records from one data area to the next
    };

    bool fail(Problem p, std::string text);
    bool read_at(std::int64_t offset, std::span<std::byte> buf);
    // fail() for the status of a failed read (an errno, or the end of the file).
    bool read_failed(int status);
    bool read_words(std::int64_t record, std::span<std::int32_t> words);
    void close_file();

    // File.
    int fd_ = -1;
    std::int64_t file_size_ = 0;
    bool swap_ = false;
    Problem problem_ = Problem::NotOpen;
    std::string error_ = "no file opened";

    // Layout.
    int ndynres_ = 0;
    std::int64_t records_ = 0;       // LSTSTO: DYNRES records to read
    std::int64_t slots_ = 1;         // time steps per record
    std::int64_t capacity_ = 0;      // most time steps taken
    std::int64_t record_words_ = 0;  // catalogued DYNRES length
    std::int64_t record_span_ = 0;   // records of one data area
    std::vector<Run> runs_;
    std::vector<std::string> labels_;

    bool have_summary_ = false;
    Summary summary_;
};

}  // namespace reader
