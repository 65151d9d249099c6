#include "app/pektor.h"

#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "app/textio.h"
#include "io/fmt.h"
#include "io/listin.h"
#include "io/text.h"

namespace app {

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
    if (io::is_blank(answer)) {
        first = 0.0;
        last = kWholeSeriesEnd;
        return true;
    }
    constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();
    double a = kUnset;
    double b = kUnset;
    const std::array<io::ListItem, 2> items = {&a, &b};
    const int st = io::read_list(answer, items);
    if (st != 0 && st != io::kIostatEnd) {
        report_input_error(units, kAskWindow, io::iostat_text(st));
        return false;
    }
    if (st == io::kIostatEnd || std::isnan(a) || std::isnan(b)) {
        report_input_error(units, kAskWindow, "two numbers expected, the first and the last time");
        return false;
    }
    first = a;
    last = b;
    return true;
}

// Closes the output unit however the dialogue ends.
class CloseOnExit {
  public:
    CloseOnExit(io::Units& units, std::int32_t unit) : units_(units), unit_(unit) {}
    ~CloseOnExit() { units_.close(unit_); }
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;

  private:
    io::Units& units_;
    std::int32_t unit_;
};

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

    const CloseOnExit closer(units, iout);
    const auto error_path = [&]() -> std::int32_t {
        ierr = -1;
        units.close(iout);
        return -1;
    };
    const auto completion = [&]() -> std::int32_t {
        write_completion(units, iscr);
        write_completion(units, iout);
        units.close(iout);
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
    OPNTXT(units, outname, iout, 0, ierr);
    if (ierr != 0) {
        units.write(iscr, "");
        units.write(iscr, " *** Output file cannot be opened: \"" +
                              std::string(io::trim_right(outname)) + "\"");
        return error_path();
    }

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
        if (io::is_blank(answer)) return completion();
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
