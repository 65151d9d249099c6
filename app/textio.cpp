#include "app/textio.h"

#include <algorithm>

#include "dms/filopn.h"
#include "io/text.h"

namespace app {

void PROMPT(io::Units& units, std::int32_t unit, std::string_view text, std::int32_t length) {
    const auto n = static_cast<std::size_t>(std::clamp<std::int32_t>(length, 0, 80));
    std::string line(" ");
    line += text.substr(0, std::min(n, text.size()));
    units.prompt(unit, line);
}

void OPNTXT(io::Units& units, std::string_view name, std::int32_t unit, std::int32_t mode,
            std::int32_t& ierr) {
    std::int32_t status = 0;
    dms::FILOPN(units, io::trim_right(name), unit, mode == 0 ? 1 : 2, 0, 1, 0, 0, 0, -1, status);
    if (status != 0) ierr = -1;
}

void UPCASE(std::string& text, std::int32_t length) {
    const auto n =
        std::min(text.size(), static_cast<std::size_t>(std::max<std::int32_t>(length, 0)));
    for (std::size_t i = 0; i < n; ++i) {
        if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
    }
}

}  // namespace app
