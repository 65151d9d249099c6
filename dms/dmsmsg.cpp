// The two DMS message routines.
#include <string>
#include <vector>

#include "dms/dms_internal.h"
#include "io/fmt.h"

namespace dms {

namespace {

constexpr std::string_view kHeader = " *** ERROR return from a  V E K  library routine";
constexpr std::string_view kIndent = "     ";
constexpr std::string_view kCannotDefine = "  cannot be defined/redefined";

// Message unit MCM(4), or 0 when nothing may be written.
std::int32_t message_unit(const WorkArray& mcm) {
    if (mcm.size() < 4) return 0;
    const std::int32_t unit = mcm.i(4);
    return unit >= 1 ? unit : 0;
}

void write_header(io::Units& u, std::int32_t unit) {
    for (int i = 0; i < 3; ++i) u.write(unit, "");
    u.write(unit, kHeader);
}

void write_lines(io::Units& u, std::int32_t unit, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) u.write(unit, std::string(kIndent) + line);
}

void write_label(io::Units& u, std::int32_t unit, std::int32_t label) {
    u.write(unit, std::string(kIndent) + "Detected by a DMS-routine called with label" +
                      io::fmt::I(label, 6));
}

}  // namespace

void DMSMS1(WorkArray& mcm, io::Units& u, std::int32_t code, std::string_view name,
            std::int64_t value, std::int32_t label) {
    if (code < 50) detail::count_error(mcm);
    const std::int32_t unit = message_unit(mcm);
    if (unit == 0) return;

    const std::string nm(name);
    std::vector<std::string> lines;
    switch (code) {
        case 11:
            lines = {"Array name  " + nm + "  is too long"};
            break;
        case 12:
            lines = {"Illegal character encountered in array name  " + nm};
            break;
        case 13:
            lines = {"Illegal \"character number\" ( =" + io::fmt::I(value, 10) + " ) encountered",
                     "during conversion from numbers to name - corrupt data?"};
            break;
        case 14:
            lines = {"Subroutine DMSANN is called out of order",
                     "(or the DMS \"book-keeping-system\" is corrupt)"};
            break;
        case 15:
            lines = {"The DMS \"book-keeping-system\" exceeds available",
                     "storage space in work array by " + io::fmt::I(value, 6) + " words"};
            break;
        case 17:
            lines = {"Array  " + nm + std::string(kCannotDefine),
                     "The array name already exists (for array no." + io::fmt::I(value, 5) + ")"};
            break;
        case 20:
            lines = {"Array  " + nm + std::string(kCannotDefine),
                     "The DMS \"book-keeping-system\" is corrupt"};
            break;
        case 21:
            lines = {"Array  " + nm + std::string(kCannotDefine),
                     "Illegal array number ( =" + io::fmt::I(value, 5) + " ) requested"};
            break;
        case 22:
            lines = {"Storage allocation/release attempted for a non-",
                     "existing array (" + nm + ")"};
            break;
        case 23:
            lines = {"Name requested for an illegal array number (=" + io::fmt::I(value, 5) + ")"};
            break;
        case 24:
            lines = {"Pointer requested for an undefined array (" + nm + ")"};
            break;
        case 25:
            lines = {"Inconsistent (corrupt) DMS-info for array " + nm};
            break;
        case 51:
            lines = {"Occured for array  " + nm};
            break;
        default:
            break;
    }

    if (code >= 11 && code <= 49) write_header(u, unit);
    write_lines(u, unit, lines);
    if (code != 14 && code != 51) write_label(u, unit, label);
}

void DMSMS2(WorkArray& mcm, io::Units& u, std::int32_t code, std::int64_t v1, std::int64_t v2,
            std::int64_t v3, std::int32_t label) {
    const std::int32_t unit = message_unit(mcm);
    if (unit == 0) return;

    std::vector<std::string> lines;
    switch (code) {
        case 12:
            lines = {"Illegal number of words per element ( =" + io::fmt::I(v1, 4) + " )",
                     "specified for array number" + io::fmt::I(v2, 5)};
            break;
        case 13:
            lines = {"The DMS \"book-keeping-system\" (MCM) is corrupt"};
            break;
        case 14:
            lines = {"Available primary (\"core\") storage (of" + io::fmt::I(v1, 8) + " words)",
                     "exceeded (by" + io::fmt::I(v2, 7) + " words) for array number" +
                         io::fmt::I(v3, 5)};
            break;
        case 26:
            lines = {"Negative dimension specified for array number" + io::fmt::I(v1, 5)};
            break;
        case 30:
            lines = {"Attempt to redefine an array ( no." + io::fmt::I(v1, 5) + " ) for which",
                     "primary storage is already reserved"};
            break;
        default:
            break;
    }

    write_header(u, unit);
    write_lines(u, unit, lines);
    if (label != 0) write_label(u, unit, label);
}

}  // namespace dms
