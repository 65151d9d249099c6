#include "raflib/messages.h"

#include <array>
#include <limits>

#include "io/fmt.h"
#include "io/text.h"

namespace raflib {

namespace {

struct Row {
    std::int32_t number;
    std::int32_t level;
    std::int32_t kind;
    std::string_view text;
};

// The defined messages; every other number of 1000..1079 reads "NOT YET
// DEFINED" with kind 0 and the level of its range.
constexpr auto kRows = std::to_array<Row>({
    {1000, kLevelInfo, 0, "RAFLIB version 1.0 - Random Access File LIBrary"},
    {1001, kLevelInfo, 1, "RAFLIB file opened"},
    {1002, kLevelInfo, 1, "RAFLIB file initialized"},
    {1003, kLevelInfo, 4, "Array read from file"},
    {1004, kLevelInfo, 4, "Array written to file"},
    {1010, kLevelWarning, 1, "File converted from RAFLIB revision <A>"},
    {1011, kLevelWarning, 1, "File converted from computer type <A>"},
    {1012, kLevelWarning, 1, "No RAFLIB file open with this number"},
    {1020, kLevelError, 1, "File is not a RAFLIB file"},
    {1021, kLevelError, 1, "RAFLIB file generated on another computer (<A>)"},
    {1022, kLevelError, 1, "No RAFLIB open/initialize routine called for this file"},
    {1023, kLevelError, 1, "File is read locked"},
    {1024, kLevelError, 1, "File is write locked"},
    {1025, kLevelError, 4, "Array type mismatch"},
    {1026, kLevelError, 4, "Array length mismatch (too few elements specified)"},
    {1027, kLevelError, 4, "Array length mismatch (too many elements specified)"},
    {1028, kLevelError, 1, "Too old RAFLIB file (version <A>)"},
    {1029, kLevelError, 1, "Too new RAFLIB file (version <A>) - update program"},
    {1030, kLevelError, 4, "Corrupt MFP: Negative file address"},
    {1031, kLevelError, 4, "Corrupt MFP: Negative file address"},
    {1032, kLevelError, 4, "Corrupt MFP: Unknown datatype no (<I>)"},
    {1033, kLevelError, 4, "Corrupt MFP: Negative no of elements (<I>)"},
    {1034, kLevelError, 1, "Cannot open file - Computer's error flag = <I>"},
    {1035, kLevelError, 4, "Cannot write to file - Computer's error flag = <I>"},
    {1036, kLevelError, 4, "Cannot read from file - Computer's error flag = <I>"},
    {1037, kLevelError, 0, "File no already in use for another RAFLIB file"},
    {1038, kLevelError, 0, "Attempt to open more than <I> RAFLIB files simultanously"},
    {1039, kLevelError, 0, "Attempt to reinitialize the file without close and reopen"},
    {1040, kLevelError, 0, "Illegal file status code (Not NEW, OLD or UNKNOWN)"},
    {1041, kLevelError, 4, "Illegal file no in FFILE"},
    {1042, kLevelError, 4, "Illegal operation code in FFILE"},
    {1043, kLevelError, 4, "Negative file address in FFILE"},
    // FFILE refuses a transfer into or out of a buffer that is shorter than
    // the word count.
    {1044, kLevelError, 4, "Buffer too small for word count in FFILE"},
    {1045, kLevelError, 4, "Negative word count in FFILE"},
    {1046, kLevelError, 0, "Attempt to define max no of arrays in file as zero or negative"},
    {1047, kLevelError, 4, "Attempt to allocate an already allocated array"},
    {1048, kLevelError, 4, "Attempt to read a non-allocated array"},
    {1049, kLevelError, 0, "Illegal array numbers (or wrong order) specified for delete"},
    {1050, kLevelFatal, 1, "Core copy of CHKEY corrupted (overwritten) during execution"},
    {1060, kLevelError, 1, "Inconsistent CHKEY: MFPADR = <I> is illegal"},
    {1061, kLevelError, 1, "Inconsistent CHKEY: MFPMAX = <I> is illegal"},
    {1062, kLevelError, 1, "Inconsistent CHKEY: MFPCUR = <I> is illegal"},
    {1063, kLevelError, 1, "Inconsistent CHKEY: MFPNXT = <I> is illegal"},
    {1064, kLevelError, 0, "Inconsistent CHKEY: Decode error - Computer's error flag=<I>"},
    {1065, kLevelError, 0, "Cannot open internal scratchfile - Computer's error flag=<I>"},
    {1066, kLevelError, 0, "Cannot write internal scratchfile - Computer's error flag=<I>"},
    {1067, kLevelError, 0, "Cannot read internal scratchfile - Computer's error flag=<I>"},
    {1069, kLevelError, 4, "Attempt to access an array outside allocated MFP range"},
    {1070, kLevelError, 1, "Cannot read files generated on <A>"},
    {1071, kLevelError, 1, "Cannot generate files for <A>"},
});

std::int32_t range_level(std::int32_t n) {
    if (n <= 1009) return kLevelInfo;
    if (n <= 1019) return kLevelWarning;
    if (n <= 1049) return kLevelError;
    if (n <= 1059) return kLevelFatal;
    return kLevelError;
}

// Prints a line (a blank and the first 79 characters of the field) on both
// units of a level.
void print_field(Raflib& raf, const Level& lv, std::string field) {
    field = io::fixed(field, 100);
    RFBLNK(field);
    const std::string line = " " + field.substr(0, 79);
    if (lv.unit1 != 0) raf.units.write(lv.unit1, line);
    if (lv.unit2 != 0) raf.units.write(lv.unit2, line);
}

std::string i2(int v) {
    return io::fmt::I(v, 2, 2);
}

}  // namespace

MessageText RFMTXT(std::int32_t number) {
    MessageText m;
    if (number < 1000 || number > 1079) {
        m.text = io::fixed(
            "Error no" + io::fmt::I(number, 10) + " (No text defined for this error number)", 70);
        m.level = kLevelError;
        m.kind = 0;
        return m;
    }
    for (const Row& r : kRows) {
        if (r.number == number) {
            m.text = io::fixed(r.text, 70);
            m.level = r.level;
            m.kind = r.kind;
            return m;
        }
    }
    m.text = io::fixed("NOT YET DEFINED", 70);
    m.level = range_level(number);
    m.kind = 0;
    return m;
}

std::string RFSUBS(std::string_view text, std::int32_t ivalue, std::string_view avalue) {
    std::string t(text);
    if (const auto p = t.find("<I>"); p != std::string::npos) {
        const std::string v =
            ivalue == kUndefined ? "<UNKNOWN>" : std::string(io::trim(io::fmt::I(ivalue, 10)));
        t.replace(p, 3, v);
    }
    if (const auto p = t.find("<A>"); p != std::string::npos) {
        t.replace(p, 3, std::string(io::trim_right(avalue)));
    }
    return io::fixed(t, 70);
}

void RFBLNK(std::string& field) {
    for (;;) {
        const auto p = field.find("  ");
        if (p == std::string::npos) return;
        if (field.find_first_not_of(' ', p) == std::string::npos) return;
        field.erase(p, 1);
        field += ' ';
    }
}

std::string RFDATE(const Raflib& raf, std::int32_t form) {
    const LocalTime t = raf.clock ? raf.clock() : LocalTime{};
    if (form == 2) {
        return i2(t.year % 100) + "-" + i2(t.month) + "-" + i2(t.day) + io::fmt::I(t.hour, 3, 2) +
               ":" + i2(t.minute) + ":" + i2(t.second);
    }
    return io::fmt::I(t.year, 4, 2) + i2(t.month) + i2(t.day) + io::fmt::I(t.hour, 4, 2) +
           i2(t.minute) + i2(t.second);
}

std::string message_file_line(const Raflib& raf, const Level& level, std::int32_t kind,
                              std::int32_t n) {
    const ArrayContext& c = raf.ctx;
    std::string f = level.marker + " File " + io::fmt::I(raf.current_unit(), 3);
    if (kind >= 2) f += " / Array " + io::fmt::I(c.arrayno, 8);
    if (kind >= 3) f += " / Address " + io::fmt::I(c.address, 8);
    if (kind == 4) f += " / Elements " + io::fmt::I(c.current, 8);
    f += (kind == 3 ? " / Msg_no=" : " / Msg_no ") + io::fmt::I(n, 5) + ":";
    return f;
}

void RFMESS(Raflib& raf, std::int32_t& ierr, std::string_view routine, std::int32_t label,
            std::int32_t ivalue, std::string_view avalue) {
    const std::int32_t n = ierr == std::numeric_limits<std::int32_t>::min()
                               ? std::numeric_limits<std::int32_t>::max()
                           : ierr < 0 ? -ierr
                                      : ierr;
    ierr = n;
    const MessageText m = RFMTXT(n);
    const std::size_t level = static_cast<std::size_t>(m.level);
    const Level& lv = raf.levels[level];
    if (lv.unit1 == 0 && lv.unit2 == 0) return;

    // Header.
    std::string h = lv.marker + " RAFLIB " + io::fixed(lv.text, 11) + " - " + RFDATE(raf, 2) +
                    " - Routine " + io::fixed(routine, 6);
    h += label == 0 ? std::string(":") : " - Label " + io::fmt::I(label, 10) + ":";
    print_field(raf, lv, h);

    // File line.
    if (m.kind >= 1 && m.kind <= 4) print_field(raf, lv, message_file_line(raf, lv, m.kind, n));

    // Text line.
    const std::string t = " " + lv.marker + " " + RFSUBS(m.text, ivalue, avalue);
    if (lv.unit1 != 0) raf.units.write(lv.unit1, t);
    if (lv.unit2 != 0) raf.units.write(lv.unit2, t);

    if (m.level >= kLevelError) ierr = -n;
}

void RFTRAC(Raflib& raf, std::string_view routine) {
    const Level& lv = raf.levels[static_cast<std::size_t>(kLevelError)];
    for (const std::int32_t u : {lv.unit1, lv.unit2}) {
        if (u == 0) continue;
        raf.units.write(u, "");
        raf.units.write(u, " *** Error return from " + io::fixed(routine, 6));
    }
}

void RFIOER(Raflib& raf, std::int32_t& ierr, std::string_view routine, std::int32_t op) {
    const std::int64_t d = ierr < 0 ? -static_cast<std::int64_t>(ierr) : ierr;
    std::int32_t ivalue = kUndefined;
    std::int32_t n = 0;
    if (d >= 991 && d <= 995) {
        n = static_cast<std::int32_t>(d + 50);
    } else if (op == 1 || op == 2) {
        n = op == 1 ? 1035 : 1036;
        ivalue = static_cast<std::int32_t>(d > std::numeric_limits<std::int32_t>::max()
                                               ? std::numeric_limits<std::int32_t>::max()
                                               : d);
    } else {
        n = static_cast<std::int32_t>(d > std::numeric_limits<std::int32_t>::max()
                                          ? std::numeric_limits<std::int32_t>::max()
                                          : d);
    }
    ierr = n;
    RFMESS(raf, ierr, routine, 0, ivalue, "");
}

}  // namespace raflib
