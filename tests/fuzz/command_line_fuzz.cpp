// Fuzz target: the bytes are a batch command line, one argument per line
// (a first argument that is no command gets "stats" in front), run in the
// private directory on two small dyn files, the combination dyn file and its
// input file. Every run must end with exit code 0, 1 or 2, leave the inputs
// as they were and write its diagnostics as "pektor ..." lines.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "fuzz_support.h"

namespace {

struct Input {
    const char* name;
    const char* fixture;
};
constexpr Input kInputs[] = {{"a.dyn", "le_basic.dyn"},
                             {"b.dyn", "packed.dyn"},
                             {"c.dyn", "combo.dyn"},
                             {"combo.txt", "combo_input.txt"}};

// Arguments stay inside the private directory: a '/' is kept only in a
// shard "K/N" (digits around it).
std::string confined(std::string arg) {
    const auto slash = arg.find('/');
    if (slash == std::string::npos) return arg;
    bool shard = slash > 0 && slash + 1 < arg.size();
    for (std::size_t i = 0; i < arg.size() && shard; ++i) {
        if (i != slash && (arg[i] < '0' || arg[i] > '9')) shard = false;
    }
    if (!shard) {
        for (char& c : arg) {
            if (c == '/') c = '_';
        }
    }
    return arg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::string> contents = [] {
        std::vector<std::string> v;
        for (const Input& in : kInputs) v.push_back(fuzz_support::fixture(in.fixture));
        return v;
    }();
    const fuzz_support::PrivateDir& dir = fuzz_support::private_dir();
    dir.clear();
    for (std::size_t i = 0; i < std::size(kInputs); ++i) dir.write(kInputs[i].name, contents[i]);

    std::vector<std::string> args{"pektor"};
    std::istringstream lines{std::string(fuzz_support::bytes(data, size))};
    std::string line;
    while (std::getline(lines, line) && args.size() < 40) args.push_back(confined(line));
    if (args.size() < 2 || !batch::is_batch_argument(args[1]))
        args.insert(args.begin() + 1, "stats");
    for (std::string& a : args) {
        // At most a few threads per run.
        if (a.size() > 2 && a.find_first_not_of("0123456789") == std::string::npos) a.resize(2);
    }
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());

    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::ostringstream out;
    std::ostringstream err;
    const int code = batch::run_batch(static_cast<int>(argv.size()), argv.data(), out, err);
    std::filesystem::current_path(here);

    if (code != 0 && code != 1 && code != 2)
        fuzz_support::fail("exit code not 0, 1 or 2", err.str());
    std::istringstream diagnostics(err.str());
    while (std::getline(diagnostics, line)) {
        if (!line.starts_with("pektor") && !line.starts_with("Try 'pektor") && !line.empty() &&
            code != 0)
            fuzz_support::fail("a diagnostic line without the program's name", err.str());
    }
    for (std::size_t i = 0; i < std::size(kInputs); ++i) {
        std::ifstream f(dir.path() / kInputs[i].name, std::ios::binary);
        const std::string now{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
        if (now != contents[i]) fuzz_support::fail("an input file changed", kInputs[i].name);
    }
    dir.clear();
    return 0;
}
