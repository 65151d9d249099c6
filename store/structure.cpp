// Structure parameters: named 32-bit integers in MSTRU, found through the
// fixed parameter table or through the identifier table that MSTRU carries.
#include <array>
#include <limits>

#include "io/fmt.h"
#include "io/text.h"
#include "store/internal.h"
#include "store/store.h"

namespace store {

namespace {

// Entry j names MSTRU(j) in the fixed layout.
constexpr std::array<std::string_view, 200> kFixedNames{
    "NNP   ", "NEL   ", "NBEAM ", "NSPRNG", "NSHELL", "NDAMEL", "NDEL  ", "NIMPG ", "NMA   ",
    "DENTSW", "NGE   ", "NLDCS ", "NLC   ", "NTRANS", "NROT  ", "NECC  ", "NLDP  ", "NCEQ  ",
    "NMMCEQ", "NTOTBR", "NOLGRP", "NOLBRA", "NSURNP", "NLOADS", "NCNODS", "NLCOMB", "NEQ   ",
    "NTK   ", "NBW   ", "NSHSIZ", "MXELNP", "MXLDCS", "MX2DEL", "MXNPEL", "MXELIE", "MXMAPR",
    "MXGEPR", "MXELRE", "MXELRX", "MXSTEP", "MXLSPC", "MXGLPR", "MXLDPR", "MXHIPR", "MXFARR",
    "MXLDS ", "MXCNDS", "MXLCMB", "MXLDCX", "LSTSTO", "NTRAN1", "NLDCS1", "NTEMP1", "MXHAPR",
    "NLC1  ", "MXWLPR", "NEWFRA", "NFRACT", "NEWSTR", "NJOINT", "NJNTNP", "MXELHI", "NWMNPC",
    "NQUAD ", "NSHIP ", "MXRSCP", "NSHPCH", "MXARPR", "MXNAMS", "MXZYB ", "MXEIG ", "MXTPEL",
    "NEIG  ", "MXTHPR", "MXDPPR", "MXSTA1", "MXSTA2", "MXSTA3", "IHJHAN", "ISOLVR", "NWSOL ",
    "NSTDIM", "LCSTAT", "LCDYNA", "NWEVEC", "NWESEL", "INCRST", "INCRES", "INCPRI", "MXUTIL",
    "ITMAX ", "ITER  ", "IEPSIT", "NSHL3 ", "NSHL4 ", "MXTHST", "NEWLTY", "NLOHST", "NTHIST",
    "NMOVNP", "NPOLY ", "NPART ", "MXVXPR", "IUNFC ", "IWINDW", "      ", "      ", "      ",
    "      ", "MXSTRU", "NELRES", "NNPRES", "      ", "      ", "      ", "INPUFO", "NELZON",
    "NNPZON", "IADDEX", "NSOLI8", "NSCHAR", "NQUAD8", "NTRI6 ", "NDAMP ", "NNPMAS", "NTHERM",
    "NELLOA", "NNPLOA", "NEL70 ", "NNOD70", "LENS70", "NAMD  ", "      ", "      ", "      ",
    "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ",
    "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ",
    "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ",
    "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ",
    "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ",
    "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ",
    "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ", "      ",
    "      ", "      ",
};

// The identifier as it is packed: trimmed, and upper-cased when T(4) = 1.
bool prepare(std::span<const std::int32_t> t, std::string_view name, std::string& field,
             std::int32_t& w1, std::int32_t& w2) {
    const std::string_view s = io::trim(name);
    if (s.empty() || s.size() > 8) {
        field = io::fixed(s, 8);
        return false;
    }
    field = io::fixed(s, 8);
    std::string key(s);
    if (t[3] == 1) {
        for (char& c : key) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    const auto words = format::pack_name(key);
    w1 = words ? words->first : 0;
    w2 = words ? words->second : 0;
    return words.has_value();
}

std::int32_t message_unit(std::span<const std::int32_t> t) {
    return t[1] > 0 ? t[1] : 6;
}

// The identifier table of an MSTRU in the identifier layout, when it lies
// inside MSTRU with a consistent count.
bool table_of(std::span<std::int32_t> mstru, std::span<std::int32_t>& t) {
    if (mstru.size() < 2) return false;
    const std::int64_t o = mstru[1];
    const auto size = static_cast<std::int64_t>(mstru.size());
    if (o < 0 || o + 5 > size) return false;
    t = mstru.subspan(static_cast<std::size_t>(o));
    const std::int64_t count = t[2];
    return count >= 0 && 5 + 2 * count <= static_cast<std::int64_t>(t.size());
}

std::int32_t fixed_lookup(std::string_view name) {
    const std::string key = io::fixed(name, 6);
    for (std::size_t j = 0; j < kFixedNames.size(); ++j) {
        if (kFixedNames[j] == key) return static_cast<std::int32_t>(j + 1);
    }
    return 0;
}

void not_found(io::Units& units, std::string_view routine, std::string_view what,
               std::string_view name, std::int32_t iout, std::int32_t& ierr) {
    detail::header(units, iout, routine);
    units.write(iout, "      " + std::string(what) + std::string(name));
    units.write(iout, "      LEAVING " + std::string(routine));
    for (int i = 0; i < 3; ++i) units.write(iout, "");
    --ierr;
}

constexpr std::string_view kNotFound = "PARAMETER NOT FOUND:";
constexpr std::string_view kCorrupt = "PARAMETER TABLE OF MSTRU IS CORRUPT:";

}  // namespace

std::string_view fixed_parameter_name(std::int32_t j) {
    if (j < 1 || j > 200) return {};
    return kFixedNames[static_cast<std::size_t>(j - 1)];
}

std::int32_t IDXIST(io::Units& units, std::span<const std::int32_t> t, std::string_view name) {
    std::string field;
    std::int32_t w1 = 0, w2 = 0;
    if (!prepare(t, name, field, w1, w2)) {
        const std::int32_t u = message_unit(t);
        units.write(u, "");
        units.write(u, "  *** ERROR IN IDXIST  ***");
        units.write(u, "");
        units.write(u, "  Identifier length = 0 or > 8: " + std::string(name));
        return 0;
    }
    for (std::int32_t j = 1; j <= t[2]; ++j) {
        const auto k = static_cast<std::size_t>(2 * j + 3);
        if (t[k] == w1 && t[k + 1] == w2) return j;
    }
    return 0;
}

void IDADD(io::Units& units, std::span<std::int32_t> t, std::string_view name,
           std::int32_t& position) {
    const std::int32_t p0 = position;
    position = 0;
    std::string field;
    std::int32_t w1 = 0, w2 = 0;
    const std::int32_t u = message_unit(t);
    if (!prepare(t, name, field, w1, w2)) {
        units.write(u, "");
        units.write(u, "  *** ERROR IN IDADD  ***");
        units.write(u, "");
        units.write(u, "  Illegal Identifier : " + field);
        return;
    }
    for (std::int32_t j = 1; j <= t[2]; ++j) {
        const auto k = static_cast<std::size_t>(2 * j + 3);
        if (t[k] == w1 && t[k + 1] == w2) {
            position = j;
            return;
        }
    }
    // The table never grows beyond its maximum, nor beyond the words it has.
    const std::int64_t next = static_cast<std::int64_t>(t[2]) + 1;
    if (next > t[0] || 5 + 2 * next > static_cast<std::int64_t>(t.size())) {
        units.write(u, "");
        units.write(u, "  *** ERROR IN IDADD  ***");
        units.write(u, "");
        units.write(u, "  Number of IDS exceeds maximum of : " + io::fmt::I(t[0], 6));
        return;
    }
    t[2] = static_cast<std::int32_t>(next);
    t[static_cast<std::size_t>(2 * next + 3)] = w1;
    t[static_cast<std::size_t>(2 * next + 4)] = w2;
    position = t[2] + p0 / 100;
}

std::int32_t GTSTRU(io::Units& units, std::span<std::int32_t> mstru, std::string_view name,
                    std::int32_t iout, std::int32_t& ierr) {
    if (mstru.empty()) {
        not_found(units, "GTSTRU", kCorrupt, name, iout, ierr);
        return 0;
    }
    if (mstru[0] >= 0) {
        const std::int32_t j = fixed_lookup(name);
        if (j == 0) return 0;
        if (static_cast<std::size_t>(j) > mstru.size()) {
            not_found(units, "GTSTRU", kCorrupt, name, iout, ierr);
            return 0;
        }
        return mstru[static_cast<std::size_t>(j - 1)];
    }
    std::span<std::int32_t> t;
    if (!table_of(mstru, t)) {
        not_found(units, "GTSTRU", kCorrupt, name, iout, ierr);
        return 0;
    }
    const std::int32_t j = IDXIST(units, t, name);
    if (j >= 1) {
        if (static_cast<std::size_t>(j) > mstru.size()) {
            not_found(units, "GTSTRU", kCorrupt, name, iout, ierr);
            return 0;
        }
        return mstru[static_cast<std::size_t>(j - 1)];
    }
    if (t[4] != 0) return 0;
    not_found(units, "GTSTRU", kNotFound, name, iout, ierr);
    return 0;
}

std::int32_t PTSTRU(io::Units& units, std::span<std::int32_t> mstru, std::string_view name,
                    std::int32_t value, std::int32_t iout, std::int32_t& ierr) {
    if (mstru.empty()) {
        not_found(units, "PTSTRU", kCorrupt, name, iout, ierr);
        return 0;
    }
    const auto store_at = [&](std::int32_t j) {
        if (j < 1 || static_cast<std::size_t>(j) > mstru.size()) {
            not_found(units, "PTSTRU", kCorrupt, name, iout, ierr);
            return 0;
        }
        mstru[static_cast<std::size_t>(j - 1)] = value;
        return j;
    };
    if (mstru[0] >= 0) {
        const std::int32_t j = fixed_lookup(name);
        if (j >= 1) return store_at(j);
        not_found(units, "PTSTRU", kNotFound, name, iout, ierr);
        return 0;
    }
    std::span<std::int32_t> t;
    if (!table_of(mstru, t)) {
        not_found(units, "PTSTRU", kCorrupt, name, iout, ierr);
        return 0;
    }
    const std::int32_t j = IDXIST(units, t, name);
    if (j >= 1) return store_at(j);
    if (t[4] != 0) {
        const std::string field = io::fixed(name, 8);
        if (!io::is_blank(field)) {
            std::int32_t pos = mstru[0];
            IDADD(units, t, field, pos);
            if (pos >= 1) return store_at(pos);
        }
    }
    not_found(units, "PTSTRU", kNotFound, name, iout, ierr);
    return 0;
}

}  // namespace store
