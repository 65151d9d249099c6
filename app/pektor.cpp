#include "app/pektor.h"

#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dms/filopn.h"
#include "io/fmt.h"
#include "io/listin.h"
#include "io/text.h"
#include "io/textio.h"
#include "ops/combine.h"
#include "ops/common.h"
#include "ops/vector.h"
#include "raflib/files.h"

namespace app {

using dms::OPNTXT;
using io::ask_integer;
using io::ask_line;
using io::is_blank_answer;
using io::kAnswerLength;
using io::report_input_error;
using io::UPCASE;

namespace {

constexpr std::string_view kDashes = "---------------------------------------------";

constexpr std::array<std::string_view, 14> kStartBanner = {
    kDashes,
    kDashes,
    "----                                     ----",
    "----             P E K T O R             ----",
    "----                                     ----",
    "----      Finds maxima of Plot Data      ----",
    "----             extracted from          ----",
    "----           TAVRO dyn  files.         ----",
    "----                                     ----",
    "----             Version 1.4-01          ----",
    "----     PEKTOR team,  December 2026     ----",
    "----                                     ----",
    kDashes,
    kDashes,
};

constexpr std::array<std::string_view, 10> kOperationsMenu = {
    kDashes,
    "----       Available Operations.         ----",
    "----                                     ----",
    "----       Maximum of for one file   :1  ----",
    "----       Maxima     for two files      ----",
    "----       and compute ratio         :2  ----",
    "----       Statistics for one TS     :3  ----",
    "----       Combination of several TS :4  ----",
    "----       Vector length of two   TS :5  ----",
    kDashes,
};

constexpr std::array<std::string_view, 8> kSignMenu = {
    kDashes,
    "----       Sign Convension.              ----",
    "----                                     ----",
    "----       Peak Maximum            :  1  ----",
    "----       Peak Minimum            : -1  ----",
    "----       Max Peak of Abs(Value)  :  0  ----",
    "----       Peak Abs wiht sign      : -2  ----",
    kDashes,
};

// Title lines of the operation banners, operations 1 to 5.
constexpr std::array<std::string_view, 5> kTitles = {
    "----       Maximum from one dyn file.    ----",
    "----       Maxima  from two dyn files.   ----",
    "----       Statistics of Time Series.    ----",
    "----       Combination of Time Series.   ----",
    "----       Vector Length of Time Series. ----",
};

constexpr std::string_view kCompleted = "----       Successfully  Completed       ----";

constexpr std::string_view kAskOperation = "Select  Operation (see above)     :  ";
constexpr std::string_view kAskSign = "Select  Sign Convension           :  ";
constexpr std::string_view kAskDynFile = "Give dyn File Name  (incl extens) :  ";
constexpr std::string_view kAskReference = "Give Reference dyn File (incl ext):  ";
constexpr std::string_view kAskSecond = "Give Second    dyn File (incl ext):  ";
constexpr std::string_view kAskOutput = "Give Output File Name             :  ";
constexpr std::string_view kAskWindow = "Give First/Last time of TS /whole/:  ";
constexpr std::string_view kAskDynRes = "Give Dynres Number                :  ";

constexpr double kWholeSeriesEnd = 1.0E35;
constexpr double kTinyPeak = 1.0E-30;
constexpr std::int32_t kAllDynRes = -99;

void write_lines(io::Units& units, std::int32_t unit, std::span<const std::string_view> lines) {
    for (const std::string_view line : lines) units.write(unit, line);
}

void write_empty(io::Units& units, std::int32_t unit, int count) {
    for (int i = 0; i < count; ++i) units.write(unit, "");
}

// Two empty lines, dashes, the title, dashes and one empty line.
void write_banner(io::Units& units, std::int32_t unit, std::int32_t iop) {
    write_empty(units, unit, 2);
    units.write(unit, kDashes);
    units.write(unit, kTitles[static_cast<std::size_t>(iop - 1)]);
    units.write(unit, kDashes);
    write_empty(units, unit, 1);
}

void write_completion(io::Units& units, std::int32_t unit) {
    write_empty(units, unit, 2);
    units.write(unit, kDashes);
    units.write(unit, kCompleted);
    units.write(unit, kDashes);
    write_empty(units, unit, 1);
}

// Reads the time window from the answer: blank gives the whole series,
// otherwise two numbers, the first and the last time.
bool read_window(io::Units& units, const std::string& answer, double& first, double& last) {
    if (is_blank_answer(answer)) {
        first = 0.0;
        last = kWholeSeriesEnd;
        return true;
    }
    // Read twice with different start values: a time that keeps its start
    // value both times was not given (any typed value, NaN too, replaces it).
    std::array<double, 2> a = {0.0, 0.0};
    std::array<double, 2> b = {1.0, 1.0};
    for (auto* v : {&a, &b}) {
        const std::array<io::ListItem, 2> items = {&(*v)[0], &(*v)[1]};
        const int st = io::read_list(answer, items);
        if (st != 0 && st != io::kIostatEnd) {
            report_input_error(units, kAskWindow, io::iostat_text(st));
            return false;
        }
    }
    const auto given = [&](std::size_t i) { return !(a[i] == 0.0 && b[i] == 1.0); };
    if (!given(0) || !given(1)) {
        report_input_error(units, kAskWindow, "two numbers expected, the first and the last time");
        return false;
    }
    for (std::size_t i = 0; i < 2; ++i) {
        if (std::isnan(a[i])) {
            report_input_error(
                units, kAskWindow,
                std::string(i == 0 ? "the first" : "the last") + " time is not a number (NaN)");
            return false;
        }
    }
    first = a[0];
    last = a[1];
    return true;
}

// What a file written through the unit is to the run, for messages.
std::string_view file_kind(std::int32_t unit) {
    if (unit == kOutputUnit) return "Output file";
    if (unit == ops::kRafMessageUnit) return "RAFLIB message file";
    return "Side file";
}

// Registers the dyn files as files of this run, and refuses (one console line, false) an output
// file that is a dyn file of the run or any existing dyn file, and a side file of the operation
// that would overwrite a dyn file or the output file. Nothing is opened or written before this
// check.
bool check_files(io::Units& units, std::int32_t iop, const std::string& file1,
                 const std::string& file2, const std::string& outname) {
    const auto refuse = [&](const std::string& line) {
        units.write(kScreenUnit, "");
        units.write(kScreenUnit, line + ": refused, no file written");
        return false;
    };
    for (const std::string* f : {&file1, &file2}) units.protect(io::trim(*f), "dyn file");
    const std::string out(io::trim_right(outname));
    if (!out.empty()) {
        if (const auto p = units.protected_file(out)) {
            return refuse(" *** Output file \"" + out + "\" is the " + p->role + " \"" + p->name +
                          "\"");
        }
        if (raflib::looks_like_raflib_file(units.resolve(out))) {
            return refuse(" *** Output file \"" + out + "\" is an existing dyn file");
        }
    }
    std::vector<std::int32_t> side = {ops::kRafMessageUnit};
    if (iop == 4) side.push_back(ops::kResultantUnit);
    if (iop == 5) side.push_back(ops::kVectorUnit);
    for (const std::int32_t unit : side) {
        const std::string name = io::Units::default_name(unit);
        auto p = units.default_clash(unit);
        if (!p && !out.empty() && units.same_file(name, out)) p = {out, "output file"};
        if (p) return refuse(clash_line(file_kind(unit), name, *p));
    }
    return true;
}

// One console line for every failed write, flush, close or creation of a
// file of the run. True when there was any.
bool report_failures(io::Units& units) {
    if (units.failures().empty()) return false;
    units.write(kScreenUnit, "");
    for (const io::Units::Failure& f : units.failures()) {
        units.write(kScreenUnit, failure_line(file_kind(f.unit), f));
    }
    return true;
}

}  // namespace

std::int32_t pektor(dms::WorkArray& w, io::Units& units, ops::Operations& ops) {
    std::int32_t iop = 0;
    std::int32_t isign = 0;
    std::int32_t idr = 1;
    double first = 0.0;
    double last = 0.0;
    std::int32_t ierr = 0;
    const std::int32_t iscr = kScreenUnit;
    const std::int32_t iout = kOutputUnit;
    std::int32_t pass = 0;
    std::string file1(kAnswerLength, ' ');
    std::string file2(kAnswerLength, ' ');
    std::string outname(kAnswerLength, ' ');
    std::string answer(kAnswerLength, ' ');

    const io::UnitCloser closer(units, iout);  // the output file, however the dialogue ends
    const auto error_path = [&]() -> std::int32_t {
        ierr = -1;
        units.close(iout);
        units.flush_all();
        report_failures(units);
        return -1;
    };
    // The output file and every side file are checked before the completion
    // banner is written, and the output file again after its close.
    const auto completion = [&]() -> std::int32_t {
        units.flush_all();
        if (!units.failures().empty()) return error_path();
        write_completion(units, iout);
        units.close(iout);
        if (!units.failures().empty()) return error_path();
        write_completion(units, iscr);
        return 0;
    };

    write_empty(units, iscr, 4);
    write_lines(units, iscr, kStartBanner);
    write_empty(units, iscr, 2);
    write_lines(units, iscr, kOperationsMenu);
    if (ask_integer(units, kAskOperation, iop) != 0) return error_path();

    if (iop == 1 || iop == 2) {
        write_empty(units, iscr, 2);
        write_lines(units, iscr, kSignMenu);
        if (ask_integer(units, kAskSign, isign) != 0) return error_path();
    }

    if (iop >= 1 && iop <= 5) {
        write_banner(units, iscr, iop);
        if (iop == 2) {
            if (ask_line(units, kAskReference, file1) != 0) return error_path();
            if (ask_line(units, kAskSecond, file2) != 0) return error_path();
        } else {
            if (ask_line(units, kAskDynFile, file1) != 0) return error_path();
        }
    }

    if (ask_line(units, kAskOutput, outname) != 0) return error_path();
    if (!check_files(units, iop, file1, file2, outname)) return error_path();
    OPNTXT(units, outname, iout, 0, ierr);
    if (ierr != 0) {
        units.write(iscr, "");
        units.write(iscr, " *** Output file cannot be opened: \"" +
                              std::string(io::trim_right(outname)) + "\"");
        return error_path();
    }
    units.protect(io::trim_right(outname), "output file");

    answer.assign(kAnswerLength, ' ');
    if (ask_line(units, kAskWindow, answer) != 0) return error_path();
    if (!read_window(units, answer, first, last)) return error_path();

    // The listing call: opens the dyn file and lists its DynRes.
    idr = 0;
    ops.PEKTOR0(w, file1, first, last, idr, isign, iout, ierr);
    if (ierr != 0) return error_path();

    if (iop == 4 || iop == 5) {
        write_banner(units, iout, iop);
        if (iop == 4) {
            ops.Pektor4(w, file1, first, last, iout, ierr);
        } else {
            ops.Pektor5(w, file1, first, last, iout, ierr);
        }
        if (ierr != 0) return error_path();
        return completion();
    }

    for (;;) {
        ++pass;
        units.write(iscr, "  ");
        answer.assign(kAnswerLength, ' ');
        if (ask_line(units, kAskDynRes, answer) != 0) return error_path();
        if (is_blank_answer(answer)) return completion();
        UPCASE(answer, static_cast<std::int32_t>(kAnswerLength));
        if (answer.compare(0, 3, "ALL") == 0) {
            idr = kAllDynRes;
        } else {
            // A null answer (a comma or a slash alone) gives no number: it ends
            // the loop like a blank one.
            idr = 0;
            const std::array<io::ListItem, 1> items = {&idr};
            if (const int st = io::read_list(answer, items); st != 0) {
                report_input_error(units, kAskDynRes, io::iostat_text(st));
                return error_path();
            }
            if (idr < 1) return completion();
        }

        if (iop == 3) {
            if (pass == 1) write_banner(units, iout, iop);
            ops.Pektor3(w, file1, first, last, idr, iout, ierr);
            if (ierr != 0) return error_path();
            if (idr == kAllDynRes) return completion();
            continue;
        }

        const double p1 = ops.PEKTOR0(w, file1, first, last, idr, isign, iout, ierr);
        if (ierr != 0) return error_path();
        if (iop == 1) {
            const std::string line =
                " PeakValue for DynRes" + io::fmt::I(idr, 4) + " : " + io::fmt::E(p1, 13, 4);
            units.write(iscr, line);
            units.write(iout, line);
        } else if (iop == 2) {
            const double p2 = ops.PEKTOR0(w, file2, first, last, idr, isign, iout, ierr);
            if (ierr != 0) return error_path();
            const double daf = std::fabs(p1) > kTinyPeak ? p2 / p1 : 0.0;
            const std::string line = " PeakValues and DAF for DynRes " + io::fmt::I(idr, 4) +
                                     " : " + io::fmt::E(p1, 13, 4) + io::fmt::E(p2, 13, 4) +
                                     io::fmt::F(daf, 12, 3);
            units.write(iscr, line);
            units.write(iout, line);
        }
    }
}

}  // namespace app
