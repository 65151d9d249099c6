#include "dms/names.h"

#include <array>

namespace dms {

std::size_t illegal_name_character(std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 33 || c > 126) return i;
    }
    return std::string_view::npos;
}

namespace {

// The weight of the digit pair of each of the four characters of a word.
constexpr std::array<std::int32_t, 4> kWeights{1000000, 10000, 100, 1};

}  // namespace

std::optional<NameWords> pack_name(std::string_view name) {
    if (name.size() > kMaxNameLength || illegal_name_character(name) != std::string_view::npos)
        return std::nullopt;
    NameWords words;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const std::int32_t digits = static_cast<unsigned char>(name[i]) - 30;
        (i < 4 ? words.first : words.second) += digits * kWeights[i % 4];
    }
    return words;
}

UnpackedName unpack_name(NameWords words) {
    UnpackedName out;
    const std::int32_t packed[2] = {words.first, words.second};
    for (int g = 0; g < 2; ++g) {
        std::int32_t word = packed[g];
        if (g == 1 && word <= 0) break;
        for (const std::int32_t weight : kWeights) {
            const std::int32_t d = word / weight;
            if (d == 0) return out;  // end of the name
            const std::int64_t c = static_cast<std::int64_t>(d) + 30;
            if (c < 33 || c > 126) {
                out.bad = static_cast<std::int32_t>(c);
                return out;
            }
            out.name.push_back(static_cast<char>(c));
            word %= weight;
        }
    }
    return out;
}

}  // namespace dms
