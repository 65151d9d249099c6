// Numbered units: the platform layer's file table.
//
// Unit 5 is the keyboard (an input stream), unit 6 the console (an output
// stream). Units 1..99 are connected to files by name, as formatted
// sequential text files or as direct-access binary files of fixed-length
// records. A text unit that is written without having been opened is
// connected on first use to the file "fort.N" (created or overwritten).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "io/listin.h"

namespace io {

inline constexpr int kKeyboard = 5;
// Longest record kept by a read; the rest of a longer line is skipped.
inline constexpr std::size_t kMaxRecordLength = 65536;
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

    // Reads one record; the line end is removed and a record longer than
    // kMaxRecordLength is cut there. Returns 0, kIostatEnd or an error status.
    int read_line(int unit, std::string& line);

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
    // no error.
    void close(int unit);

    bool is_open(int unit) const;

    // The path a file name resolves to.
    std::filesystem::path resolve(std::string_view name) const;

  private:
    struct Text;
    struct Direct;
    Text* text_for_write(int unit);

    std::istream& keyboard_;
    std::ostream& console_;
    std::filesystem::path dir_;
    std::map<int, std::unique_ptr<Text>> text_;
    std::map<int, std::unique_ptr<Direct>> direct_;
    int fail_after_ = -1;
    int fail_iostat_ = 0;
};

}  // namespace io
