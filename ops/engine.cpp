#include "ops/engine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "dms/dms.h"
#include "io/two_cores.h"
#include "raflib/layout.h"
#include "raflib/state.h"
#include "reader/record_runs.h"

namespace ops {

using reader::cut_runs;
using reader::extend_last_run;
using reader::RunRead;
using reader::worth_two_cores;

namespace {

constexpr std::int64_t kRecordBytes = raflib::kRecordBytes;
constexpr std::int64_t kRecordWords = raflib::kRecordWords;
constexpr std::int64_t kEntries = raflib::kPageEntries;
constexpr std::int64_t kPageWords = raflib::kPageWords;
constexpr std::size_t kBufferWords = std::size_t{1} << 16;  // 256 KiB per read
constexpr std::int64_t kMfpChunkPages = 256;                // 256 KiB of MFP per read
constexpr float kEmptySlotTime = 1.0E-10f;
constexpr std::int32_t kTypeReal = 2;
constexpr std::int32_t kReadLocked = 2;
constexpr std::size_t kTailPages = raflib::kCachePages;  // MFP pages the cache keeps

float swapped(float f) {
    return std::bit_cast<float>(__builtin_bswap32(std::bit_cast<std::uint32_t>(f)));
}

}  // namespace

Engine::Gathered Engine::gather(store::Store& st, dms::WorkArray& w, const Layout& layout,
                                std::int32_t ifile, std::int32_t iout, std::int64_t& m) {
    active_ = false;
    bookings_only_ = false;
    runs_.clear();
    filled_.clear();
    if (!enabled_) return Gathered::PerStep;
    layout_ = layout;
    unit_ = ifile;
    const std::int64_t steps = layout.records;
    const std::int64_t used = layout.slots * (layout.ndynres + 1);

    const auto take_over = [&](std::int64_t found) {
        found_ = found;
        m = found;
        filled_.assign(static_cast<std::size_t>(layout.ndynres + 1), false);
        active_ = true;
        return Gathered::Fast;
    };
    if (steps == 0) return take_over(0);

    // DYNRES as the recall of step 1 booked it: the per-step reads re-use
    // that storage when its length is the catalogued one.
    const std::int32_t len = dms::DMSINQ(w, "DYNRES", 1);
    if (dms::DMSINQ(w, "DYNRES", 2) != 1 || dms::DMSINQ(w, "DYNRES", 3) <= 0 || len < used)
        return Gathered::PerStep;
    std::int32_t jerr = 0;
    constexpr std::int32_t kSilent = 0;
    store::Keys first, second, final;
    store::ARKEYS(st, w, "DYNRES", 1, first, kSilent, jerr);
    store::ARKEYS(st, w, "DYNRES", static_cast<std::int32_t>(std::min<std::int64_t>(steps, 2)),
                  second, kSilent, jerr);
    store::ARKEYS(st, w, "DYNRES", static_cast<std::int32_t>(steps), final, kSilent, jerr);
    if (jerr != 0 || first.length != len || first.itype != kTypeReal || first.ireal != 0)
        return Gathered::PerStep;
    const std::int64_t key1 = first.key;
    const std::int64_t stride = second.key - first.key;
    // Steps that share one record are refused by the per-step loop.
    if (key1 <= 0 || !gathering::check_keys(layout, first.key, second.key).ok() || final.key <= 0 ||
        key1 + (steps - 1) * stride != final.key)
        return Gathered::PerStep;

    // The file as RAFLIB holds it.
    raflib::Raflib& raf = st.raf;
    std::int32_t f = 0;
    for (std::int32_t k = 1; k <= raflib::kMaxFiles && f == 0; ++k)
        if (raf.slot(k).unit == ifile) f = k;
    if (f == 0) return Gathered::PerStep;
    const raflib::Slot& s = raf.slot(f);
    if (s.lock == kReadLocked || final.key > s.mfpmax) return Gathered::PerStep;
    for (const std::int32_t d : s.dirty)
        if (d != 0) return Gathered::PerStep;
    const raflib::ByteOrder order =
        s.computer_type == raf.machine.type
            ? raflib::ByteOrder::Same
            : raflib::byte_order_rule(raf.machine.type, s.computer_type);
    if (order == raflib::ByteOrder::Refused) return Gathered::PerStep;
    swap_ = order == raflib::ByteOrder::Swap;
    const std::int64_t size = st.units.direct_size(ifile);
    if (size < 0) return Gathered::PerStep;
    record_words_ = len;
    record_span_ = std::max<std::int64_t>(1, raflib::records_for(len));

    // Every step's MFP entry, read page range by page range.
    std::vector<std::int32_t> pages;
    std::int64_t first_page = 0, last_page = -1;
    const std::int64_t end_page = (final.key - 1) / kEntries + 1;
    for (std::int64_t d = 1; d <= steps; ++d) {
        const std::int64_t a = key1 + (d - 1) * stride;
        const std::int64_t page = (a - 1) / kEntries + 1;
        if (page > last_page) {
            first_page = page;
            last_page = std::min(end_page, page + kMfpChunkPages - 1);
            pages.assign(static_cast<std::size_t>((last_page - first_page + 1) * kPageWords), 0);
            const auto t = st.units.read_direct(ifile, s.mfpadr + 2 * (first_page - 1),
                                                std::as_writable_bytes(std::span(pages)));
            if (t.iostat != 0) return Gathered::PerStep;
            if (swap_)
                for (auto& x : pages)
                    x = static_cast<std::int32_t>(__builtin_bswap32(static_cast<std::uint32_t>(x)));
        }
        const auto at =
            static_cast<std::size_t>((page - first_page) * kPageWords + ((a - 1) % kEntries) * 4);
        const std::int64_t address = pages[at];
        if (address <= 0 || pages[at + 1] != kTypeReal || len < pages[at + 3] ||
            len > pages[at + 2] || (address - 1) * kRecordBytes + std::int64_t{len} * 4 > size) {
            return Gathered::PerStep;
        }
        if (extend_last_run(runs_, address, record_span_)) continue;
        runs_.push_back({1, address, record_span_});
    }

    // Steps found: one per record without packing; with packing the slot
    // times decide.
    std::int64_t found = std::min(steps, layout.capacity);
    if (layout.slots > 1) {
        found = 0;
        if (!each_step(st.units, [&](const float*) {
                ++found;
                return true;
            })) {
            runs_.clear();
            return Gathered::PerStep;
        }
    }

    // The last steps through the store, as the per-step loop ends: the last
    // step on each of the ten MFP pages visited last, in order, leaves the
    // page cache ranked as the whole loop leaves it, and the array context,
    // the access state and the DYNRES storage as its last step.
    std::vector<std::int64_t> tail{steps};
    const auto page_of = [&](std::int64_t d) { return (key1 + (d - 1) * stride - 1) / kEntries; };
    for (std::int64_t d = steps - 1; d >= 1 && tail.size() < kTailPages; --d)
        if (page_of(d) != page_of(tail.back())) tail.push_back(d);
    for (auto it = tail.rbegin(); it != tail.rend(); ++it) {
        std::int32_t pdyn = 0;
        store::ARREC1(st, w, "DYNRES", pdyn, static_cast<std::int32_t>(*it), ifile, iout, jerr);
        if (jerr != 0) return Gathered::Failed;
    }
    return take_over(found);
}

template <class Visit>
bool Engine::each_step(io::Units& units, Visit&& visit) {
    const auto slot_words = static_cast<std::size_t>(layout_.ndynres + 1);
    const std::int64_t used = layout_.slots * static_cast<std::int64_t>(slot_words);
    const auto span_words = static_cast<std::size_t>(record_span_ * kRecordWords);
    const std::size_t buffer_words = std::max(kBufferWords, span_words);
    const std::vector<RunRead> pieces = cut_runs(runs_, buffer_words, span_words, record_words_);
    // Large pieces are read on two cores: a piece is only read, so the order
    // of the reads does not matter.
    io::TwoCores<std::vector<float>> reader(
        pieces.size(),
        [&](std::size_t c, std::vector<float>& buffer) {
            const RunRead& p = pieces[c];
            return units
                       .read_direct(unit_, p.record,
                                    std::as_writable_bytes(std::span(buffer).first(p.words)))
                       .iostat == 0;
        },
        worth_two_cores(pieces), std::vector<float>(buffer_words));
    std::int64_t taken = 0;
    for (std::size_t c = 0; c < pieces.size(); ++c) {
        std::vector<float>* const buffer = reader.get(c);
        if (buffer == nullptr) return false;
        float* const data = buffer->data();
        for (std::int64_t r = 0; r < pieces[c].count; ++r) {
            float* rec = data + static_cast<std::size_t>(r) * pieces[c].stride;
            if (swap_)
                for (std::int64_t k = 0; k < used; ++k) rec[k] = swapped(rec[k]);
            for (std::int64_t j = 0; j < layout_.slots; ++j) {
                const float* row = rec + static_cast<std::size_t>(j) * slot_words;
                if (j > 0 && row[0] < kEmptySlotTime) break;
                if (taken == layout_.capacity) return true;
                ++taken;
                if (!visit(row)) return true;
            }
        }
        reader.release(c);
    }
    return true;
}

bool Engine::fill(dms::WorkArray& w, io::Units& units, std::span<const std::int32_t> dynres) {
    if (!active_) return true;
    std::vector<std::int64_t> columns;
    if (!filled_[0]) columns.push_back(0);
    for (const std::int32_t k : dynres) {
        if (k < 1 || k > layout_.ndynres) continue;
        if (!filled_[static_cast<std::size_t>(k)] &&
            std::find(columns.begin(), columns.end(), k) == columns.end())
            columns.push_back(k);
    }
    if (columns.empty()) return true;
    const std::int32_t ptr = dms::DMSINQ(w, "ALL_TS", 3);
    const std::int64_t length = dms::DMSINQ(w, "ALL_TS", 1);
    const std::int64_t q = layout_.capacity;
    if (ptr <= 0 || length < q * (layout_.ndynres + 1) || !w.contains(ptr, length)) return false;
    const auto all = w.words(ptr, length);
    std::int64_t i = 0;
    const bool ok = each_step(units, [&](const float* row) {
        for (const std::int64_t k : columns)
            all[static_cast<std::size_t>(i + k * q)] = std::bit_cast<std::int32_t>(row[k]);
        ++i;
        return true;
    });
    if (!ok) return false;
    for (const std::int64_t k : columns) filled_[static_cast<std::size_t>(k)] = true;
    return true;
}

bool Engine::statistics(io::Units& units, std::int32_t from, std::int32_t to, double first,
                        double last, std::int32_t& n, double& tlast, std::vector<Stats>& stats) {
    const auto count = static_cast<std::size_t>(std::max(to - from + 1, 0));
    stats.assign(count, {});
    // The window ends in single precision, as Pektor3_1 compares them.
    const auto lower = static_cast<float>(first);
    const auto upper = static_cast<float>(last);
    std::vector<double> vmax(count), vmin(count), sum(count), x1(count);

    // Pass 1: maximum, minimum and the mean's sum of x(i) * (1/n). The count
    // is not known before the pass: it is taken as every step found, and the
    // pass is repeated with the count found when the window holds fewer.
    std::int32_t guess = static_cast<std::int32_t>(found_);
    std::int32_t got = 0;
    double t_end = tlast;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::fill(vmax.begin(), vmax.end(), -1.0E35);
        std::fill(vmin.begin(), vmin.end(), 1.0E35);
        std::fill(sum.begin(), sum.end(), 0.0);
        const double rn = guess > 0 ? 1.0 / static_cast<double>(guess) : 0.0;
        got = 0;
        t_end = tlast;
        double* const mx = vmax.data();
        double* const mn = vmin.data();
        double* const sm = sum.data();
        const bool ok = each_step(units, [&](const float* row) {
            if (row[0] < lower) return true;
            if (row[0] > upper) return false;
            const double t = row[0];
            const float* v = row + from;
            if (got == 0)
                for (std::size_t k = 0; k < count; ++k) x1[k] = v[k];
            for (std::size_t k = 0; k < count; ++k) {
                const double x = v[k];
                mx[k] = x > mx[k] ? x : mx[k];
                mn[k] = x < mn[k] ? x : mn[k];
                sm[k] += x * rn;
            }
            ++got;
            t_end = t;
            return true;
        });
        if (!ok) return false;
        if (got == guess || got < 2) break;
        guess = got;
    }
    n = got;
    if (got > 0) tlast = t_end;
    for (std::size_t k = 0; k < count; ++k) {
        Stats& s = stats[k];
        s.vmax = vmax[k];
        s.vmin = vmin[k];
        s.mean = got == 0 ? 0.0 : got == 1 ? x1[k] : sum[k];
    }
    if (got < 2) return true;

    // Pass 2: the central moments with the divisor n - 1.
    std::vector<double> s2(count, 0.0), s3(count, 0.0), s4(count, 0.0), mean(count);
    for (std::size_t k = 0; k < count; ++k) mean[k] = stats[k].mean;
    const double r = 1.0 / static_cast<double>(got - 1);
    double* const a2 = s2.data();
    double* const a3 = s3.data();
    double* const a4 = s4.data();
    const double* const mu = mean.data();
    const bool ok = each_step(units, [&](const float* row) {
        if (row[0] < lower) return true;
        if (row[0] > upper) return false;
        const float* v = row + from;
        for (std::size_t k = 0; k < count; ++k) {
            const double d = static_cast<double>(v[k]) - mu[k];
            const double d2 = d * d;
            a2[k] += d2 * r;
            a3[k] += d2 * d * r;
            a4[k] += d2 * d2 * r;
        }
        return true;
    });
    if (!ok) return false;
    for (std::size_t k = 0; k < count; ++k) {
        Stats& s = stats[k];
        s.sdev = std::sqrt(s2[k]);
        const double rs = 1.0 / std::sqrt(s2[k]);
        s.skew = rs * rs * (s3[k] * rs);
        s.kurt = s4[k] / (s2[k] * s2[k]);
    }
    return true;
}

}  // namespace ops
