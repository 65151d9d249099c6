#include "batch/label_text.h"

#include <fmt/format.h>

#include <algorithm>

#include "io/text.h"

namespace batch {

using io::utf8_at;

std::string label_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u32string code_points(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const std::size_t len = utf8_at(text, i, cp);
        if (len == 0) {
            out += static_cast<char32_t>(static_cast<unsigned char>(text[i]));
            ++i;
        } else {
            out += cp;
            i += len;
        }
    }
    return out;
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        std::size_t len = utf8_at(text, i, cp);
        if (len == 0) {
            // Not UTF-8: the byte as it is (not a control character then).
            out += text[i++];
            continue;
        }
        if (cp == U'\t') {
            out += "\\t";
        } else if (cp == U'\n') {
            out += "\\n";
        } else if (cp == U'\r') {
            out += "\\r";
        } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            out += fmt::format("\\x{:02x}", static_cast<unsigned>(cp));
        } else {
            out.append(text.substr(i, len));
        }
        i += len;
    }
    return out;
}

std::size_t text_width(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++n) {
        char32_t cp = 0;
        i += std::max<std::size_t>(utf8_at(text, i, cp), 1);
    }
    return n;
}

}  // namespace batch
