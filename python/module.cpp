// The extension of the Python module pektor: dyn files read into numpy
// arrays through the batch sources, the rows of the batch commands, the
// analyses of the analysis library on arrays, and the dyn-file writer. The
// Python side (pektor/__init__.py) turns rows into DataFrames and failures
// into warnings; here every fault becomes a Python exception.
#include <fcntl.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "analysis/argument_error.h"
#include "analysis/butterworth.h"
#include "analysis/extremes.h"
#include "analysis/rainflow.h"
#include "analysis/welch.h"
#include "batch/command_rows.h"
#include "batch/commands.h"
#include "batch/extremes.h"
#include "batch/fatigue.h"
#include "batch/options.h"
#include "batch/params.h"
#include "batch/runner.h"
#include "batch/source.h"
#include "batch/table.h"
#include "reader/series_reader.h"
#include "tools/dynres_writer.h"

namespace py = pybind11;

namespace {

// A file that cannot be read: raised as pektor.DynFileError(path, reason).
struct FileFailure {
    std::string path;
    std::string reason;
};

// Memory handed to numpy: freed by the array's capsule. Small buffers come
// from malloc; large ones from an anonymous map aligned to 2 MiB and advised
// for huge pages, so that filling them takes a page fault per 2 MiB instead
// of one per 4 KiB (most of the time of a large read otherwise).
class Floats {
  public:
    Floats() = default;
    Floats(const Floats&) = delete;
    Floats& operator=(const Floats&) = delete;
    ~Floats() { free_memory(data_, capacity_); }

    float* data() const { return data_; }
    std::size_t size() const { return size_; }

    void reserve(std::size_t n) {
        if (n <= capacity_) return;
        n = std::max<std::size_t>(n, 1);
        float* p = allocate(n);
        if (size_ > 0) std::memcpy(p, data_, size_ * sizeof(float));
        free_memory(data_, capacity_);
        data_ = p;
        capacity_ = n;
    }
    float* grow(std::size_t n) {
        if (size_ + n > capacity_) reserve(std::max(size_ + n, capacity_ + capacity_ / 2));
        float* at = data_ + size_;
        size_ += n;
        return at;
    }
    // The memory and its owner for numpy (freed when the array goes).
    py::capsule release(float*& p) {
        if (data_ == nullptr) reserve(1);  // numpy's owner needs memory even for no sample
        p = data_;
        auto* owner = new Owned{data_, capacity_};
        data_ = nullptr;
        size_ = capacity_ = 0;
        return py::capsule(owner, [](void* q) {
            auto* o = static_cast<Owned*>(q);
            free_memory(o->data, o->capacity);
            delete o;
        });
    }

  private:
    struct Owned {
        float* data;
        std::size_t capacity;
    };
    static constexpr std::size_t kHuge = std::size_t{2} << 20;

    static bool mapped(std::size_t n) { return n * sizeof(float) >= 2 * kHuge; }
    static std::size_t map_bytes(std::size_t n) { return n * sizeof(float) + kHuge; }

    static float* allocate(std::size_t n) {
        if (!mapped(n)) {
            void* p = std::malloc(n * sizeof(float));
            if (p == nullptr) throw std::bad_alloc();
            return static_cast<float*>(p);
        }
        // Mapped with room to start on a 2 MiB boundary; the start of the
        // map is found again from the aligned address on release.
        const std::size_t bytes = map_bytes(n);
        void* m =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) throw std::bad_alloc();
        const auto base = reinterpret_cast<std::uintptr_t>(m);
        const std::uintptr_t aligned = (base + kHuge - 1) & ~(kHuge - 1);
        // The head before the boundary and the tail after the buffer go back.
        if (aligned > base) ::munmap(m, aligned - base);
        const std::size_t keep = round_up(n * sizeof(float));
        const std::uintptr_t end = base + bytes;
        if (aligned + keep < end)
            ::munmap(reinterpret_cast<void*>(aligned + keep), end - aligned - keep);
        ::madvise(reinterpret_cast<void*>(aligned), keep, MADV_HUGEPAGE);
        return reinterpret_cast<float*>(aligned);
    }
    static std::size_t round_up(std::size_t bytes) {
        const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        return (bytes + page - 1) / page * page;
    }
    static void free_memory(float* p, std::size_t n) {
        if (p == nullptr) return;
        if (mapped(n)) {
            ::munmap(p, round_up(n * sizeof(float)));
        } else {
            std::free(p);
        }
    }

    float* data_ = nullptr;
    std::size_t size_ = 0;      // floats in use
    std::size_t capacity_ = 0;  // floats allocated
};

py::array_t<float> to_array(Floats& f, std::vector<py::ssize_t> shape) {
    float* p = nullptr;
    py::capsule owner = f.release(p);
    return py::array_t<float>(shape, p, owner);
}

// The -c values of a dynres argument: None (all), a number, a text (as -c
// takes it), or a list of numbers and texts.
std::vector<std::string> dynres_values(const py::object& dynres) {
    std::vector<std::string> values;
    const auto one = [&](const py::handle& h) {
        if (py::isinstance<py::bool_>(h))
            throw py::value_error("dynres: a number or a text, not a bool");
        if (py::isinstance<py::int_>(h)) {
            values.push_back(py::str(h).cast<std::string>());
        } else if (py::isinstance<py::str>(h)) {
            values.push_back(h.cast<std::string>());
        } else {
            throw py::value_error("dynres: a number, a text or a list of them, not " +
                                  py::str(py::type::of(h)).cast<std::string>());
        }
    };
    if (dynres.is_none()) return values;
    if (py::isinstance<py::str>(dynres) || py::isinstance<py::int_>(dynres)) {
        one(dynres);
    } else {
        for (const py::handle h : py::iterable(dynres)) one(h);
        if (values.empty()) throw py::value_error("dynres: the list is empty");
    }
    return values;
}

batch::ChannelList channels_of(const py::object& dynres) {
    return batch::parse_channels(dynres_values(dynres));
}

// The text of a window end as the command line would read it back.
std::string end_text(const py::handle& h) {
    if (h.is_none()) return {};
    if (!py::isinstance<py::int_>(h) && !py::isinstance<py::float_>(h) &&
        !py::hasattr(h, "__float__"))
        throw py::value_error("window: the ends are numbers or None");
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", h.cast<double>());
    return text;
}

// window: None, (t0, t1) with None for an open end, or "T0:T1".
std::pair<batch::Window, std::string> window_of(const py::object& window) {
    if (window.is_none()) return {batch::Window{}, std::string()};
    std::string text;
    if (py::isinstance<py::str>(window)) {
        text = window.cast<std::string>();
    } else {
        const py::sequence s = py::reinterpret_borrow<py::sequence>(window);
        if (!py::isinstance<py::sequence>(window) || py::len(s) != 2)
            throw py::value_error("window: (t0, t1), None for an open end, or 'T0:T1'");
        text = end_text(s[0]) + ":" + end_text(s[1]);
    }
    return {batch::parse_window(text), text};
}

// One open dyn file.
class File {
  public:
    explicit File(std::string path) : path_(std::move(path)) {
        std::string error;
        {
            py::gil_scoped_release release;
            src_ = batch::open_source(path_, error, &buffers_);
        }
        if (!src_) throw FileFailure{path_, error};
    }

    const std::string& path() const { return path_; }
    void close() { src_.reset(); }
    bool closed() const { return !src_; }

    batch::SeriesSource& source() {
        if (!src_) throw py::value_error("I/O operation on a closed file: " + path_);
        return *src_;
    }
    const batch::FileContents& contents() {
        if (!src_) throw py::value_error("I/O operation on a closed file: " + path_);
        return src_->contents();
    }

    std::vector<std::int32_t> resolve(const py::object& dynres) {
        const batch::ChannelList list = channels_of(dynres);
        std::vector<std::int32_t> numbers;
        std::string error;
        if (!batch::resolve_channels(list, contents(), numbers, error))
            throw py::value_error(path_ + ": " + error);
        return numbers;
    }

    // Times and values of the DynRes inside the window, the values one row
    // per sample: filled straight from the read blocks.
    py::tuple read(const py::object& dynres, const py::object& window) {
        const std::vector<std::int32_t> numbers = resolve(dynres);
        const batch::Window w = window_of(window).first;
        batch::SeriesSource& src = source();
        const std::size_t k = numbers.size();
        Floats t;
        Floats x;
        std::string error;
        bool ok = false;
        {
            py::gil_scoped_release release;
            // One read at a time: the reader and its buffers serve one thread.
            const std::lock_guard<std::mutex> lock(mutex_);
            // The whole series of consecutive DynRes: read straight into
            // the arrays where the file allows.
            bool consecutive = k > 0;
            for (std::size_t j = 0; j < k; ++j)
                consecutive =
                    consecutive && numbers[j] == numbers[0] + static_cast<std::int32_t>(j);
            const bool whole =
                std::isinf(w.first) && w.first < 0 && std::isinf(w.last) && w.last > 0;
            if (const auto n = consecutive && whole ? src.whole_count() : std::nullopt) {
                t.grow(static_cast<std::size_t>(*n));
                x.grow(static_cast<std::size_t>(*n) * k);
                ok = src.read_whole(numbers[0], static_cast<std::int32_t>(k), t.data(), x.data(),
                                    error);
            } else {
                ok = stream_into(src, w, numbers, t, x, error);
            }
        }
        if (!ok) throw FileFailure{path_, error};
        const auto n = static_cast<py::ssize_t>(t.size());
        return py::make_tuple(to_array(t, {n}), to_array(x, {n, static_cast<py::ssize_t>(k)}));
    }

    // The samples of the window through the blocks of the stream.
    static bool stream_into(batch::SeriesSource& src, const batch::Window& w,
                            const std::vector<std::int32_t>& numbers, Floats& t, Floats& x,
                            std::string& error) {
        const std::size_t k = numbers.size();
        const std::optional<std::int64_t> hint = src.count_hint(w);
        if (hint && *hint > 0) {
            t.reserve(static_cast<std::size_t>(*hint));
            x.reserve(static_cast<std::size_t>(*hint) * k);
        }
        return src.stream_blocks(
            w, numbers, [&](const batch::SampleBlock& b) { append(b, k, t, x); }, error);
    }

    static void append(const batch::SampleBlock& b, std::size_t k, Floats& t, Floats& x) {
        float* tt = t.grow(b.count);
        float* xx = x.grow(b.count * k);
        bool consecutive = true;
        for (std::size_t j = 0; j < k; ++j)
            consecutive = consecutive && b.columns[j] == b.columns[0] + j;
        for (std::size_t i = 0; i < b.count; ++i) {
            const float* s = b.sample(i);
            tt[i] = s[0];
            if (consecutive && k > 0) {
                std::memcpy(xx + i * k, s + b.columns[0], k * sizeof(float));
            } else {
                for (std::size_t j = 0; j < k; ++j) xx[i * k + j] = s[b.columns[j]];
            }
        }
    }

  private:
    std::string path_;
    reader::ReadBuffers buffers_;
    std::mutex mutex_;
    std::unique_ptr<batch::SeriesSource> src_;
};

// The blocks of a window, read on a thread of their own that hands over one
// block at a time.
class Blocks {
  public:
    // The blocks read the file through a reader of their own, so that the
    // file's reads and other iterators go on beside them.
    Blocks(File& file, const py::object& dynres, const py::object& window, std::int64_t steps)
        : path_(file.path()), numbers_(file.resolve(dynres)) {
        if (steps < 1) throw py::value_error("steps: at least 1");
        window_ = window_of(window).first;
        steps_ = static_cast<std::size_t>(steps);
        std::string error;
        {
            py::gil_scoped_release release;
            src_ = batch::open_source(path_, error, &buffers_);
        }
        if (!src_) throw FileFailure{path_, error};
        if (src_->contents().dynres.size() != file.contents().dynres.size())
            throw FileFailure{path_, "the file changed since it was opened"};
        thread_ = std::thread([this] { produce(); });
    }
    ~Blocks() { stop(); }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(m_);
            cancelled_ = true;
        }
        cv_.notify_all();
        if (thread_.joinable()) {
            py::gil_scoped_release release;
            thread_.join();
        }
    }

    py::tuple next() {
        std::unique_ptr<Floats> t;
        std::unique_ptr<Floats> x;
        {
            py::gil_scoped_release release;
            std::unique_lock<std::mutex> lock(m_);
            cv_.wait(lock, [&] { return ready_ || done_; });
            if (ready_) {
                t = std::move(t_ready_);
                x = std::move(x_ready_);
                ready_ = false;
                cv_.notify_all();
            }
        }
        if (!t) {
            if (!ok_) {
                ok_ = true;  // raised once
                throw FileFailure{path_, error_};
            }
            throw py::stop_iteration();
        }
        const auto n = static_cast<py::ssize_t>(t->size());
        return py::make_tuple(to_array(*t, {n}),
                              to_array(*x, {n, static_cast<py::ssize_t>(numbers_.size())}));
    }

  private:
    // Hands the block being filled over; false when the iterator is gone.
    bool hand_over() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [&] { return !ready_ || cancelled_; });
        if (cancelled_) return false;
        t_ready_ = std::move(t_);
        x_ready_ = std::move(x_);
        ready_ = true;
        cv_.notify_all();
        return true;
    }

    void produce() {
        const std::size_t k = numbers_.size();
        bool go = true;
        std::string error;
        const bool ok = src_->stream_blocks(
            window_, numbers_,
            [&](const batch::SampleBlock& b) {
                std::size_t from = 0;
                while (go && from < b.count) {
                    if (!t_) {
                        t_ = std::make_unique<Floats>();
                        x_ = std::make_unique<Floats>();
                        t_->reserve(steps_);
                        x_->reserve(steps_ * k);
                    }
                    const std::size_t take = std::min(b.count - from, steps_ - t_->size());
                    batch::SampleBlock part = b;
                    part.data = b.sample(from);
                    part.count = take;
                    File::append(part, k, *t_, *x_);
                    from += take;
                    if (t_->size() == steps_) go = hand_over();
                }
            },
            error);
        if (go && ok && t_ && t_->size() > 0) hand_over();
        std::lock_guard<std::mutex> lock(m_);
        ok_ = ok;
        error_ = error;
        done_ = true;
        cv_.notify_all();
    }

    std::string path_;
    reader::ReadBuffers buffers_;
    std::unique_ptr<batch::SeriesSource> src_;
    std::vector<std::int32_t> numbers_;
    batch::Window window_;
    std::size_t steps_ = 0;
    std::unique_ptr<Floats> t_, x_;              // being filled (producer)
    std::unique_ptr<Floats> t_ready_, x_ready_;  // handed over
    std::mutex m_;
    std::condition_variable cv_;
    bool ready_ = false;
    bool done_ = false;
    bool cancelled_ = false;
    bool ok_ = true;
    std::string error_;
    std::thread thread_;
};

py::object cell_object(const batch::Cell& c) {
    if (const auto* s = std::get_if<std::string>(&c)) return py::str(*s);
    if (const auto* i = std::get_if<std::int64_t>(&c)) return py::int_(*i);
    if (const auto* f = std::get_if<float>(&c)) return py::float_(static_cast<double>(*f));
    if (const auto* d = std::get_if<double>(&c)) return py::float_(*d);
    return py::none();
}

// The kind of a column: "text", "int", "stored" (single precision), "double"
// or "" (no value in any row).
std::string cell_kind(const batch::Cell& c) {
    switch (c.index()) {
        case 1:
            return "text";
        case 2:
            return "int";
        case 3:
            return "stored";
        case 4:
            return "double";
        default:
            return "";
    }
}

// Runs one batch command over the files: (columns, kinds, rows, failures,
// warnings) with failures [(file, reason)] and warnings [(file, text)].
// The option values as the command line takes them, from the keyword
// arguments of the Python function (texts, lists of texts, flags).
batch::RawOptions raw_options(const std::vector<std::string>& files, const py::object& dynres,
                              const py::object& window, const py::dict& options) {
    batch::RawOptions raw;
    raw.files = files;
    raw.channels = dynres_values(dynres);
    raw.window = window_of(window).second;
    const std::pair<const char*, std::string batch::RawOptions::*> texts[] = {
        {"moments", &batch::RawOptions::moments},
        {"sign", &batch::RawOptions::sign},
        {"ref", &batch::RawOptions::ref},
        {"input", &batch::RawOptions::input},
        {"neq", &batch::RawOptions::neq},
        {"feq", &batch::RawOptions::feq},
        {"residuals", &batch::RawOptions::residuals},
        {"bins", &batch::RawOptions::bins},
        {"fit", &batch::RawOptions::fit},
        {"duration", &batch::RawOptions::duration},
        {"group", &batch::RawOptions::group},
        {"filter", &batch::RawOptions::filter},
        {"filter_order", &batch::RawOptions::filter_order},
        {"max_memory", &batch::RawOptions::max_memory},
        {"nperseg", &batch::RawOptions::nperseg},
        {"overlap", &batch::RawOptions::overlap},
        {"jobs", &batch::RawOptions::jobs},
    };
    const std::pair<const char*, std::vector<std::string> batch::RawOptions::*> lists[] = {
        {"coincident", &batch::RawOptions::coincident},
        {"m", &batch::RawOptions::wohler},
        {"quantiles", &batch::RawOptions::quantiles},
    };
    const std::pair<const char*, bool batch::RawOptions::*> flags[] = {
        {"cycles", &batch::RawOptions::cycles},
        {"curve", &batch::RawOptions::curve},
    };
    for (const auto& [key, value] : options) {
        const std::string name = py::str(key);
        if (value.is_none()) continue;
        bool known = false;
        for (const auto& [k, field] : texts) {
            if (name == k) {
                raw.*field = py::str(value);
                known = true;
            }
        }
        for (const auto& [k, field] : lists) {
            if (name != k) continue;
            known = true;
            if (name == "coincident") {
                raw.*field = dynres_values(py::reinterpret_borrow<py::object>(value));
            } else {
                for (const py::handle h : py::reinterpret_borrow<py::iterable>(value))
                    (raw.*field).push_back(py::str(h));
            }
        }
        for (const auto& [k, field] : flags) {
            if (name == k) {
                raw.*field = value.cast<bool>();
                known = true;
            }
        }
        if (!known) throw py::value_error("unknown option '" + name + "'");
    }
    return raw;
}

py::tuple run(const std::string& command, const std::vector<std::string>& files,
              const py::object& dynres, const py::object& window, const py::dict& options) {
    if (command == "export" || command == "plot" || command == "report" || command == "list")
        throw py::value_error("'" + command + "' has no rows here");
    batch::Params p = batch::make_params(command, raw_options(files, dynres, window, options));
    p.quiet = true;

    batch::CommandRows run;
    py::list warnings;
    {
        py::gil_scoped_release release;
        std::string file, error;
        std::vector<std::string> notes;
        if (!batch::read_command_inputs(p, file, error, notes)) {
            py::gil_scoped_acquire acquire;
            if (command == "combine") throw py::value_error(file + ": " + error);
            throw FileFailure{file, error};
        }
        batch::RunOptions ro;
        ro.command = command;
        ro.jobs = p.jobs;
        ro.warnings = false;
        std::ostringstream err;
        run = batch::command_rows(p, ro, err);
        py::gil_scoped_acquire acquire;
        for (const std::string& n : notes) warnings.append(py::make_tuple(std::string(), n));
    }
    py::list failures;
    for (std::size_t i = 0; i < run.results.size(); ++i) {
        if (!run.results[i].ok) failures.append(py::make_tuple(p.files[i], run.results[i].error));
        for (const std::string& w : run.results[i].warnings)
            warnings.append(py::make_tuple(p.files[i], w));
    }
    for (const std::string& w : run.warnings) warnings.append(py::make_tuple(std::string(), w));
    const std::vector<std::string>& columns = run.columns;
    const std::vector<batch::Row>& rows = run.rows;
    std::vector<std::string> kinds(columns.size());
    py::list out;
    for (const batch::Row& row : rows) {
        py::list cells;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const batch::Cell cell = c < row.size() ? row[c] : batch::Cell{};
            if (kinds[c].empty()) kinds[c] = cell_kind(cell);
            cells.append(cell_object(cell));
        }
        out.append(cells);
    }
    return py::make_tuple(columns, kinds, out, failures, warnings);
}

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::span<const double> span_of(const Doubles& a) {
    if (a.ndim() != 1) throw py::value_error("a one-dimensional array is needed");
    return {a.data(), static_cast<std::size_t>(a.size())};
}

py::array_t<double> array_of(const std::vector<double>& v) {
    py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
    if (!v.empty()) std::memcpy(a.mutable_data(), v.data(), v.size() * sizeof(double));
    return a;
}

analysis::Residuals residuals_of(const std::string& r) {
    if (r == "half") return analysis::Residuals::half;
    if (r == "full") return analysis::Residuals::full;
    throw py::value_error("residuals '" + r + "' is not half or full");
}

analysis::Tail tail_of(const std::string& t) {
    if (t == "max") return analysis::Tail::max;
    if (t == "min") return analysis::Tail::min;
    throw py::value_error("tail '" + t + "' is not max or min");
}

py::tuple rainflow(const Doubles& x, const std::string& residuals) {
    const auto s = span_of(x);
    const auto r = residuals_of(residuals);
    std::vector<analysis::RainflowCycle> cycles;
    {
        py::gil_scoped_release release;
        cycles = analysis::rainflow(s, r);
    }
    std::vector<double> ranges, means, counts;
    for (const auto& c : cycles) {
        ranges.push_back(c.range);
        means.push_back(c.mean);
        counts.push_back(c.count);
    }
    return py::make_tuple(array_of(ranges), array_of(means), array_of(counts));
}

py::object del(const Doubles& x, const std::vector<double>& m, double neq,
               const std::string& residuals) {
    const auto s = span_of(x);
    const auto r = residuals_of(residuals);
    for (const double e : m) {
        if (!(e > 0.0) || !std::isfinite(e)) throw py::value_error("m: Woehler exponents above 0");
    }
    if (m.empty()) throw py::value_error("m: at least one Woehler exponent");
    if (!(neq > 0.0) || !std::isfinite(neq)) throw py::value_error("neq: a finite number above 0");
    std::vector<std::optional<double>> dels;
    {
        py::gil_scoped_release release;
        analysis::DamageSum sum(m);
        for (const auto& c : analysis::rainflow(s, r)) sum.add(c);
        for (std::size_t k = 0; k < m.size(); ++k) dels.push_back(sum.del(k, neq));
    }
    py::list out;
    for (const auto& d : dels)
        out.append(d ? py::object(py::float_(*d)) : py::object(py::float_(NAN)));
    return out;
}

py::dict psd(const Doubles& x, double fs, std::size_t nperseg, double overlap) {
    const auto s = span_of(x);
    analysis::WelchOptions o;
    o.nperseg = nperseg;
    o.overlap = overlap;
    analysis::WelchResult w;
    analysis::SpectralMoments mo;
    {
        py::gil_scoped_release release;
        w = analysis::welch(s, fs, o);
        mo = analysis::spectral_moments(w.freqs, w.psd);
    }
    const auto opt = [](const std::optional<double>& v) { return v ? *v : NAN; };
    py::dict d;
    d["freqs"] = array_of(w.freqs);
    d["psd"] = array_of(w.psd);
    d["nperseg"] = w.freqs.empty() ? 0 : (w.freqs.size() - 1) * 2;
    d["segments"] = w.segments;
    d["df"] = w.df;
    d["m0"] = mo.m0;
    d["m1"] = mo.m1;
    d["m2"] = mo.m2;
    d["m4"] = mo.m4;
    d["tz_spec"] = opt(mo.tz_spec);
    d["t01"] = opt(mo.t01);
    d["tp"] = opt(mo.tp);
    d["fp"] = mo.fp;
    d["bandwidth"] = opt(mo.bandwidth);
    return d;
}

py::array_t<double> filter(const Doubles& x, double fs, const std::string& kind, double f1,
                           double f2, int order) {
    const auto s = span_of(x);
    analysis::FilterSettings fset;
    if (kind == "low")
        fset.kind = analysis::FilterKind::low;
    else if (kind == "high")
        fset.kind = analysis::FilterKind::high;
    else if (kind == "band")
        fset.kind = analysis::FilterKind::band;
    else if (kind == "stop")
        fset.kind = analysis::FilterKind::stop;
    else
        throw py::value_error("kind '" + kind + "' is not low, high, band or stop");
    fset.order = order;
    fset.f1 = f1;
    fset.f2 = f2;
    const analysis::Sos sos = analysis::butterworth(fset, fs);
    py::array_t<double> out(static_cast<py::ssize_t>(s.size()));
    std::span<double> o(out.mutable_data(), s.size());
    {
        py::gil_scoped_release release;
        analysis::sosfiltfilt(sos, s, o);
    }
    return out;
}

py::dict weibull_dict(const analysis::WeibullFit& f) {
    if (!f.weibull) throw py::value_error("no Weibull fit: " + f.reason);
    py::dict d;
    d["loc"] = f.weibull->loc;
    d["scale"] = f.weibull->scale;
    d["shape"] = f.weibull->shape;
    return d;
}

// Writes a DynRes file through a temporary beside the target, renamed when
// complete.
void write_file(const std::string& path,
                const py::array_t<float, py::array::c_style | py::array::forcecast>& t,
                const py::array_t<float, py::array::c_style | py::array::forcecast>& x,
                const std::vector<std::string>& labels, bool overwrite, int pack) {
    if (t.ndim() != 1) throw py::value_error("t: a one-dimensional array of times");
    const std::size_t n = static_cast<std::size_t>(t.shape(0));
    std::size_t k = labels.size();
    if (x.ndim() == 1 && k == 1 && static_cast<std::size_t>(x.shape(0)) == n) {
    } else if (x.ndim() != 2 || static_cast<std::size_t>(x.shape(0)) != n ||
               static_cast<std::size_t>(x.shape(1)) != k) {
        throw py::value_error("x: an array of shape (len(t), len(labels))");
    }
    if (k == 0) throw py::value_error("labels: at least one DynRes");
    if (n > 100000000) throw py::value_error("t: too many steps for a dyn file");
    for (const std::string& l : labels) {
        if (l.size() > 40) throw py::value_error("labels: at most 40 characters ('" + l + "')");
        for (const unsigned char ch : l) {
            if (ch < 32 || ch > 126)
                throw py::value_error("labels: printable ASCII only ('" + l + "')");
        }
    }
    if (pack < 0) throw py::value_error("pack: 0 (one step per record) or more");
    namespace fs = std::filesystem;
    const fs::path target(path);
    std::error_code ec;
    if (!overwrite && fs::exists(fs::symlink_status(target, ec)))
        throw py::value_error(path + ": exists; give overwrite=True to replace it");
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        throw FileFailure{path,
                          std::string("cannot create a file beside it: ") + std::strerror(errno)};
    std::string error;
    {
        py::gil_scoped_release release;
        try {
            tools::DynResLayout layout;
            layout.labels = labels;
            layout.steps = static_cast<std::int32_t>(n);
            layout.pack = pack;
            tools::DynResWriter w(temp, layout);
            std::vector<float> row(k);
            const float* xs = x.data();
            const float* ts = t.data();
            for (std::size_t i = 0; i < n; ++i) w.add_step(ts[i], {xs + i * k, k});
            w.finish();
            // The writer wrote through the name mkstemp made; the descriptor
            // is the same file.
            if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) error = std::strerror(errno);
            if (error.empty() && std::rename(temp.c_str(), path.c_str()) != 0)
                error = std::strerror(errno);
        } catch (const std::exception& e) {
            error = e.what();
        }
        ::close(fd);
        if (!error.empty()) ::unlink(temp.c_str());
    }
    if (!error.empty()) throw FileFailure{path, error};
}

}  // namespace

PYBIND11_MODULE(_pektor, mod) {
    mod.doc() = "The extension of the pektor module (see help(pektor)).";

    py::register_exception_translator([](std::exception_ptr e) {
        try {
            if (e) std::rethrow_exception(e);
        } catch (const FileFailure& f) {
            const py::object cls = py::module_::import("pektor").attr("DynFileError");
            const py::object err = cls(f.path, f.reason);
            PyErr_SetObject(cls.ptr(), err.ptr());
        } catch (const batch::UsageError& u) {
            PyErr_SetString(PyExc_ValueError, u.what());
        } catch (const analysis::ArgumentError& a) {
            PyErr_SetString(PyExc_ValueError, a.what());
        }
    });

    py::class_<File>(mod, "File")
        .def(py::init<std::string>(), py::arg("path"))
        .def_property_readonly("path", &File::path)
        .def_property_readonly("closed", &File::closed)
        .def("close", &File::close)
        .def_property_readonly("steps", [](File& f) { return f.contents().steps; })
        .def_property_readonly("t_first", [](File& f) { return f.contents().t_first; })
        .def_property_readonly("t_last", [](File& f) { return f.contents().t_last; })
        .def_property_readonly("dynres",
                               [](File& f) {
                                   py::list l;
                                   for (const auto& d : f.contents().dynres)
                                       l.append(py::make_tuple(d.number, d.label));
                                   return l;
                               })
        .def("resolve", &File::resolve, py::arg("dynres") = py::none())
        .def("read", &File::read, py::arg("dynres") = py::none(), py::arg("window") = py::none())
        .def(
            "blocks",
            [](File& f, const py::object& dynres, const py::object& window, std::int64_t steps) {
                return std::make_unique<Blocks>(f, dynres, window, steps);
            },
            py::arg("dynres") = py::none(), py::arg("window") = py::none(),
            py::arg("steps") = 65536);

    py::class_<Blocks>(mod, "Blocks")
        .def("__iter__", [](Blocks& b) -> Blocks& { return b; })
        .def("__next__", &Blocks::next)
        .def("close", &Blocks::stop);

    mod.def("run", &run, py::arg("command"), py::arg("files"), py::arg("dynres"), py::arg("window"),
            py::arg("options"));
    mod.def("rainflow", &rainflow, py::arg("x"), py::arg("residuals") = "half");
    mod.def("del_", &del, py::arg("x"), py::arg("m"), py::arg("neq"),
            py::arg("residuals") = "half");
    mod.def("psd", &psd, py::arg("x"), py::arg("fs"), py::arg("nperseg") = 0,
            py::arg("overlap") = 0.5);
    mod.def("filter", &filter, py::arg("x"), py::arg("fs"), py::arg("kind"), py::arg("f1"),
            py::arg("f2") = 0.0, py::arg("order") = 4);
    mod.def(
        "peaks",
        [](const Doubles& x, const std::string& tail) {
            const auto s = span_of(x);
            const auto tl = tail_of(tail);
            std::vector<double> p;
            {
                py::gil_scoped_release release;
                p = analysis::peaks(s, tl);
            }
            return array_of(p);
        },
        py::arg("x"), py::arg("tail") = "max");
    mod.def(
        "weibull",
        [](const Doubles& peaks, const std::string& method, const std::string& tail) {
            analysis::WeibullMethod m;
            if (method == "pwm")
                m = analysis::WeibullMethod::pwm;
            else if (method == "msm")
                m = analysis::WeibullMethod::msm;
            else
                throw py::value_error("method '" + method + "' is not pwm or msm");
            return weibull_dict(analysis::fit_weibull(span_of(peaks), m, tail_of(tail)));
        },
        py::arg("peaks"), py::arg("method") = "pwm", py::arg("tail") = "max");
    mod.def(
        "gumbel",
        [](double loc, double scale, double shape, double n, const std::string& tail, double q) {
            analysis::Weibull w;
            w.loc = loc;
            w.scale = scale;
            w.shape = shape;
            w.tail = tail_of(tail);
            const analysis::GumbelFit g = analysis::gumbel_of_largest(w, n);
            if (!g.gumbel) throw py::value_error("no Gumbel: " + g.reason);
            py::dict d;
            d["loc"] = g.gumbel->loc;
            d["scale"] = g.gumbel->scale;
            const auto v = analysis::gumbel_quantile(*g.gumbel, q);
            if (!v) throw py::value_error("q: a probability strictly between 0 and 1");
            d["quantile"] = *v;
            return d;
        },
        py::arg("loc"), py::arg("scale"), py::arg("shape"), py::arg("n"), py::arg("tail") = "max",
        py::arg("q") = 0.37);
    mod.def("write", &write_file, py::arg("path"), py::arg("t"), py::arg("x"), py::arg("labels"),
            py::arg("overwrite") = false, py::arg("pack") = 0);
}
