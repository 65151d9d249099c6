// dyngen: writes a sample dyn file with the base forces and moments and the
// deck motions of an offshore structure in irregular waves.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <exception>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/dynres_writer.h"
#include "tools/sample.h"

namespace tools {
namespace {

constexpr std::string_view kUsage =
    "Usage: dyngen [options]\n"
    "Writes a sample dyn file: the base forces and moments (Fx, Fy, Fz, Mx, My, Mz)\n"
    "and deck motions of an offshore structure in irregular waves, with a start-up\n"
    "ramp and one distinct peak. The same options always give the same content.\n"
    "\n"
    "Options:\n"
    "  --dynres N          number of DynRes (default 8; beyond the 12 named ones,\n"
    "                      generic channels)\n"
    "  --steps N           number of time steps (default 2000)\n"
    "  --dt SECONDS        time step (default 0.05)\n"
    "  --pack P            time steps per DYNRES record, nDRpack (default 0: one)\n"
    "  --ncol N            label width in words, nCol (default 16; 0 stores nCol 0)\n"
    "  --seed N            start of the random wave phases (default 20240311); another\n"
    "                      seed gives another sea of the same kind\n"
    "  --scale F           multiplies every value (default 1), for example a second\n"
    "                      file for a DAF check: dyngen --seed 7 --scale 1.2 -o b.dyn\n"
    "  -o, --output NAME   file to write (default sample.dyn)\n"
    "  --help              show this text\n";

struct Options {
    std::int32_t dynres = 8;
    std::int32_t steps = 2000;
    double dt = 0.05;
    std::int32_t pack = 0;
    std::int32_t ncol = 16;
    std::uint32_t seed = SampleSignals::kDefaultSeed;
    double scale = 1.0;
    std::string output = "sample.dyn";
    bool help = false;
};

struct UsageError {
    std::string text;
};

std::int32_t parse_int(std::string_view option, std::string_view text, std::int32_t low,
                       std::int32_t high) {
    std::int32_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) {
        throw UsageError{"invalid value for " + std::string(option) + ": '" + std::string(text) +
                         "' (an integer is needed)"};
    }
    if (v < low || v > high) {
        throw UsageError{"value of " + std::string(option) + " out of range: " + std::string(text) +
                         " (" + std::to_string(low) + " to " + std::to_string(high) + ")"};
    }
    return v;
}

std::uint32_t parse_seed(std::string_view option, std::string_view text) {
    std::uint32_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) {
        throw UsageError{"invalid value for " + std::string(option) + ": '" + std::string(text) +
                         "' (an integer from 0 to 4294967295 is needed)"};
    }
    return v;
}

double parse_scale(std::string_view option, std::string_view text) {
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v) ||
        std::fabs(v) > 1.0e30) {
        throw UsageError{"invalid value for " + std::string(option) + ": '" + std::string(text) +
                         "' (a number of magnitude up to 1e30 is needed)"};
    }
    return v;
}

double parse_seconds(std::string_view option, std::string_view text) {
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v) || v <= 0) {
        throw UsageError{"invalid value for " + std::string(option) + ": '" + std::string(text) +
                         "' (a positive number of seconds is needed)"};
    }
    return v;
}

Options parse(const std::vector<std::string_view>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view a = args[i];
        std::optional<std::string_view> inline_value;
        if (a.starts_with("--")) {
            if (const auto eq = a.find('='); eq != std::string_view::npos) {
                inline_value = a.substr(eq + 1);
                a = a.substr(0, eq);
            }
        }
        const auto value = [&]() -> std::string_view {
            if (inline_value) return *inline_value;
            if (i + 1 >= args.size())
                throw UsageError{"option " + std::string(a) + " needs a value"};
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--dynres") {
            o.dynres = parse_int(a, value(), 1, 100000);
        } else if (a == "--steps") {
            o.steps = parse_int(a, value(), 1, 40000000);
        } else if (a == "--dt") {
            o.dt = parse_seconds(a, value());
        } else if (a == "--pack") {
            o.pack = parse_int(a, value(), 0, 100000);
        } else if (a == "--ncol") {
            o.ncol = parse_int(a, value(), 0, 256);
        } else if (a == "--seed") {
            o.seed = parse_seed(a, value());
        } else if (a == "--scale") {
            o.scale = parse_scale(a, value());
        } else if (a == "-o" || a == "--output") {
            o.output = std::string(value());
            if (o.output.empty()) throw UsageError{"empty file name for " + std::string(a)};
        } else if (a.starts_with("-")) {
            throw UsageError{"unknown option '" + std::string(args[i]) + "'"};
        } else {
            throw UsageError{"unexpected argument '" + std::string(a) + "'"};
        }
    }
    // One DYNRES record must stay a reasonable buffer.
    const std::int64_t record = static_cast<std::int64_t>(std::max(o.pack, 1)) * (o.dynres + 1LL);
    if (record > 10000000) {
        throw UsageError{"a DYNRES record of " + std::to_string(record) +
                         " values is too large (--pack times --dynres)"};
    }
    return o;
}

void generate(const Options& o) {
    const SampleSignals signals(o.dynres, o.steps, o.dt, o.seed, o.scale);
    DynResLayout layout;
    layout.ndynres = o.dynres;
    layout.ncol = o.ncol;
    layout.pack = o.pack;
    layout.steps = o.steps;
    for (std::int32_t k = 1; k <= o.dynres; ++k) layout.labels.push_back(signals.label(k));
    DynResWriter writer(o.output, std::move(layout));
    std::vector<float> values(static_cast<std::size_t>(o.dynres));
    for (std::int32_t i = 0; i < o.steps; ++i) {
        signals.values(i, values);
        writer.add_step(signals.time(i), values);
    }
    writer.finish();
}

int run(const std::vector<std::string_view>& args) {
    Options o;
    try {
        o = parse(args);
    } catch (const UsageError& e) {
        std::cerr << "dyngen: " << e.text << "\nTry 'dyngen --help'.\n";
        return 1;
    }
    if (o.help) {
        std::cout << kUsage;
        return 0;
    }
    try {
        generate(o);
    } catch (const std::exception& e) {
        std::cerr << "dyngen: cannot write '" << o.output << "': " << e.what() << "\n";
        return 1;
    }
    std::cout << "dyngen: wrote " << o.output << " (" << o.dynres << " DynRes, " << o.steps
              << " steps, dt " << o.dt << " s, nDRpack " << o.pack << ", nCol " << o.ncol;
    if (o.seed != SampleSignals::kDefaultSeed) std::cout << ", seed " << o.seed;
    if (o.scale != 1.0) std::cout << ", scale " << o.scale;
    std::cout << ")\n";
    return 0;
}

}  // namespace
}  // namespace tools

int main(int argc, char** argv) {
    std::vector<std::string_view> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return tools::run(args);
}
