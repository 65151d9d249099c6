#include "io/text.h"

namespace io {

std::string fixed(std::string_view s, std::size_t n) {
    std::string out(s.substr(0, n));
    out.resize(n, ' ');
    return out;
}

std::string_view trim_right(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return s.substr(0, n);
}

std::string_view trim(std::string_view s) {
    s = trim_right(s);
    std::size_t b = 0;
    while (b < s.size() && s[b] == ' ') ++b;
    return s.substr(b);
}

bool is_blank(std::string_view s) {
    return s.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace io
