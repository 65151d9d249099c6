#include "ops/common.h"

#include <limits>
#include <utility>

#include "dms/dms.h"
#include "io/fmt.h"
#include "io/text.h"
#include "ops/engine.h"
#include "ops/extract.h"
#include "reader/gathering.h"

namespace ops {

namespace {

constexpr std::string_view kRecallStructure = "**Recall structure data**";
constexpr std::string_view kRecallControl = "**Recall control data  **";
constexpr std::string_view kRecallResult = "**Recall result data   **";

}  // namespace

std::span<std::int32_t> array_words(store::Store& st, dms::WorkArray& w, std::string_view name,
                                    std::int32_t iout, std::int32_t& ierr) {
    const std::int32_t before = ierr;
    const std::int32_t ptr = store::ARGTIP(st, w, name, iout, ierr);
    if (ierr != before) return {};
    const std::string_view nm = io::trim_right(name);
    const std::int64_t dim = dms::DMSINQ(w, nm, 1);
    const std::int32_t nwpe = dms::DMSINQ(w, nm, 2);
    if (nwpe != 1 || dim < 0 || !w.contains(ptr, dim)) {
        if (iout > 5) {
            st.units.write(iout, "");
            st.units.write(iout, "  *** ERROR IN ARGTIP ***");
        }
        --ierr;
        return {};
    }
    return w.words(ptr, dim);
}

std::int32_t booking_length(std::int64_t count) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (count < 0 || count > kMax) return static_cast<std::int32_t>(kMax);
    return static_cast<std::int32_t>(count);
}

bool recall_prologue(store::Store& st, dms::WorkArray& w, const std::string& file,
                     std::int32_t iout, Parameters& p, std::int32_t& ierr) {
    store::INIRAF(st, "OLD", file, 1, kDynFile, kConsole, kRafMessageUnit, ierr);
    if (ierr < 0) return false;
    store::INIDMS(st, w, w.size(), kNameList, kNameListLength, kNameLength, kDynFile, iout, ierr);
    if (ierr != 0) return false;
    for (const std::string_view instruction : {kRecallStructure, kRecallControl, kRecallResult}) {
        store::ARRECL(st, w, instruction, 1, kDynFile, iout, ierr);
        if (ierr != 0) return false;
    }
    const auto mstru = array_words(st, w, "MSTRU ", iout, ierr);
    if (ierr != 0) return false;
    store::ARGTIP(st, w, "ICDYNR", iout, ierr);
    if (ierr != 0) return false;
    p.loadst = store::GTSTRU(st.units, mstru, "LOADST", iout, ierr);
    p.ndynres = store::GTSTRU(st.units, mstru, "nDynRes", iout, ierr);
    p.ncol = store::GTSTRU(st.units, mstru, "nCol   ", iout, ierr);
    p.ndrstep = store::GTSTRU(st.units, mstru, "nDRStep", iout, ierr);
    return ierr == 0;
}

bool finish_prologue(store::Store& st, dms::WorkArray& w, std::int32_t iout, Parameters& p,
                     std::int32_t& ierr, Engine* engine) {
    auto mstru = array_words(st, w, "MSTRU ", iout, ierr);
    if (ierr != 0) return false;
    gathering::store_switches(st.units, mstru, p.loadst, iout, ierr);
    if (ierr != 0) return false;
    DynRes20(st, w, kDynFile, iout, ierr, engine);
    if (ierr != 0) return false;
    // DynRes20 refuses a file without DynRes, so the division is safe.
    mstru = array_words(st, w, "MSTRU ", iout, ierr);
    if (ierr != 0) return false;
    p.ndrstep = store::GTSTRU(st.units, mstru, "nDRStep", iout, ierr);
    if (ierr != 0) return false;
    if (p.ncol == 0 && p.ndynres > 0) {
        const std::int32_t size = store::ARSIZE(st, w, "ICDYNR", iout, ierr);
        if (ierr != 0) return false;
        p.ncol = size / p.ndynres;
    }
    return true;
}

void error_block(io::Units& units, std::int32_t unit, std::string_view text) {
    units.write(unit, "");
    units.write(unit, "  " + std::string(text));
}

void illegal_number_block(io::Units& units, std::int32_t unit, std::int32_t idr,
                          std::int32_t ndynres) {
    units.write(unit, "");
    units.write(unit, "  *** Illegal Dynres Number  ");
    units.write(unit, "      Specified  Dynres   : " + io::fmt::I(idr, 8));
    units.write(unit, "      Number of  Dynres   : " + io::fmt::I(ndynres, 8));
}

bool read_and_book(store::Store& st, dms::WorkArray& w, Engine* engine,
                   std::span<const std::int32_t> dynres, const std::array<std::int32_t, 4>& lengths,
                   Scratch& s, std::int32_t iout, std::int32_t& jerr) {
    if (engine != nullptr && !engine->fill(w, st.units, dynres)) return false;
    st.units.write(kConsole, "");
    st.units.write(kConsole, " Reading Actual Time Series .... ");
    const std::array<std::pair<std::string_view, std::int32_t*>, 4> arrays{
        {{"AUX_1 ", &s.aux1}, {"AUX_2 ", &s.aux2}, {"TS    ", &s.ts}, {"TIMES ", &s.times}}};
    for (std::size_t k = 0; k < arrays.size(); ++k) {
        store::ARBOOK(st, w, arrays[k].first, *arrays[k].second, lengths[k], "SCRA", "RE", iout,
                      jerr);
        if (jerr != 0) return false;
    }
    return true;
}

bool refresh_scratch(store::Store& st, dms::WorkArray& w, Scratch& s, std::int32_t iout,
                     std::int32_t& ierr) {
    s.aux1 = store::ARGTIP(st, w, "AUX_1 ", iout, ierr);
    s.aux2 = store::ARGTIP(st, w, "AUX_2 ", iout, ierr);
    s.ts = store::ARGTIP(st, w, "TS    ", iout, ierr);
    s.times = store::ARGTIP(st, w, "TIMES ", iout, ierr);
    return ierr == 0;
}

void free_scratch(store::Store& st, dms::WorkArray& w, std::int32_t iout, std::int32_t& jerr) {
    for (const std::string_view array : {"TSCRA ", "TS    ", "AUX_2 ", "AUX_1 "}) {
        store::ARFREE(st, w, array, "NOCLEAN", iout, jerr);
    }
}

void fail_operation(io::Units& units, std::int32_t iout, std::string_view error_text,
                    std::int32_t& ierr) {
    error_block(units, iout, error_text);
    ierr = -1;
}

void report_illegal_number(io::Units& units, std::int32_t iout, std::string_view error_text,
                           std::int32_t idr, std::int32_t ndynres) {
    error_block(units, iout, error_text);
    error_block(units, kConsole, error_text);
    illegal_number_block(units, iout, idr, ndynres);
    illegal_number_block(units, kConsole, idr, ndynres);
}

}  // namespace ops
