// Whether the dialogue and the batch commands agree on what a dyn file holds:
// operation 3 with ALL and the blank window (0 to 1.0E35) against the
// statistics of the batch commands in the window 0:1e35. Either both refuse
// the file, or both find no sample, or both give the same n, maximum,
// minimum, mean and standard deviation to the digits the dialogue prints
// (1PE12.4). Used by the differential test and the dyn_file fuzz target.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/fmt.h"
#include "io/text.h"

namespace agreement {

// One DynRes: the count and the printed statistics.
struct Stats {
    std::int64_t n = 0;
    std::string max, min, mean, std;
    // The batch commands: the window's samples, with those that are no
    // finite number (left out of n and every figure); -1 when not known.
    std::int64_t samples = -1;
};

struct Outcome {
    enum class Kind {
        Refused,    // the file was not read
        NoSample,   // read, but nothing in the window
        Read,       // stats holds one entry per DynRes
        Undecided,  // the dialogue's work array was too small: no verdict on the file
    };
    Kind kind = Kind::Refused;
    std::vector<Stats> stats;
};

inline std::string printed(double v) {
    return std::string(io::trim(io::fmt::E(v, 12, 4)));
}

// The outcome of operation 3 with ALL from the dialogue's console text and
// whether it completed.
inline Outcome from_dialogue(std::string_view console, bool completed) {
    Outcome o;
    if (!completed) {
        o.kind = console.find("Insufficient space for array") != std::string_view::npos
                     ? Outcome::Kind::Undecided
                     : Outcome::Kind::Refused;
        return o;
    }
    const auto field = [](std::string_view line) {
        return std::string(io::trim(line.substr(std::min<std::size_t>(18, line.size()), 12)));
    };
    std::size_t at = 0;
    while (at < console.size()) {
        std::size_t end = console.find('\n', at);
        if (end == std::string_view::npos) end = console.size();
        const std::string_view line = console.substr(at, end - at);
        at = end + 1;
        if (line.starts_with(" nTS found      : ")) {
            o.stats.emplace_back();
            o.stats.back().n = std::strtoll(field(line).c_str(), nullptr, 10);
        } else if (o.stats.empty()) {
            continue;
        } else if (line.starts_with(" Maximum        : ")) {
            o.stats.back().max = field(line);
        } else if (line.starts_with(" Minimum        : ")) {
            o.stats.back().min = field(line);
        } else if (line.starts_with(" Mean           : ")) {
            o.stats.back().mean = field(line);
        } else if (line.starts_with(" Std Dev        : ")) {
            o.stats.back().std = field(line);
        }
    }
    // Every DynRes sees the same samples: no sample in one is none in all.
    o.kind =
        !o.stats.empty() && o.stats.front().n == 0 ? Outcome::Kind::NoSample : Outcome::Kind::Read;
    if (o.kind == Outcome::Kind::NoSample) o.stats.clear();
    return o;
}

// The batch statistics of one DynRes as the dialogue would print them (a
// standard deviation without value, n < 2, prints as 0).
inline Stats batch_stats(std::int64_t n, double max, double min, double mean, double std,
                         std::int64_t samples = -1) {
    return {n, printed(max), printed(min), printed(mean), printed(std), samples};
}

// Empty when the outcomes agree, else what differs.
inline std::string disagreement(const Outcome& dialogue, const Outcome& batch) {
    using Kind = Outcome::Kind;
    const auto name = [](Kind k) {
        switch (k) {
            case Kind::Refused:
                return "refused";
            case Kind::NoSample:
                return "no sample";
            case Kind::Read:
                return "read";
            case Kind::Undecided:
                return "undecided";
        }
        return "?";
    };
    if (dialogue.kind == Kind::Undecided) return {};
    if (dialogue.kind != batch.kind)
        return std::string("dialogue ") + name(dialogue.kind) + ", batch " + name(batch.kind);
    if (dialogue.stats.size() != batch.stats.size()) {
        return "DynRes: dialogue " + std::to_string(dialogue.stats.size()) + ", batch " +
               std::to_string(batch.stats.size());
    }
    for (std::size_t k = 0; k < dialogue.stats.size(); ++k) {
        const Stats& a = dialogue.stats[k];
        const Stats& b = batch.stats[k];
        const std::string at = "DynRes " + std::to_string(k + 1) + ": ";
        // Samples that are no finite number: the dialogue takes them into its
        // figures, the batch commands leave them out; the same samples read.
        if (b.samples >= 0 && b.samples != b.n) {
            if (a.n != b.samples)
                return at + "n " + std::to_string(a.n) + " against " + std::to_string(b.samples) +
                       " samples";
            continue;
        }
        if (a.n != b.n) return at + "n " + std::to_string(a.n) + " against " + std::to_string(b.n);
        const std::pair<const std::string*, const std::string*> pairs[] = {
            {&a.max, &b.max}, {&a.min, &b.min}, {&a.mean, &b.mean}, {&a.std, &b.std}};
        const char* names[] = {"max ", "min ", "mean ", "std "};
        for (std::size_t j = 0; j < 4; ++j) {
            if (*pairs[j].first != *pairs[j].second)
                return at + names[j] + *pairs[j].first + " against " + *pairs[j].second;
        }
    }
    return {};
}

}  // namespace agreement
