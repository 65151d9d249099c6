#include "ops/extract.h"

#include <algorithm>
#include <array>
#include <bit>

#include "dms/dms.h"
#include "io/fmt.h"
#include "io/text.h"
#include "ops/common.h"
#include "ops/engine.h"
#include "reader/gathering.h"

namespace ops {

namespace {

constexpr std::size_t kLabelBuffer = 256;  // words of the label buffer, characters of a label
constexpr std::int32_t kBlankCode = 32;
constexpr float kEmptySlotTime = 1.0E-10f;

// Detail line of an extraction message: the text and a number in 10 columns.
void detail(io::Units& units, std::int32_t unit, std::string_view text, std::int64_t value) {
    units.write(unit, "      " + std::string(text) + io::fmt::I(value, 10));
}

// The label words copied into a buffer prefilled with blanks, every run of
// consecutive blank words collapsed into one blank word.
std::array<std::int32_t, kLabelBuffer> collapse(std::span<const std::int32_t> label) {
    std::array<std::int32_t, kLabelBuffer> buf{};
    buf.fill(kBlankCode);
    std::size_t j = 0;
    bool after_blank = false;
    for (const std::int32_t word : label.first(std::min(label.size(), kLabelBuffer))) {
        if (word == kBlankCode) {
            if (after_blank) continue;
            after_blank = true;
        } else {
            after_blank = false;
        }
        buf[j++] = word;
    }
    return buf;
}

// Checks the label width of ICDYNR: at most 256 words per label, and the
// labels 1 .. last inside the array. Reports under `routine`.
bool labels_fit(io::Units& units, std::span<const std::int32_t> icdynr, std::int32_t ncol,
                std::int32_t last, std::string_view routine, std::int32_t unit) {
    if (ncol > static_cast<std::int32_t>(kLabelBuffer)) {
        error_block(units, unit, "*** ERROR IN " + std::string(routine) + " ***");
        detail(units, unit, "Label width nCol above 256 words       :", ncol);
        return false;
    }
    const std::int64_t needed = static_cast<std::int64_t>(last) * std::max(ncol, 0);
    if (needed > static_cast<std::int64_t>(icdynr.size())) {
        error_block(units, unit, "*** ERROR IN " + std::string(routine) + " ***");
        detail(units, unit, "Labels need more words than ICDYNR has :", needed);
        detail(units, unit, "Words in ICDYNR                        :",
               static_cast<std::int64_t>(icdynr.size()));
        return false;
    }
    return true;
}

// The nCol words of label k (1-based) of ICDYNR; callers have checked that they fit.
std::span<const std::int32_t> label_words(std::span<const std::int32_t> icdynr, std::int32_t ncol,
                                          std::int32_t k) {
    if (ncol <= 0) return {};
    return icdynr.subspan(static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(ncol),
                          static_cast<std::size_t>(ncol));
}

float as_float(std::int32_t word) {
    return std::bit_cast<float>(word);
}

}  // namespace

void INT2CH(io::Units& units, std::string& text, std::span<const std::int32_t> words,
            std::int32_t nwords, std::int32_t iout, std::int32_t& ierr, std::int32_t length) {
    const auto len = static_cast<std::size_t>(std::max(length, 0));
    text.assign(len, ' ');
    if (nwords <= 0) {
        units.write(iout, "");
        units.write(iout, "");
        units.write(iout, "   Error in routine *INT2CH*              ");
        units.write(iout, "");
        units.write(iout, "");
        units.write(iout,
                    "   Inpus string has illegal length            :" + io::fmt::I(nwords, 10));
        --ierr;
        return;
    }
    const std::size_t n = std::min({static_cast<std::size_t>(nwords), len, words.size()});
    for (std::size_t i = 0; i < n; ++i) {
        if (words[i] == 0) break;
        text[i] = static_cast<char>(static_cast<unsigned char>(words[i] & 0xFF));
    }
}

void XWRI04_C(io::Units& units, std::span<const std::int32_t> icdynr, std::int32_t ncol,
              std::int32_t k, std::string& label, std::int32_t iout, std::int32_t& ierr) {
    if (iout < 6) return;
    if (k < 1) {
        error_block(units, iout, "*** ERROR IN XWRI04_C ***");
        detail(units, iout, "Illegal DynRes number                  :", k);
        --ierr;
        return;
    }
    if (!labels_fit(units, icdynr, ncol, k, "XWRI04_C", iout)) {
        --ierr;
        return;
    }
    const auto buf = collapse(label_words(icdynr, ncol, k));
    std::string text(kLabelBuffer, ' ');
    std::int32_t jerr = 0;
    INT2CH(units, text, buf, ncol, iout, jerr, static_cast<std::int32_t>(kLabelBuffer));
    if (jerr != 0) {
        error_block(units, iout, "*** ERROR IN XWRI04_C ***");
        --ierr;
        return;
    }
    const std::size_t n = io::trim_right(text).size();
    if (label.size() < n) label.resize(n, ' ');
    label.replace(0, n, text, 0, n);
}

void XWRI04_B(io::Units& units, std::span<std::int32_t> icdynr, std::int32_t ncol,
              std::int32_t ndynres, std::int32_t unit, std::int32_t& ierr) {
    if (unit < 6) return;
    if (!labels_fit(units, icdynr, ncol, std::max(ndynres, 0), "XWRI04_B", unit)) {
        --ierr;
        return;
    }
    std::string text(kLabelBuffer, ' ');
    const auto fail = [&] {
        error_block(units, unit, "*** ERROR IN XWRI04_B ***");
        --ierr;
    };
    for (std::int32_t k = 1; k <= ndynres; ++k) {
        const auto buf = collapse(label_words(icdynr, ncol, k));
        if (ncol > 0) {
            std::copy_n(buf.begin(), ncol,
                        icdynr.begin() + static_cast<std::ptrdiff_t>(k - 1) * ncol);
        }
        std::int32_t jerr = 0;
        INT2CH(units, text, buf, ncol, unit, jerr, static_cast<std::int32_t>(kLabelBuffer));
        if (jerr != 0) return fail();
    }
    for (std::int32_t k = 1; k <= ndynres; ++k) {
        std::int32_t jerr = 0;
        INT2CH(units, text, label_words(icdynr, ncol, k), ncol, unit, jerr,
               static_cast<std::int32_t>(kLabelBuffer));
        if (jerr != 0) return fail();
        units.write(unit, io::fmt::I(k, 6) + " :  " + std::string(io::trim_right(text)));
    }
}

void DynRes20(store::Store& st, dms::WorkArray& w, std::int32_t ifile, std::int32_t iout,
              std::int32_t& ierr, Engine* engine) {
    std::int32_t jerr = 0;
    const auto fail = [&] {
        error_block(st.units, iout, "*** ERROR IN DynRes20   ***");
        ierr = -1;
    };
    auto mstru = array_words(st, w, "MSTRU ", iout, jerr);
    if (jerr != 0) return fail();
    const gathering::Parameters par = gathering::read_parameters(st.units, mstru, iout, jerr);
    if (jerr != 0) return fail();
    // The rules of reader/gathering.h decide, for the series reader too.
    const auto refuse = [&](const gathering::Verdict& v) {
        fail();
        v.report(st.units, iout);
    };
    gathering::Layout lay;
    if (const auto v = gathering::check_parameters(par, lay); !v.ok()) return refuse(v);
    if (const auto v = gathering::check_file_size(lay, st.units.direct_size(ifile)); !v.ok())
        return refuse(v);
    const std::int32_t lststo = par.lststo;
    const std::int64_t slot = lay.slot_words();  // words per time step
    const std::int64_t p = lay.slots;            // slots per record
    const std::int64_t q = lay.capacity;         // capacity

    std::int32_t pall = 0;
    store::ARBOOK(st, w, "ALL_TS", pall, booking_length(q * slot), "SCRA", "SP", iout, jerr);
    if (jerr != 0) return fail();
    const auto all = array_words(st, w, "ALL_TS", iout, jerr);
    if (jerr != 0) return fail();

    std::int64_t m = 0;
    Engine::Gathered how = Engine::Gathered::PerStep;
    if (engine != nullptr) how = engine->gather(st, w, lay, ifile, iout, m);
    if (how == Engine::Gathered::Failed) return fail();
    std::int32_t checked = 0;  // pointer of the DYNRES storage checked last
    std::int64_t len = 0;
    for (std::int32_t d = 1; d <= lststo && how == Engine::Gathered::PerStep; ++d) {
        std::int32_t pdyn = 0;
        store::ARREC1(st, w, "DYNRES", pdyn, d, ifile, iout, jerr);
        if (jerr != 0) return fail();
        // Every step is read into the same storage of the same length: the
        // record is checked once.
        if (pdyn != checked) {
            len = dms::DMSINQ(w, "DYNRES", 1);
            if (dms::DMSINQ(w, "DYNRES", 2) != 1 || !w.contains(pdyn, len)) return fail();
            if (const auto v = gathering::check_record(lay, d, len); !v.ok()) return refuse(v);
            checked = pdyn;
        }
        if (d == 1 && lststo > 1) {
            // Each step must read a record of its own (the catalogue gives
            // the records per step): one record read over and over is no
            // series.
            store::Keys k1;
            store::Keys k2;
            store::ARKEYS(st, w, "DYNRES", 1, k1, iout, jerr);
            store::ARKEYS(st, w, "DYNRES", 2, k2, iout, jerr);
            if (jerr != 0) return fail();
            if (const auto v = gathering::check_keys(lay, k1.key, k2.key); !v.ok())
                return refuse(v);
        }
        const auto rec = w.words(pdyn, len);
        for (std::int64_t j = 1; j <= p; ++j) {
            const auto first = static_cast<std::size_t>((j - 1) * slot);
            if (j > 1 && as_float(rec[first]) < kEmptySlotTime) break;
            if (m == q) break;
            ++m;
            all[static_cast<std::size_t>(m - 1)] = rec[first];
            for (std::int64_t k = 1; k < slot; ++k) {
                all[static_cast<std::size_t>(m - 1 + k * q)] =
                    rec[first + static_cast<std::size_t>(k)];
            }
        }
    }

    mstru = array_words(st, w, "MSTRU ", iout, jerr);
    if (jerr != 0) return fail();
    store::PTSTRU(st.units, mstru, "nDRStep ", static_cast<std::int32_t>(m), iout, jerr);
    if (jerr != 0) ierr = -1;
}

void DynRes21(store::Store& st, dms::WorkArray& w, std::int32_t k, std::int32_t /*mode*/,
              std::int32_t /*a1*/, std::int32_t /*a2*/, std::int32_t /*a3*/, std::int32_t /*a4*/,
              std::int32_t iout, std::int32_t& ierr, Engine* engine) {
    std::int32_t jerr = 0;
    const auto fail = [&] {
        error_block(st.units, iout, "*** ERROR IN DynRes21   ***");
        ierr = -1;
    };

    const auto mstru = array_words(st, w, "MSTRU ", iout, jerr);
    if (jerr != 0) return fail();
    const auto all = array_words(st, w, "ALL_TS", iout, jerr);
    if (jerr != 0) return fail();
    const std::int32_t ndynres = store::GTSTRU(st.units, mstru, "nDynres ", iout, jerr);
    const std::int32_t n = store::GTSTRU(st.units, mstru, "nDRStep ", iout, jerr);
    const std::int32_t ixact = store::GTSTRU(st.units, mstru, "iXact   ", iout, jerr);
    if (jerr != 0) return fail();

    // Column k of ALL_TS starts at element k*Q + 1, with Q the capacity that
    // ALL_TS was booked with: its length divided by nDynRes + 1.
    if (ndynres < 1 || k < 1 || k > ndynres) {
        fail();
        detail(st.units, iout, "DynRes number outside 1 .. nDynRes     :", k);
        return;
    }
    const auto q = static_cast<std::int64_t>(all.size()) / (static_cast<std::int64_t>(ndynres) + 1);
    if (n < 0 || n > q) {
        fail();
        detail(st.units, iout, "Time steps (nDRStep) beyond ALL_TS     :", n);
        return;
    }
    const std::int32_t len = booking_length(2 * static_cast<std::int64_t>(n));
    std::int32_t ptr = 0;
    store::ARBOOK(st, w, "TSCRA ", ptr, len, "SCRA", "SP", iout, jerr);
    if (jerr != 0) return fail();
    const auto ts = array_words(st, w, "TSCRA ", iout, jerr);
    if (jerr != 0) return fail();
    if (engine != nullptr && engine->active()) {
        // The columns come from the file on demand; a request served from
        // the statistics of the engine only books.
        const std::array<std::int32_t, 1> wanted{k};
        if (!engine->bookings_only() && !engine->fill(w, st.units, wanted)) return fail();
    }
    if (engine == nullptr || !engine->bookings_only()) {
        const auto column = static_cast<std::size_t>(k * q);
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
            ts[2 * i] = all[i];
            ts[2 * i + 1] = all[column + i];
        }
    }

    if (ixact == 1) {
        // Re-booked at exactly 2n elements, keeping the contents.
        store::ARBOOK(st, w, "TSCRA2", ptr, len, "SCRA", "SP", iout, jerr);
        if (jerr == 0) store::arcopy_2(st, w, "TSCRA ", "TSCRA2", iout, jerr);
        if (jerr == 0) store::ARFREE(st, w, "TSCRA ", "NOCLEAN", iout, jerr);
        if (jerr == 0) store::ARBOOK(st, w, "TSCRA ", ptr, len, "SCRA", "SP", iout, jerr);
        if (jerr == 0) store::arcopy_2(st, w, "TSCRA2", "TSCRA ", iout, jerr);
        if (jerr == 0) store::ARFREE(st, w, "TSCRA2", "NOCLEAN", iout, jerr);
        if (jerr != 0) return fail();
    }
}

}  // namespace ops
