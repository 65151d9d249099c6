// The files read through the dialogue's own machinery: the recall prologue
// and the gathering of all series, in a work array of this object, with the
// library's messages caught in memory and in a private scratch directory.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "app/batch/source.h"
#include "dms/dms.h"
#include "dms/work_array.h"
#include "io/text.h"
#include "io/units.h"
#include "ops/common.h"
#include "ops/extract.h"
#include "raflib/raflib.h"
#include "store/store.h"

namespace app::batch {

namespace {

namespace fs = std::filesystem;

// A private directory for the library's message file, removed at the end.
class PrivateDir {
  public:
    PrivateDir() {
        std::string pattern = (fs::temp_directory_path() / "pektor-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~PrivateDir() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    PrivateDir(const PrivateDir&) = delete;
    PrivateDir& operator=(const PrivateDir&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

std::string trimmed(std::string_view s) {
    const auto b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" :");
    return std::string(s.substr(b, e - b + 1));
}

std::string one_line(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::string best;
    while (std::getline(in, line)) {
        const std::string t(io::trim_right(line));
        const auto start = t.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        std::string s = t.substr(start);
        if (s.starts_with("*** ERROR IN")) continue;
        if (best.empty())
            best = s;
        else if (best.size() < 200)
            best += "; " + s;
    }
    return best.empty() ? "cannot be read" : best;
}

class ClassicSource final : public SeriesSource {
  public:
    ClassicSource() : units_(keyboard_, console_, dir_.path()), raf_(units_), st_(units_, raf_) {}

    bool open(const fs::path& file, std::string& error) {
        std::error_code ec;
        if (!fs::exists(file, ec)) {
            error = "no such file";
            return false;
        }
        if (fs::is_directory(file, ec)) {
            error = "is a directory";
            return false;
        }
        const auto size = fs::file_size(file, ec);
        const double words = ec ? 4.0e6 : static_cast<double>(size) / 2.0 + 4.0e6;
        w_ = std::make_unique<dms::WorkArray>(static_cast<std::int32_t>(std::min(words, 2.0e9)));
        std::int32_t ierr = 0;
        const std::string name = fs::absolute(file).string();
        ops::Parameters p;
        if (!ops::recall_prologue(st_, *w_, name, ops::kConsole, p, ierr) ||
            !ops::finish_prologue(st_, *w_, ops::kConsole, p, ierr)) {
            error = message();
            return false;
        }
        const auto icdynr = ops::array_words(st_, *w_, "ICDYNR", ops::kConsole, ierr);
        for (std::int32_t m = 1; m <= p.ndynres && ierr == 0; ++m) {
            std::string label(256, ' ');
            ops::XWRI04_C(units_, icdynr, p.ncol, m, label, ops::kConsole, ierr);
            contents_.dynres.push_back({m, std::string(io::trim_right(label))});
        }
        if (ierr != 0) {
            error = message();
            return false;
        }
        ndynres_ = p.ndynres;
        contents_.steps = p.ndrstep;
        const std::int32_t all = store::ARGTIP(st_, *w_, "ALL_TS", ops::kConsole, ierr);
        const std::int64_t len = dms::DMSINQ(*w_, "ALL_TS", 1);
        if (ierr != 0 || len < 0) {
            error = message();
            return false;
        }
        all_ = all;
        q_ = len / (ndynres_ + 1);
        if (contents_.steps > q_) contents_.steps = q_;
        if (contents_.steps > 0) {
            contents_.t_first = w_->f(all_);
            contents_.t_last = w_->f(all_ + contents_.steps - 1);
        }
        return true;
    }

    const FileContents& contents() const override { return contents_; }

    bool read(const Window& window, std::span<const std::int32_t> dynres, WindowSeries& out,
              std::string& error) override {
        out.times.clear();
        out.values.assign(dynres.size(), {});
        for (const std::int32_t k : dynres) {
            if (k < 1 || k > ndynres_) {
                error = "no DynRes " + std::to_string(k);
                return false;
            }
        }
        for (std::int64_t j = 0; j < contents_.steps; ++j) {
            const float t = w_->f(all_ + j);
            if (t < window.first) continue;
            if (t > window.last) break;
            out.times.push_back(t);
            for (std::size_t c = 0; c < dynres.size(); ++c)
                out.values[c].push_back(w_->f(all_ + dynres[c] * q_ + j));
        }
        return true;
    }

  private:
    std::string message() {
        std::string text = console_.str();
        units_.close(ops::kRafMessageUnit);
        std::ifstream f(dir_.path() / "fort.23");
        std::string line;
        bool next = false;
        std::string number;
        while (std::getline(f, line)) {
            const std::string t = trimmed(line);
            if (next)
                return t.substr(t.starts_with("*** ") ? 4 : 0) + " (RAFLIB message " + number + ")";
            if (const auto at = t.find("Msg_no "); at != std::string::npos) {
                number = trimmed(t.substr(at + 7));
                next = true;
            }
        }
        return one_line(text);
    }

    PrivateDir dir_;
    std::istringstream keyboard_;
    std::ostringstream console_;
    io::Units units_;
    raflib::Raflib raf_;
    store::Store st_;
    std::unique_ptr<dms::WorkArray> w_;
    FileContents contents_;
    std::int32_t ndynres_ = 0;
    std::int64_t all_ = 0;
    std::int64_t q_ = 0;
};

}  // namespace

std::unique_ptr<SeriesSource> open_source(const std::filesystem::path& file, std::string& error) {
    auto s = std::make_unique<ClassicSource>();
    try {
        if (!s->open(file, error)) return nullptr;
    } catch (const std::bad_alloc&) {
        error = "not enough memory to read it";
        return nullptr;
    } catch (const std::exception& e) {
        error = std::string("cannot be read: ") + e.what();
        return nullptr;
    }
    return s;
}

}  // namespace app::batch
