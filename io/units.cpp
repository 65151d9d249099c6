#include "io/units.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "io/two_cores.h"

namespace io {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept {
        if (f != nullptr) std::fclose(f);
    }
};

// Owns a POSIX file descriptor.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

struct Units::Text {
    std::unique_ptr<std::FILE, FileCloser> file;
    std::string name;        // as connected
    std::int64_t lines = 0;  // lines read
    bool written = false;    // anything written since the open
    bool failed = false;     // a write or flush failed (remembered once)
};

struct Units::Direct {
    explicit Direct(int handle, int len) : fd(handle), reclen(len) {}
    Fd fd;
    int reclen;
};

Units::Units(std::istream& keyboard, std::ostream& console, std::filesystem::path dir)
    : keyboard_(keyboard), console_(console), dir_(std::move(dir)) {}

Units::~Units() {
    console_.flush();
}

std::filesystem::path Units::resolve(std::string_view name) const {
    std::filesystem::path p{std::string(name)};
    if (dir_.empty() || p.is_absolute()) return p;
    return dir_ / p;
}

int Units::open_text(int unit, std::string_view name, OpenStatus status) {
    close(unit);
    // Rewriting a file that this run reads or writes is refused.
    if (status != OpenStatus::Old && protected_file(name)) return kIostatProtected;
    const std::string path = resolve(name).string();
    std::FILE* f = nullptr;
    errno = 0;
    switch (status) {
        case OpenStatus::Unknown:
            f = std::fopen(path.c_str(), "w+");
            break;
        case OpenStatus::Old:
            f = std::fopen(path.c_str(), "r+");
            if (f == nullptr && (errno == EACCES || errno == EROFS))
                f = std::fopen(path.c_str(), "r");
            break;
        case OpenStatus::New: {
            f = std::fopen(path.c_str(), "w+x");
            break;
        }
    }
    if (f == nullptr) return errno != 0 ? errno : EIO;
    struct stat sb {};
    if (::fstat(::fileno(f), &sb) == 0 && S_ISDIR(sb.st_mode)) {
        std::fclose(f);
        return EISDIR;
    }
    auto t = std::make_unique<Text>();
    t->file.reset(f);
    t->name = std::string(name);
    text_[unit] = std::move(t);
    refused_.erase(unit);
    return 0;
}

std::string Units::default_name(int unit) {
    return "fort." + std::to_string(unit);
}

void Units::fail(int unit, const std::string& name, int error, std::optional<Protected> clash,
                 bool create) {
    for (const Failure& f : failures_)
        if (f.unit == unit && f.name == name) return;
    failures_.push_back({unit, name, error != 0 ? error : EIO, std::move(clash), create});
}

void Units::check(int unit, Text& t, bool ok) {
    t.written = true;
    if (ok || t.failed) return;
    const int e = errno;
    t.failed = true;
    fail(unit, t.name, e);
}

Units::Text* Units::text_for_write(int unit) {
    if (auto it = text_.find(unit); it != text_.end()) return it->second.get();
    if (unit < 1 || unit > 99 || direct_.count(unit) != 0) return nullptr;
    // A default file that was refused or could not be created is not tried
    // again for every record.
    if (refused_.count(unit) != 0) return nullptr;
    const std::string name = default_name(unit);
    if (auto clash = default_clash(unit)) {
        refused_.insert(unit);
        fail(unit, name, kIostatProtected, std::move(clash));
        return nullptr;
    }
    if (const int rc = open_text(unit, name, OpenStatus::Unknown); rc != 0) {
        refused_.insert(unit);
        fail(unit, name, rc, std::nullopt, true);
        return nullptr;
    }
    return text_[unit].get();
}

void Units::write(int unit, std::string_view record) {
    if (unit == kConsole && text_.count(unit) == 0) {
        console_ << record << '\n';
        return;
    }
    Text* t = text_for_write(unit);
    if (t == nullptr) return;
    errno = 0;
    const bool ok = std::fwrite(record.data(), 1, record.size(), t->file.get()) == record.size() &&
                    std::fputc('\n', t->file.get()) != EOF;
    check(unit, *t, ok);
}

void Units::prompt(int unit, std::string_view text) {
    if (unit == kConsole && text_.count(unit) == 0) {
        console_ << text;
        console_.flush();
        return;
    }
    Text* t = text_for_write(unit);
    if (t == nullptr) return;
    errno = 0;
    const bool ok = std::fwrite(text.data(), 1, text.size(), t->file.get()) == text.size() &&
                    std::fflush(t->file.get()) == 0;
    check(unit, *t, ok);
}

int Units::read_line(int unit, std::string& line) {
    line.clear();
    // Room for a carriage return before the line end.
    constexpr std::size_t kHold = kMaxLineLength + 1;
    bool too_long = false;
    if (unit == kKeyboard && text_.count(unit) == 0) {
        console_.flush();
        std::streambuf* sb = keyboard_.rdbuf();
        bool any = false;
        for (;;) {
            const int c = sb->sbumpc();
            if (c == std::char_traits<char>::eof()) {
                keyboard_.setstate(std::ios::eofbit);
                break;
            }
            any = true;
            if (c == '\n') break;
            if (line.size() == kHold) {
                too_long = true;
                break;
            }
            line += static_cast<char>(c);
        }
        if (!any) return kIostatEnd;
        ++keyboard_lines_;
    } else {
        auto it = text_.find(unit);
        if (it == text_.end()) return kIostatNotConnected;
        std::FILE* f = it->second->file.get();
        int c = 0;
        bool any = false;
        while ((c = std::fgetc(f)) != EOF && c != '\n') {
            any = true;
            if (line.size() == kHold) {
                too_long = true;
                break;
            }
            line += static_cast<char>(c);
        }
        if (c == EOF && !any) return std::ferror(f) != 0 ? EIO : kIostatEnd;
        ++it->second->lines;
    }
    if (!too_long && !line.empty() && line.back() == '\r') line.pop_back();
    if (too_long || line.size() > kMaxLineLength) {
        line.clear();
        return kIostatLineTooLong;
    }
    return 0;
}

std::int64_t Units::lines_read(int unit) const {
    if (auto it = text_.find(unit); it != text_.end()) return it->second->lines;
    return unit == kKeyboard ? keyboard_lines_ : 0;
}

std::string Units::read_error_text(int unit, int iostat) const {
    if (iostat == kIostatLineTooLong) {
        return "line " + std::to_string(lines_read(unit)) + " is longer than " +
               std::to_string(kMaxLineLength) + " characters";
    }
    return iostat_text(iostat);
}

int Units::read_list(int unit, std::span<const ListItem> items) {
    return io::read_list([&](std::string& rec) { return read_line(unit, rec); }, items);
}

int Units::open_direct(int unit, std::string_view name, OpenStatus status, int reclen) {
    close(unit);
    const std::string path = resolve(name).string();
    int flags = O_RDWR | O_CLOEXEC;
    if (status == OpenStatus::Unknown) flags |= O_CREAT;
    if (status == OpenStatus::New) flags |= O_CREAT | O_EXCL;
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0 && status == OpenStatus::Old && (errno == EACCES || errno == EROFS)) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) return errno != 0 ? errno : EIO;
    struct stat sb {};
    if (::fstat(fd, &sb) == 0 && S_ISDIR(sb.st_mode)) {
        ::close(fd);
        return EISDIR;
    }
    direct_[unit] = std::make_unique<Direct>(fd, reclen);
    return 0;
}

Units::Transfer Units::read_direct(int unit, std::int64_t rec, std::span<std::byte> buf) {
    auto it = direct_.find(unit);
    if (it == direct_.end()) return {kIostatNotConnected, 0};
    if (rec < 1) return {kIostatShortRecord, 0};
    const Direct& d = *it->second;
    const off_t base = static_cast<off_t>(rec - 1) * d.reclen;
    std::size_t done = 0;
    while (done < buf.size()) {
        const ssize_t n = ::pread(d.fd.get(), buf.data() + done, buf.size() - done,
                                  base + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return {errno, done};
        }
        if (n == 0) return {kIostatShortRecord, done};
        done += static_cast<std::size_t>(n);
    }
    return {0, done};
}

std::int64_t Units::direct_size(int unit) const {
    const auto it = direct_.find(unit);
    if (it == direct_.end()) return -1;
    struct stat sb {};
    if (::fstat(it->second->fd.get(), &sb) != 0) return -1;
    return static_cast<std::int64_t>(sb.st_size);
}

Units::Transfer Units::write_direct(int unit, std::int64_t rec, std::span<const std::byte> buf) {
    auto it = direct_.find(unit);
    if (it == direct_.end()) return {kIostatNotConnected, 0};
    if (rec < 1) return {kIostatShortRecord, 0};
    const Direct& d = *it->second;
    std::size_t limit = buf.size();
    int injected = 0;
    if (fail_after_ >= 0) {
        const std::size_t reclen = static_cast<std::size_t>(d.reclen);
        const std::size_t records = (buf.size() + reclen - 1) / reclen;
        if (records > static_cast<std::size_t>(fail_after_)) {
            limit = static_cast<std::size_t>(fail_after_) * reclen;
            injected = fail_iostat_;
            fail_after_ = -1;
        } else {
            fail_after_ -= static_cast<int>(records);
        }
    }
    const off_t base = static_cast<off_t>(rec - 1) * d.reclen;
    std::size_t done = 0;
    while (done < limit) {
        const ssize_t n =
            ::pwrite(d.fd.get(), buf.data() + done, limit - done, base + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return {errno, done};
        }
        done += static_cast<std::size_t>(n);
    }
    if (injected != 0) return {injected, done};
    return {0, done};
}

void Units::inject_write_failure(int after, int iostat) {
    fail_after_ = after;
    fail_iostat_ = iostat;
}

bool Units::close_text(int unit, Text& t) {
    std::FILE* f = t.file.release();
    errno = 0;
    bool ok = std::fflush(f) == 0 && std::ferror(f) == 0;
    int e = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        e = errno;
    }
    if (!ok && t.written && !t.failed) {
        t.failed = true;
        fail(unit, t.name, e);
    }
    return ok;
}

void Units::close(int unit) {
    if (auto it = text_.find(unit); it != text_.end()) {
        close_text(unit, *it->second);
        text_.erase(it);
    }
    direct_.erase(unit);
    if (unit == kConsole) console_.flush();
}

void Units::flush_all() {
    for (auto& [unit, t] : text_) {
        if (!t->written) continue;
        errno = 0;
        check(unit, *t, std::fflush(t->file.get()) == 0 && std::ferror(t->file.get()) == 0);
    }
}

void Units::protect(std::string_view name, std::string_view role) {
    if (name.empty()) return;
    protected_.push_back({Protected{std::string(name), std::string(role)}, resolve(name)});
}

namespace {

// Where a file that does not exist yet would be created: symbolic links
// (also dangling ones) followed, the rest of the path made canonical.
std::filesystem::path where(std::filesystem::path p) {
    constexpr int kMaxLinks = 40;
    std::error_code ec;
    for (int i = 0; i < kMaxLinks; ++i) {
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(p, ec))) break;
        const std::filesystem::path target = std::filesystem::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    const std::filesystem::path c = std::filesystem::weakly_canonical(p, ec);
    return ec ? p.lexically_normal() : c;
}

// Same file: the same existing file, or the same path when neither exists.
bool same_path(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ea;
    std::error_code eb;
    const bool xa = std::filesystem::exists(a, ea);
    const bool xb = std::filesystem::exists(b, eb);
    if (xa && xb) {
        std::error_code ec;
        return std::filesystem::equivalent(a, b, ec);
    }
    if (xa || xb) return false;
    return where(a) == where(b);
}

}  // namespace

bool Units::same_file(std::string_view a, std::string_view b) const {
    return same_path(resolve(a), resolve(b));
}

std::optional<Units::Protected> Units::protected_file(std::string_view name) const {
    if (protected_.empty()) return std::nullopt;
    const std::filesystem::path p = resolve(name);
    for (const auto& [file, path] : protected_)
        if (same_path(p, path)) return file;
    return std::nullopt;
}

std::optional<Units::Protected> Units::default_clash(int unit) const {
    return protected_file(default_name(unit));
}

bool Units::is_open(int unit) const {
    return text_.count(unit) != 0 || direct_.count(unit) != 0;
}

void write_rows(Units& units, int unit, std::int64_t rows, std::size_t width,
                const std::function<void(std::int64_t row, char* out)>& format) {
    if (rows <= 0) return;
    const auto per_block =
        static_cast<std::int64_t>(std::max<std::size_t>(1, (std::size_t{64} * 1024) / (width + 1)));
    const auto blocks = static_cast<std::size_t>((rows + per_block - 1) / per_block);
    struct Block {
        std::string text;
        std::exception_ptr error;
    };
    TwoCores<Block> cores(
        blocks,
        [&](std::size_t b, Block& block) {
            block.error = nullptr;
            try {
                const std::int64_t first = static_cast<std::int64_t>(b) * per_block;
                const std::int64_t n = std::min(per_block, rows - first);
                // Records joined by line feeds; write() ends the last one.
                block.text.assign(static_cast<std::size_t>(n) * (width + 1) - 1, '\n');
                for (std::int64_t r = 0; r < n; ++r)
                    format(first + r,
                           block.text.data() + static_cast<std::size_t>(r) * (width + 1));
            } catch (...) {
                block.error = std::current_exception();
            }
            return true;
        },
        true);
    for (std::size_t b = 0; b < blocks; ++b) {
        Block* block = cores.get(b);
        if (block->error) std::rethrow_exception(block->error);
        units.write(unit, block->text);
        cores.release(b);
    }
}

}  // namespace io
