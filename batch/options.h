// The option values of the batch commands: DynRes lists, time windows,
// shards, sign conventions and moment definitions.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/stats.h"
#include "batch/source.h"

namespace batch {

// A bad option value; the text says what is wrong.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// s without the blanks and tabs at either end.
std::string trim(std::string_view s);

// Calls item() for every item of the comma-separated option values, in order,
// with the blanks and tabs around it removed. Throws UsageError ("empty item
// in the <what> list '<value>'") on reaching an empty item.
void for_each_item(std::span<const std::string> values, std::string_view what,
                   const std::function<void(const std::string& item)>& item);

// One item of a DynRes list: `all`, a number or range `a-b`, or a label
// pattern (case-insensitive glob with * ? and [...]).
struct ChannelItem {
    enum class Kind { all, range, pattern };
    Kind kind = Kind::all;
    std::int32_t from = 0;
    std::int32_t to = 0;
    std::string pattern;
};

struct ChannelList {
    std::vector<ChannelItem> items;  // empty: all
};

// Parses the values of every -c option: comma-separated items. Throws
// UsageError for an empty item, a number below 1 or a range a-b with b < a.
ChannelList parse_channels(std::span<const std::string> values);

// The DynRes numbers of a list in one file: in the order of the items, each
// number once. Returns false with the reason when a number is above the
// file's count or a pattern matches no label.
bool resolve_channels(const ChannelList& list, const FileContents& file,
                      std::vector<std::int32_t>& numbers, std::string& error);

// The two DynRes of the vector command: exactly two items, each one number
// or a pattern (a range of two numbers counts as both). Throws UsageError.
ChannelList vector_pair(const ChannelList& list);

// Case-insensitive glob match of the whole text, character by character:
// both are read as UTF-8, a byte that is not as Latin-1 (code_points()); the
// case of ASCII and Latin-1 letters is ignored.
bool glob_match(std::string_view pattern, std::string_view text);

// "T0:T1" with either end empty. Throws UsageError for missing colon, a
// number that does not read in full, a value that is not finite, or T0 > T1.
Window parse_window(std::string_view text);

struct Shard {
    std::int32_t k = 1;
    std::int32_t n = 1;
    bool given = false;         // --shard was on the command line
    bool by_size = false;       // --shard-by size
    std::vector<char> members;  // by size: members[p-1] != 0 for the files taken
    // Does the file at the 1-based position p belong to the shard?
    bool takes(std::size_t p) const {
        if (by_size) return p >= 1 && p <= members.size() && members[p - 1] != 0;
        return static_cast<std::int64_t>((p - 1) % static_cast<std::size_t>(n)) == k - 1;
    }
};

// The files of shard K/N by size: the files in the order of decreasing size
// (equal sizes in list order) each go to the shard with the fewest bytes so
// far (equal totals: the lowest K). A file whose size cannot be read counts
// as 0 bytes. Gives members[p-1] != 0 for the files of shard k.
std::vector<char> shard_by_size(std::span<const std::uint64_t> sizes, std::int32_t k,
                                std::int32_t n);

// "K/N" with 1 <= K <= N. Throws UsageError.
Shard parse_shard(std::string_view text);

// The classic sign conventions: max 1, min -1, abs 0, signed -2.
using analysis::Sign;
Sign parse_sign(std::string_view text);
std::string_view sign_name(Sign s);

using analysis::Moments;
Moments parse_moments(std::string_view text);

// Positive job count (1 to 1024).
std::int32_t parse_jobs(std::string_view text);

}  // namespace batch
