// Runs a fuzz target's LLVMFuzzerTestOneInput on every file of the corpus
// directories (or files) named on the command line, without libFuzzer, and
// fails when a run leaves anything in the current directory.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

std::set<fs::path> entries_of(const fs::path& dir) {
    std::set<fs::path> s;
    for (const auto& e : fs::directory_iterator(dir)) s.insert(e.path().filename());
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path p = argv[i];
        if (fs::is_directory(p)) {
            for (const auto& e : fs::recursive_directory_iterator(p)) {
                if (e.is_regular_file()) inputs.push_back(e.path());
            }
        } else {
            inputs.push_back(p);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs\n");
        return 1;
    }
    const fs::path here = fs::current_path();
    const std::set<fs::path> before = entries_of(here);
    for (const fs::path& p : inputs) {
        std::ifstream f(p, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(f),
                                      std::istreambuf_iterator<char>()};
        std::fprintf(stderr, "%s\n", p.string().c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        if (entries_of(here) != before) {
            std::fprintf(stderr, "*** the run of %s wrote into the current directory %s\n",
                         p.string().c_str(), here.string().c_str());
            return 1;
        }
    }
    std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    return 0;
}
