#include "app/batch/output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace app::batch {

namespace fs = std::filesystem;

bool write_result(const std::string& command, const std::string& output,
                  const std::function<void(std::ostream&)>& write, std::ostream& out,
                  std::ostream& err) {
    const std::string prefix = "pektor " + command + ": ";
    if (output.empty()) {
        write(out);
        out.flush();
        if (!out) {
            err << prefix << "standard output: write failed\n";
            return false;
        }
        return true;
    }
    std::error_code ec;
    const fs::path target(output);
    if (fs::exists(target, ec) && !fs::is_regular_file(target, ec)) {
        std::ofstream f(target, std::ios::binary);
        if (f) write(f);
        f.flush();
        if (!f) {
            err << prefix << output << ": cannot write: " << std::strerror(errno) << '\n';
            return false;
        }
        return true;
    }
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string tmp = (dir / ("." + target.filename().string() + ".pektor-XXXXXX")).string();
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        err << prefix << output << ": cannot write: " << std::strerror(errno) << '\n';
        return false;
    }
    ::close(fd);
    bool ok = false;
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        if (f) write(f);
        f.flush();
        ok = static_cast<bool>(f);
    }
    if (ok) {
        fs::permissions(tmp,
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read,
                        ec);
        fs::rename(tmp, target, ec);
        ok = !ec;
    }
    if (!ok) {
        err << prefix << output << ": cannot write" << (ec ? ": " + ec.message() : std::string())
            << '\n';
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

}  // namespace app::batch
