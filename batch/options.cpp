#include "batch/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <numeric>

#include "batch/label_text.h"

namespace batch {

std::string trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

void for_each_item(std::span<const std::string> values, std::string_view what,
                   const std::function<void(const std::string& item)>& item) {
    for (const std::string& value : values) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = value.find(',', start);
            const std::string text = trim(std::string_view(value).substr(
                start, comma == std::string::npos ? std::string::npos : comma - start));
            if (text.empty()) {
                throw UsageError("empty item in the " + std::string(what) + " list '" + value +
                                 "'");
            }
            item(text);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
}

namespace {

bool all_digits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::int32_t channel_number(std::string_view s, std::string_view item) {
    std::int32_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size())
        throw UsageError("DynRes number out of range in '" + std::string(item) + "'");
    if (v < 1) throw UsageError("DynRes numbers start at 1: '" + std::string(item) + "'");
    return v;
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Lower case of the ASCII and Latin-1 letters (U+00C0 to U+00DE but U+00D7).
char32_t fold(char32_t c) {
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    return c;
}

// Matches a bracket expression at p[i] == '['; advances i past it. Returns
// -1 when the bracket is not closed (then '[' is an ordinary character).
int bracket(std::u32string_view p, std::size_t& i, char32_t c) {
    std::size_t j = i + 1;
    bool negate = false;
    if (j < p.size() && (p[j] == U'!' || p[j] == U'^')) {
        negate = true;
        ++j;
    }
    bool match = false;
    bool first = true;
    while (j < p.size() && (p[j] != U']' || first)) {
        first = false;
        const char32_t a = fold(p[j]);
        char32_t b = a;
        if (j + 2 < p.size() && p[j + 1] == U'-' && p[j + 2] != U']') {
            b = fold(p[j + 2]);
            j += 2;
        }
        if (c >= a && c <= b) match = true;
        ++j;
    }
    if (j >= p.size()) return -1;
    i = j + 1;
    return match != negate ? 1 : 0;
}

}  // namespace

ChannelList parse_channels(std::span<const std::string> values) {
    ChannelList list;
    for_each_item(values, "DynRes", [&](const std::string& item) {
        ChannelItem c;
        const auto dash = item.find('-');
        std::string low = item;
        std::transform(low.begin(), low.end(), low.begin(), lower);
        if (low == "all") {
            c.kind = ChannelItem::Kind::all;
        } else if (all_digits(item)) {
            c.kind = ChannelItem::Kind::range;
            c.from = c.to = channel_number(item, item);
        } else if (dash != std::string::npos && dash > 0 &&
                   all_digits(trim(std::string_view(item).substr(0, dash))) &&
                   all_digits(trim(std::string_view(item).substr(dash + 1)))) {
            c.kind = ChannelItem::Kind::range;
            c.from = channel_number(trim(std::string_view(item).substr(0, dash)), item);
            c.to = channel_number(trim(std::string_view(item).substr(dash + 1)), item);
            if (c.to < c.from) throw UsageError("range '" + item + "' runs backwards");
        } else {
            c.kind = ChannelItem::Kind::pattern;
            c.pattern = item;
        }
        list.items.push_back(std::move(c));
    });
    return list;
}

bool glob_match(std::string_view pattern, std::string_view text) {
    // Character by character (a label is UTF-8, a typed pattern may be too);
    // iterative matching with one backtrack point for the last '*'.
    const std::u32string p = code_points(pattern);
    const std::u32string t = code_points(text);
    std::size_t i = 0, j = 0;
    std::size_t star = std::u32string::npos, mark = 0;
    while (j < t.size()) {
        const char32_t c = fold(t[j]);
        if (i < p.size() && p[i] == U'*') {
            star = i++;
            mark = j;
            continue;
        }
        if (i < p.size()) {
            if (p[i] == U'?') {
                ++i;
                ++j;
                continue;
            }
            if (p[i] == U'[') {
                std::size_t k = i;
                const int m = bracket(p, k, c);
                if (m == 1) {
                    i = k;
                    ++j;
                    continue;
                }
                if (m == -1 && c == U'[') {
                    ++i;
                    ++j;
                    continue;
                }
            } else if (fold(p[i]) == c) {
                ++i;
                ++j;
                continue;
            }
        }
        if (star == std::u32string::npos) return false;
        i = star + 1;
        j = ++mark;
    }
    while (i < p.size() && p[i] == U'*') ++i;
    return i == p.size();
}

bool resolve_channels(const ChannelList& list, const FileContents& file,
                      std::vector<std::int32_t>& numbers, std::string& error) {
    numbers.clear();
    const auto n = static_cast<std::int32_t>(file.dynres.size());
    std::vector<bool> taken(file.dynres.size() + 1, false);
    const auto take = [&](std::int32_t k) {
        if (!taken[static_cast<std::size_t>(k)]) {
            taken[static_cast<std::size_t>(k)] = true;
            numbers.push_back(k);
        }
    };
    if (list.items.empty()) {
        for (std::int32_t k = 1; k <= n; ++k) take(k);
        return true;
    }
    for (const ChannelItem& c : list.items) {
        switch (c.kind) {
            case ChannelItem::Kind::all:
                for (std::int32_t k = 1; k <= n; ++k) take(k);
                break;
            case ChannelItem::Kind::range:
                if (c.to > n) {
                    error = "no DynRes " + std::to_string(std::max(c.from, n + 1)) +
                            " (the file has " + std::to_string(n) + ")";
                    return false;
                }
                for (std::int32_t k = c.from; k <= c.to; ++k) take(k);
                break;
            case ChannelItem::Kind::pattern: {
                bool any = false;
                for (const DynResInfo& d : file.dynres) {
                    if (glob_match(c.pattern, d.label)) {
                        any = true;
                        take(d.number);
                    }
                }
                if (!any) {
                    error = "no DynRes label matches '" + c.pattern + "'";
                    return false;
                }
                break;
            }
        }
    }
    return true;
}

Window parse_window(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos)
        throw UsageError("window '" + std::string(text) +
                         "' is not T0:T1 (either end may be empty)");
    Window w;
    const auto end_value = [&](std::string_view s, float& out) {
        const std::string t = trim(s);
        if (t.empty()) return;
        double v = 0;
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
        if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v))
            throw UsageError("window '" + std::string(text) + "': '" + t + "' is not a number");
        out = static_cast<float>(v);
    };
    end_value(text.substr(0, colon), w.first);
    end_value(text.substr(colon + 1), w.last);
    if (w.first > w.last)
        throw UsageError("window '" + std::string(text) + "' ends before it starts");
    return w;
}

Shard parse_shard(std::string_view text) {
    const auto slash = text.find('/');
    Shard s;
    const auto num = [&](std::string_view part, std::int32_t& out) {
        const std::string t = trim(part);
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
        return !t.empty() && ec == std::errc() && end == t.data() + t.size();
    };
    if (slash == std::string_view::npos || !num(text.substr(0, slash), s.k) ||
        !num(text.substr(slash + 1), s.n) || s.n < 1 || s.k < 1 || s.k > s.n)
        throw UsageError("shard '" + std::string(text) + "' is not K/N with 1 <= K <= N");
    return s;
}

std::vector<char> shard_by_size(std::span<const std::uint64_t> sizes, std::int32_t k,
                                std::int32_t n) {
    std::vector<std::size_t> order(sizes.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
    std::vector<std::uint64_t> load(static_cast<std::size_t>(std::max(n, 1)), 0);
    std::vector<char> members(sizes.size(), 0);
    for (const std::size_t i : order) {
        const auto least =
            static_cast<std::size_t>(std::min_element(load.begin(), load.end()) - load.begin());
        load[least] += sizes[i];
        if (least == static_cast<std::size_t>(k - 1)) members[i] = 1;
    }
    return members;
}

Sign parse_sign(std::string_view text) {
    if (text == "max" || text == "1") return Sign::max;
    if (text == "min" || text == "-1") return Sign::min;
    if (text == "abs" || text == "0") return Sign::abs;
    if (text == "signed" || text == "-2") return Sign::signed_;
    throw UsageError("sign '" + std::string(text) + "' is not max, min, abs or signed");
}

std::string_view sign_name(Sign s) {
    switch (s) {
        case Sign::max:
            return "max";
        case Sign::min:
            return "min";
        case Sign::abs:
            return "abs";
        case Sign::signed_:
            return "signed";
    }
    return "max";
}

Moments parse_moments(std::string_view text) {
    if (text == "sample") return Moments::sample;
    if (text == "population") return Moments::population;
    throw UsageError("moments '" + std::string(text) + "' is not sample or population");
}

std::int32_t parse_jobs(std::string_view text) {
    std::int32_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < 1 || v > 1024)
        throw UsageError("jobs '" + std::string(text) + "' is not a number from 1 to 1024");
    return v;
}

ChannelList vector_pair(const ChannelList& list) {
    ChannelList pair;
    for (const ChannelItem& c : list.items) {
        if (c.kind == ChannelItem::Kind::all || pair.items.size() >= 2 ||
            (c.kind == ChannelItem::Kind::range &&
             std::int64_t{c.to} - c.from + 1 > 2 - static_cast<std::int64_t>(pair.items.size())))
            throw UsageError("vector needs exactly two DynRes: -c A,B");
        if (c.kind == ChannelItem::Kind::pattern) {
            pair.items.push_back(c);
            continue;
        }
        for (std::int32_t k = c.from; k <= c.to; ++k) {
            ChannelItem one;
            one.kind = ChannelItem::Kind::range;
            one.from = one.to = k;
            pair.items.push_back(one);
        }
    }
    if (pair.items.size() != 2) throw UsageError("vector needs exactly two DynRes: -c A,B");
    return pair;
}

}  // namespace batch
