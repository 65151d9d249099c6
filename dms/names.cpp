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

std::optional<NameWords> pack_name(std::string_view name) {
    if (name.size() > kMaxNameLength || illegal_name_character(name) != std::string_view::npos)
        return std::nullopt;
    constexpr std::array<std::int32_t, 4> kWeights{1000000, 10000, 100, 1};
    NameWords words;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const std::int32_t digits = static_cast<unsigned char>(name[i]) - 30;
        (i < 4 ? words.first : words.second) += digits * kWeights[i % 4];
    }
    return words;
}

}  // namespace dms
