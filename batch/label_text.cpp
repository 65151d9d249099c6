#include "batch/label_text.h"

#include <fmt/format.h>

#include <algorithm>

namespace batch {

namespace {

// The length of the well-formed UTF-8 sequence at text[i] and its code
// point; 0 when the bytes there are no such sequence.
std::size_t utf8_at(std::string_view text, std::size_t i, char32_t& cp) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t len = 0;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0Fu;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07u;
    } else {
        return 0;
    }
    if (i + len > text.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) ||
        cp > 0x10FFFF)
        return 0;
    return len;
}

}  // namespace

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
