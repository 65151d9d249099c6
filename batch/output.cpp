#include "batch/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <streambuf>
#include <string_view>

namespace batch {

namespace {

// The temporary file's name in its folder: short, so that any legal output
// name still has a legal temporary beside it.
constexpr std::string_view kTempPattern = ".pektor-XXXXXX";

// Symbolic links followed before giving up (as the kernel does).
constexpr int kMaxLinks = 40;

std::string error_text(int e) {
    return std::strerror(e);
}

// The folder part and the last part of a path ("." for a bare name).
void split(const std::string& path, std::string& dir, std::string& name) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        dir = ".";
        name = path;
    } else {
        dir = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

// The path with its symbolic links at the end followed: what writing to it
// would reach. False with the reason for a loop of links or a link that
// cannot be read.
bool follow_links(const std::string& output, std::string& path, std::string& error) {
    path = output;
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::string to(4096, '\0');
        const ssize_t n = ::readlink(path.c_str(), to.data(), to.size());
        if (n < 0 || static_cast<std::size_t>(n) >= to.size()) {
            error = "cannot read the symbolic link " + path;
            return false;
        }
        to.resize(static_cast<std::size_t>(n));
        if (to.empty()) {
            error = "empty symbolic link " + path;
            return false;
        }
        if (to.front() != '/') {
            std::string dir;
            std::string name;
            split(path, dir, name);
            to = dir + "/" + to;
        }
        path = to;
    }
    error = "too many levels of symbolic links";
    return false;
}

// What a signal handler may touch: the folder's descriptor and the
// temporary file's name, prepared before the file exists.
struct Cleanup {
    volatile std::sig_atomic_t armed = 0;
    int dir = -1;
    std::array<char, 32> name{};
};
Cleanup cleanup;  // NOLINT: the signal handler's only way to the temporary file

extern "C" void remove_temporary_and_exit(int sig) {
    if (cleanup.armed != 0) ::unlinkat(cleanup.dir, cleanup.name.data(), 0);
    ::_exit(sig == SIGINT ? 130 : 143);
}

// SIGINT and SIGTERM remove the temporary file while it exists; signals the
// process ignores stay ignored.
class SignalGuard {
  public:
    SignalGuard(int dir, const std::string& name) {
        cleanup.dir = dir;
        const std::size_t n = std::min(name.size(), cleanup.name.size() - 1);
        std::memcpy(cleanup.name.data(), name.data(), n);
        cleanup.name[n] = '\0';
        cleanup.armed = 1;
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            struct sigaction now {};
            now.sa_handler = remove_temporary_and_exit;
            sigemptyset(&now.sa_mask);
            installed_[i] = ::sigaction(kSignals[i], nullptr, &old_[i]) == 0 &&
                            old_[i].sa_handler != SIG_IGN &&
                            ::sigaction(kSignals[i], &now, nullptr) == 0;
        }
    }
    SignalGuard(const SignalGuard&) = delete;
    SignalGuard& operator=(const SignalGuard&) = delete;
    ~SignalGuard() {
        cleanup.armed = 0;
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            if (installed_[i]) ::sigaction(kSignals[i], &old_[i], nullptr);
        }
    }
    // The temporary file is gone (renamed or removed): nothing to clean up.
    void disarm() { cleanup.armed = 0; }

  private:
    static constexpr std::array<int, 2> kSignals{SIGINT, SIGTERM};
    std::array<struct sigaction, 2> old_{};
    std::array<bool, 2> installed_{};
};

// Blocks SIGINT and SIGTERM for its lifetime (while the temporary file is
// made and its name handed to the handler).
class SignalBlock {
  public:
    SignalBlock() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        ::pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;
    ~SignalBlock() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

  private:
    sigset_t old_{};
};

// An output buffer over a file descriptor; remembers the first failure.
class FdBuf : public std::streambuf {
  public:
    explicit FdBuf(int fd) : fd_(fd) { setp(buf_.data(), buf_.data() + buf_.size()); }
    int error() const { return error_; }

  protected:
    int_type overflow(int_type c) override {
        if (!drain()) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return drain() ? 0 : -1; }

  private:
    bool drain() {
        const char* p = pbase();
        std::size_t left = static_cast<std::size_t>(pptr() - pbase());
        while (left > 0 && error_ == 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0) {
                if (errno != EINTR) error_ = errno;
                continue;
            }
            if (n == 0) error_ = EIO;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        setp(buf_.data(), buf_.data() + buf_.size());
        return error_ == 0;
    }

    int fd_;
    int error_ = 0;
    std::array<char, 1 << 16> buf_{};
};

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now; the errno of a failed close, or 0.
    int close() {
        const int r = ::close(fd_);
        fd_ = -1;
        return r == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

mode_t new_file_mode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

bool same_inode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool is_standard_output(const std::string& output) {
    return output.empty() || output == "-";
}

std::string refuse_special_output(const std::string& output) {
    if (is_standard_output(output)) return {};
    std::string path;
    std::string error;
    if (!follow_links(output, path, error)) return error + "; nothing written";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};  // a new name
    if (S_ISREG(st.st_mode)) return {};
    const char* what = S_ISDIR(st.st_mode)                          ? "a folder"
                       : S_ISFIFO(st.st_mode)                       ? "a FIFO"
                       : S_ISSOCK(st.st_mode)                       ? "a socket"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                                                                    : "not a regular file";
    return std::string("is ") + what + (path != output ? " (through a symbolic link)" : "") +
           ", not a regular file; nothing written (-o - writes to standard output)";
}

bool write_result(const std::string& command, const std::string& output,
                  const std::function<void(std::ostream&)>& write, std::ostream& out,
                  std::ostream& err) {
    const std::string prefix = "pektor " + command + ": ";
    if (is_standard_output(output)) {
        write(out);
        out.flush();
        if (!out) {
            err << prefix << "standard output: write failed\n";
            return false;
        }
        return true;
    }
    const auto fail = [&](const std::string& why) {
        err << prefix << output << ": " << why << '\n';
        return false;
    };
    if (const std::string why = refuse_special_output(output); !why.empty()) return fail(why);
    std::string target;
    std::string error;
    if (!follow_links(output, target, error)) return fail(error);
    std::string dir_path;
    std::string name;
    split(target, dir_path, name);
    if (name.empty() || name == "." || name == "..") return fail("is not a file name");

    Fd dir(::open(dir_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) return fail("cannot write: " + dir_path + ": " + error_text(errno));
    struct stat st {};
    bool existing = false;
    mode_t mode = 0;
    if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(st.st_mode)) return fail("is not a regular file; nothing written");
        existing = true;
        mode = static_cast<mode_t>(st.st_mode & 0777);  // no set-id bits on our file
    } else if (errno == ENOENT) {
        mode = new_file_mode();
    } else {
        return fail("cannot write: " + error_text(errno));
    }

    std::string temp =
        (dir_path == "/" ? std::string() : dir_path) + "/" + std::string(kTempPattern);
    std::string temp_name;
    int fd = -1;
    std::optional<SignalGuard> guard;
    {
        const SignalBlock block;
        fd = ::mkstemp(temp.data());
        const int e = errno;
        if (fd < 0) {
            if (existing && (e == EACCES || e == EPERM || e == EROFS)) {
                return fail("cannot be replaced: its folder " + dir_path +
                            " does not allow a new file (" + error_text(e) +
                            "), and the file is written through a temporary file beside it; "
                            "nothing written");
            }
            return fail("cannot write: no temporary file in " + dir_path + ": " + error_text(e));
        }
        temp_name = temp.substr(temp.find_last_of('/') + 1);
        guard.emplace(dir.get(), temp_name);
    }
    Fd file(fd);
    const auto remove_ours = [&] {
        // Only the file this run made: never a name someone put in its place.
        struct stat now {};
        struct stat mine {};
        if (::fstatat(dir.get(), temp_name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            ::fstat(file.get(), &mine) == 0 && same_inode(now, mine)) {
            ::unlinkat(dir.get(), temp_name.c_str(), 0);
        }
        guard->disarm();
    };
#ifdef PEKTOR_TEST_HOOKS
    // Lets a test act on the temporary file while the run stands still.
    if (const char* stop = std::getenv("PEKTOR_TEST_STOP_AFTER_TEMP");
        stop != nullptr && *stop != '\0') {
        ::raise(SIGSTOP);
    }
#endif

    FdBuf buf(file.get());
    {
        std::ostream os(&buf);
        write(os);
        os.flush();
        if (!os || buf.error() != 0) {
            remove_ours();
            return fail("cannot write: " + error_text(buf.error() != 0 ? buf.error() : EIO));
        }
    }
    if (::fchmod(file.get(), mode) != 0 || ::fsync(file.get()) != 0) {
        const int e = errno;
        remove_ours();
        return fail("cannot write: " + error_text(e));
    }
    struct stat now {};
    struct stat mine {};
    if (::fstat(file.get(), &mine) != 0 ||
        ::fstatat(dir.get(), temp_name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        !same_inode(now, mine)) {
        guard->disarm();
        return fail("the temporary file " + dir_path + "/" + temp_name +
                    " was replaced by someone else while it was written; nothing written");
    }
    if (::renameat(dir.get(), temp_name.c_str(), dir.get(), name.c_str()) != 0) {
        const int e = errno;
        remove_ours();
        return fail("cannot write: " + error_text(e));
    }
    guard->disarm();
    if (const int e = file.close(); e != 0) return fail("cannot write: " + error_text(e));
    ::fsync(dir.get());
    return true;
}

}  // namespace batch
