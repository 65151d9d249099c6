// The reference numbers of tests/data/welch_expected.txt (made by
// welch_expected.py with scipy) and the input series they were made from.
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace welch_test {

struct Case {
    std::string kind;
    std::string name;
    std::map<std::string, double> params;
    std::map<std::string, std::vector<double>> arrays;

    double param(const std::string& key) const {
        auto it = params.find(key);
        if (it == params.end()) throw std::runtime_error(name + ": no param " + key);
        return it->second;
    }
    const std::vector<double>& array(const std::string& key) const {
        auto it = arrays.find(key);
        if (it == arrays.end()) throw std::runtime_error(name + ": no array " + key);
        return it->second;
    }
};

// The cases of the given kind ("welch", "butter", "filtfilt"), in file order.
inline std::vector<Case> load_cases(const std::string& kind) {
    const std::string path = std::string(PEKTOR_TEST_DATA) + "/welch_expected.txt";
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<Case> out;
    Case cur;
    bool open = false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        std::string tag;
        s >> tag;
        if (tag == "case") {
            cur = Case{};
            s >> cur.kind >> cur.name;
            open = true;
        } else if (tag == "param" && open) {
            std::string key, value;
            s >> key >> value;
            cur.params[key] = std::stod(value);
        } else if (tag == "array" && open) {
            std::string key;
            std::size_t count = 0;
            s >> key >> count;
            std::vector<double>& v = cur.arrays[key];
            std::string value;
            while (s >> value) v.push_back(std::stod(value));
            if (v.size() != count)
                throw std::runtime_error(cur.name + ": array " + key + " has the wrong count");
        } else if (tag == "end" && open) {
            if (cur.kind == kind) out.push_back(cur);
            open = false;
        } else {
            throw std::runtime_error(path + ": unexpected line: " + line.substr(0, 40));
        }
    }
    if (out.empty()) throw std::runtime_error(path + ": no " + kind + " cases");
    return out;
}

// Two sines and uniform noise from a 64-bit linear congruential generator,
// as test_series() in welch_expected.py.
inline std::vector<double> test_series(std::size_t n, std::uint64_t seed) {
    std::vector<double> x(n);
    std::uint64_t s = seed;
    for (std::size_t i = 0; i < n; ++i) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        const double u = static_cast<double>(s >> 11) * (1.0 / 9007199254740992.0);
        const double di = static_cast<double>(i);
        x[i] = std::sin(0.37 * di) + 0.5 * std::cos(1.91 * di + 0.3) + (u - 0.5);
    }
    return x;
}

}  // namespace welch_test
