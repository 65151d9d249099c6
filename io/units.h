// Numbered units: the platform layer's file table.
//
// Unit 5 is the keyboard (an input stream), unit 6 the console (an output
// stream). Units 1..99 are connected to files by name, as formatted
// sequential text files or as direct-access binary files of fixed-length
// records. A text unit that is written without having been opened is
// connected on first use to the file "fort.N" (created or overwritten),
// unless "fort.N" is one of the files this run reads or writes (see protect).
//
// Every text unit remembers its first failed write, flush or close (and a
// "fort.N" that could not be created or was refused): failures() lists them,
// also after the unit is closed, so that a run can be ended as failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/listin.h"

namespace io {

inline constexpr int kKeyboard = 5;
inline constexpr int kConsole = 6;

enum class OpenStatus { Unknown, Old, New };

class Units {
  public:
    // Relative file names are resolved against dir (the current directory
    // when dir is empty).
    Units(std::istream& keyboard, std::ostream& console, std::filesystem::path dir = {});
    ~Units();
    Units(const Units&) = delete;
    Units& operator=(const Units&) = delete;

    // ---- formatted sequential text ----

    // Connects a text file. Unknown: created, or rewritten from its start
    // with the old content gone; Old: must exist; New: must not exist.
    // Returns 0 or a positive system error code. An open unit is closed first.
    int open_text(int unit, std::string_view name, OpenStatus status);

    // Writes one whole record (a line feed is appended). Line feeds inside
    // the record split it into several lines. Writing to unit 6 goes to the
    // console; to a unit that is not connected, to "fort.N".
    // Units below 1 or above 99 (other than 6) are ignored.
    void write(int unit, std::string_view record);

    // Writes text without ending the line and flushes the unit.
    void prompt(int unit, std::string_view text);

    // Reads one record; the line end (and a carriage return before it) is
    // removed. A line longer than kMaxLineLength is not read on: the read
    // fails with kIostatLineTooLong (at most that many characters are held).
    // Returns 0, kIostatEnd or an error status.
    int read_line(int unit, std::string& line);

    // Lines read so far on the unit (the keyboard for unit 5), counting the
    // line that failed: after a failed read, the number of that line.
    std::int64_t lines_read(int unit) const;

    // The status of a failed read on the unit in words; a line that is too
    // long is named by its number.
    std::string read_error_text(int unit, int iostat) const;

    // List-directed read of the items, starting on a new record.
    int read_list(int unit, std::span<const ListItem> items);

    // ---- direct access ----

    // Connects a direct-access binary file with records of reclen bytes.
    // Returns 0 or a positive system error code.
    int open_direct(int unit, std::string_view name, OpenStatus status, int reclen);

    struct Transfer {
        int iostat = 0;         // 0, or the status of the failing transfer
        std::size_t bytes = 0;  // bytes transferred before the failure
    };

    // Reads buf.size() bytes starting at the beginning of record rec (1-based),
    // running over consecutive records. A record that does not hold the
    // bytes asked for fails with kIostatShortRecord.
    Transfer read_direct(int unit, std::int64_t rec, std::span<std::byte> buf);

    // Writes buf.size() bytes starting at the beginning of record rec.
    Transfer write_direct(int unit, std::int64_t rec, std::span<const std::byte> buf);

    // Size in bytes of the direct-access file on unit; -1 when the unit is
    // not connected to one or the size cannot be found.
    std::int64_t direct_size(int unit) const;

    // Test hook: the next `after` direct-access writes succeed, the one after
    // them fails with `iostat` (any unit). A negative `after` disables it.
    void inject_write_failure(int after, int iostat);

    // ---- any kind ----

    // Closes the unit (flushing a text file). Closing an unconnected unit is
    // no error. A failed flush or close is remembered (failures()).
    void close(int unit);

    // Flushes every connected text unit, remembering failures.
    void flush_all();

    // ---- files of this run and failures ----

    // A file this run reads or writes, as registered by protect().
    struct Protected {
        std::string name;  // the name as given
        std::string role;  // what it is to the run, e.g. "dyn file"
    };

    // Registers a file that this run reads or writes: no unit is connected
    // to it by default ("fort.N"). Names that resolve to the same file (by
    // path, symbolic or hard link) are the same file.
    void protect(std::string_view name, std::string_view role);

    // The registered file that `name` is, if any.
    std::optional<Protected> protected_file(std::string_view name) const;

    // The registered file that the default file "fort.N" of the unit is, if
    // any: connecting the unit by default would overwrite it.
    std::optional<Protected> default_clash(int unit) const;

    // The name of the file a unit is connected to by default: "fort.N".
    static std::string default_name(int unit);

    // A failed write, flush, close or default connection of a text unit.
    struct Failure {
        int unit = 0;
        std::string name;                // the file name as connected
        int error = 0;                   // errno value, or kIostatProtected
        std::optional<Protected> clash;  // for kIostatProtected: the file it is
        bool create = false;             // the default file could not be created
    };

    // Every unit's first failure, in the order they happened.
    const std::vector<Failure>& failures() const { return failures_; }

    // True when two names resolve to the same file: the same existing file
    // (device and inode), or the same path when either does not exist.
    bool same_file(std::string_view a, std::string_view b) const;

    bool is_open(int unit) const;

    // The path a file name resolves to.
    std::filesystem::path resolve(std::string_view name) const;

  private:
    struct Text;
    struct Direct;
    Text* text_for_write(int unit);
    void fail(int unit, const std::string& name, int error,
              std::optional<Protected> clash = std::nullopt, bool create = false);
    void check(int unit, Text& t, bool ok);
    bool close_text(int unit, Text& t);

    std::istream& keyboard_;
    std::ostream& console_;
    std::filesystem::path dir_;
    std::map<int, std::unique_ptr<Text>> text_;
    std::map<int, std::unique_ptr<Direct>> direct_;
    int fail_after_ = -1;
    int fail_iostat_ = 0;
    std::int64_t keyboard_lines_ = 0;
    std::vector<std::pair<Protected, std::filesystem::path>> protected_;
    std::vector<Failure> failures_;
    std::set<int> refused_;  // units whose default file was refused or failed to open
};

// Closes a unit however the scope it guards is left.
class UnitCloser {
  public:
    UnitCloser(Units& units, int unit) : units_(units), unit_(unit) {}
    ~UnitCloser() { units_.close(unit_); }
    UnitCloser(const UnitCloser&) = delete;
    UnitCloser& operator=(const UnitCloser&) = delete;

  private:
    Units& units_;
    int unit_;
};

// Writes `rows` records of `width` characters to the unit: record r (from
// 0) is made by format(r, out), which fills out[0 .. width-1]. Many rows are
// formatted in blocks on two cores (format must then only read shared data)
// and written in order, in blocks of about 64 KiB: the same file as writing
// the records one by one. An exception thrown by format comes out here.
void write_rows(Units& units, int unit, std::int64_t rows, std::size_t width,
                const std::function<void(std::int64_t row, char* out)>& format);

}  // namespace io
