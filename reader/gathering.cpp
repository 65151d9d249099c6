#include "reader/gathering.h"

#include <algorithm>

#include "io/fmt.h"
#include "raflib/layout.h"
#include "store/store.h"

namespace reader::gathering {

namespace {

void detail(io::Units& units, std::int32_t unit, std::string_view text, std::int64_t value) {
    units.write(unit, "      " + std::string(text) + io::fmt::I(value, 10));
}

Verdict refused(Fault f, std::int64_t a, std::int64_t b = 0, std::int64_t c = 0) {
    return {f, a, b, c};
}

}  // namespace

void store_switches(io::Units& units, std::span<std::int32_t> mstru, std::int32_t loadst,
                    std::int32_t iout, std::int32_t& ierr) {
    store::PTSTRU(units, mstru, "LSTSTO", loadst, iout, ierr);
    store::PTSTRU(units, mstru, "IXACT ", 1, iout, ierr);
}

Parameters read_parameters(io::Units& units, std::span<std::int32_t> mstru, std::int32_t iout,
                           std::int32_t& ierr) {
    Parameters p;
    p.lststo = store::GTSTRU(units, mstru, "LSTSTO  ", iout, ierr);
    p.ndynres = store::GTSTRU(units, mstru, "nDynres ", iout, ierr);
    p.ndrpack = store::GTSTRU(units, mstru, "nDRpack ", iout, ierr);
    p.ndrstep = store::GTSTRU(units, mstru, "nDRStep ", iout, ierr);
    return p;
}

Verdict check_parameters(const Parameters& p, Layout& layout) {
    if (p.ndynres < 1) return refused(Fault::NoDynRes, p.ndynres);
    if (p.lststo < 0) return refused(Fault::NegativeSteps, p.lststo);
    if (p.ndrpack < 0) return refused(Fault::NegativePack, p.ndrpack);
    if (p.ndrpack != 0 && p.ndrstep < 0) return refused(Fault::NegativeSlots, p.ndrstep);
    layout.records = p.lststo;
    layout.ndynres = p.ndynres;
    layout.slots = p.ndrpack == 0 ? 1 : p.ndrpack;
    layout.capacity = p.ndrpack == 0 ? p.lststo : p.ndrstep;
    return {};
}

Verdict check_file_size(const Layout& layout, std::int64_t file_bytes) {
    if (layout.records <= 0) return {};
    const std::int64_t per_step = raflib::records_for(layout.used_words());
    const std::int64_t held = std::max<std::int64_t>(file_bytes, 0) / raflib::kRecordBytes;
    if (layout.records > held / per_step)
        return refused(Fault::StepsBeyondFile, layout.records, per_step, held);
    return {};
}

Verdict check_record(const Layout& layout, std::int64_t step, std::int64_t words) {
    if (words < layout.used_words())
        return refused(Fault::ShortRecord, step, words, layout.used_words());
    return {};
}

Verdict check_keys(const Layout& layout, std::int64_t key1, std::int64_t key2) {
    if (layout.records > 1 && key2 <= key1)
        return refused(Fault::SharedRecord, layout.records, key1, key2);
    return {};
}

void Verdict::report(io::Units& units, std::int32_t unit) const {
    switch (fault) {
        case Fault::None:
            return;
        case Fault::NoDynRes:
            return detail(units, unit, "Number of DynRes (nDynRes) below 1    :", a);
        case Fault::NegativeSteps:
            return detail(units, unit, "Result steps (LSTSTO) negative         :", a);
        case Fault::NegativePack:
            return detail(units, unit, "Steps per record (nDRpack) negative    :", a);
        case Fault::NegativeSlots:
            return detail(units, unit, "Time-step slots (nDRStep) negative     :", a);
        case Fault::StepsBeyondFile:
            detail(units, unit, "Result steps (LSTSTO)                  :", a);
            detail(units, unit, "need 512-byte records per step         :", b);
            detail(units, unit, "the file holds 512-byte records        :", c);
            return;
        case Fault::ShortRecord:
            detail(units, unit, "DYNRES record of step                  :", a);
            detail(units, unit, "holds words                            :", b);
            detail(units, unit, "needs nDRpack * (nDynRes + 1) words    :", c);
            return;
        case Fault::SharedRecord:
            detail(units, unit, "Result steps (LSTSTO)                  :", a);
            detail(units, unit, "DYNRES record key of step 1            :", b);
            detail(units, unit, "DYNRES record key of step 2            :", c);
            return;
    }
}

std::string Verdict::reason() const {
    const auto n = [](std::int64_t v) { return std::to_string(v); };
    switch (fault) {
        case Fault::None:
            return {};
        case Fault::NoDynRes:
            return "damaged: DynRes parameter nDynRes = " + n(a);
        case Fault::NegativeSteps:
            return "damaged: DynRes parameter LSTSTO = " + n(a);
        case Fault::NegativePack:
            return "damaged: DynRes parameter nDRpack = " + n(a);
        case Fault::NegativeSlots:
            return "damaged: DynRes parameter nDRStep = " + n(a);
        case Fault::StepsBeyondFile:
            return "truncated: " + n(a) + " result steps (LSTSTO) of " + n(b) +
                   (b == 1 ? " record" : " records") + " each cannot fit the " + n(c) +
                   " records of the file";
        case Fault::ShortRecord:
            return "damaged: DYNRES records of " + n(b) + " words cannot hold the " + n(c) +
                   " words of a step record";
        case Fault::SharedRecord:
            return "damaged: the result steps do not advance through the DYNRES records (step 1 "
                   "reads key " +
                   n(b) + ", step 2 key " + n(c) + ")";
    }
    return {};
}

}  // namespace reader::gathering
