#include "io/units.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    text_[unit] = std::move(t);
    return 0;
}

Units::Text* Units::text_for_write(int unit) {
    if (auto it = text_.find(unit); it != text_.end()) return it->second.get();
    if (unit < 1 || unit > 99 || direct_.count(unit) != 0) return nullptr;
    if (open_text(unit, "fort." + std::to_string(unit), OpenStatus::Unknown) != 0) return nullptr;
    return text_[unit].get();
}

void Units::write(int unit, std::string_view record) {
    if (unit == kConsole && text_.count(unit) == 0) {
        console_ << record << '\n';
        return;
    }
    Text* t = text_for_write(unit);
    if (t == nullptr) return;
    std::fwrite(record.data(), 1, record.size(), t->file.get());
    std::fputc('\n', t->file.get());
}

void Units::prompt(int unit, std::string_view text) {
    if (unit == kConsole && text_.count(unit) == 0) {
        console_ << text;
        console_.flush();
        return;
    }
    Text* t = text_for_write(unit);
    if (t == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), t->file.get());
    std::fflush(t->file.get());
}

int Units::read_line(int unit, std::string& line) {
    line.clear();
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
            if (line.size() < kMaxRecordLength) line += static_cast<char>(c);
        }
        if (!any) return kIostatEnd;
    } else {
        auto it = text_.find(unit);
        if (it == text_.end()) return kIostatNotConnected;
        std::FILE* f = it->second->file.get();
        int c = 0;
        bool any = false;
        while ((c = std::fgetc(f)) != EOF && c != '\n') {
            if (line.size() < kMaxRecordLength) line += static_cast<char>(c);
            any = true;
        }
        if (c == EOF && !any) return std::ferror(f) != 0 ? EIO : kIostatEnd;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return 0;
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

void Units::close(int unit) {
    if (auto it = text_.find(unit); it != text_.end()) {
        std::fflush(it->second->file.get());
        text_.erase(it);
    }
    direct_.erase(unit);
    if (unit == kConsole) console_.flush();
}

bool Units::is_open(int unit) const {
    return text_.count(unit) != 0 || direct_.count(unit) != 0;
}

}  // namespace io
