// A small, strict XML reader for the tests of the SVG and HTML writers:
// elements, attributes, text with the predefined and numeric references,
// comments, CDATA, an XML declaration and a DOCTYPE without internal subset.
// Anything not well-formed (unmatched tags, a raw '<' or '&' in text or in an
// attribute, an unknown reference, a repeated attribute, text outside the
// root) throws std::runtime_error naming the offset.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace test_support::xml {

struct Element {
    std::string name;
    std::map<std::string, std::string> attrs;
    std::string text;  // the element's own text (not its children's), decoded
    std::vector<Element> children;

    std::string attr(const std::string& k) const {
        const auto it = attrs.find(k);
        return it == attrs.end() ? std::string() : it->second;
    }
    bool has_class(std::string_view c) const {
        const std::string all = attr("class");
        std::size_t i = 0;
        while (i < all.size()) {
            const std::size_t j = std::min(all.find(' ', i), all.size());
            if (std::string_view(all).substr(i, j - i) == c) return true;
            i = j + 1;
        }
        return false;
    }
    // The text of the element and all its descendants, in document order.
    std::string all_text() const {
        std::string s = text;
        for (const auto& c : children) s += c.all_text();
        return s;
    }
};

// Every element below (and including) e for which pred holds, in document
// order.
inline void collect(const Element& e, const std::function<bool(const Element&)>& pred,
                    std::vector<const Element*>& out) {
    if (pred(e)) out.push_back(&e);
    for (const auto& c : e.children) collect(c, pred, out);
}

inline std::vector<const Element*> find_all(const Element& root, std::string_view name,
                                            std::string_view cls = {}) {
    std::vector<const Element*> out;
    collect(
        root, [&](const Element& e) { return e.name == name && (cls.empty() || e.has_class(cls)); },
        out);
    return out;
}

class Parser {
  public:
    explicit Parser(std::string_view s) : s_(s) {}

    Element parse_document() {
        misc(true);
        if (!at("<")) fail("no root element");
        Element root = element();
        misc(false);
        if (i_ != s_.size()) fail("content after the root element");
        return root;
    }

  private:
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error("XML: " + what + " at offset " + std::to_string(i_));
    }
    bool at(std::string_view t) const { return s_.substr(i_, t.size()) == t; }
    void expect(std::string_view t) {
        if (!at(t)) fail("expected '" + std::string(t) + "'");
        i_ += t.size();
    }
    void skip_space() {
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) {
            ++i_;
        }
    }
    void skip_past(std::string_view end) {
        const std::size_t j = s_.find(end, i_);
        if (j == std::string_view::npos) fail("unterminated construct");
        i_ = j + end.size();
    }
    // White space, comments and processing instructions around the root;
    // the XML declaration and DOCTYPE only before it.
    void misc(bool prolog) {
        for (;;) {
            skip_space();
            if (at("<!--")) {
                skip_past("-->");
            } else if (at("<?")) {
                skip_past("?>");
            } else if (prolog && at("<!DOCTYPE")) {
                const std::size_t j = s_.find('>', i_);
                if (j == std::string_view::npos ||
                    s_.substr(i_, j - i_).find('[') != std::string_view::npos) {
                    fail("unsupported DOCTYPE");
                }
                i_ = j + 1;
            } else {
                return;
            }
        }
    }
    static bool name_start(char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
    }
    static bool name_char(char c) {
        return name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
    }
    std::string name() {
        if (i_ >= s_.size() || !name_start(s_[i_])) fail("bad name");
        const std::size_t b = i_;
        while (i_ < s_.size() && name_char(s_[i_])) ++i_;
        return std::string(s_.substr(b, i_ - b));
    }
    static void put_utf8(std::string& out, std::uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    void reference(std::string& out) {
        expect("&");
        const std::size_t semi = s_.find(';', i_);
        if (semi == std::string_view::npos || semi - i_ > 10) fail("bad reference");
        const std::string_view r = s_.substr(i_, semi - i_);
        static const std::map<std::string_view, char> named = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        if (const auto it = named.find(r); it != named.end()) {
            out += it->second;
        } else if (r.size() > 1 && r[0] == '#') {
            const bool hex = r[1] == 'x';
            const std::string digits(r.substr(hex ? 2 : 1));
            if (digits.empty()) fail("bad character reference");
            std::size_t used = 0;
            const unsigned long cp = std::stoul(digits, &used, hex ? 16 : 10);
            if (used != digits.size() || cp == 0 || cp > 0x10FFFF) fail("bad character reference");
            put_utf8(out, static_cast<std::uint32_t>(cp));
        } else {
            fail("unknown reference &" + std::string(r) + ";");
        }
        i_ = semi + 1;
    }
    Element element() {
        expect("<");
        Element e;
        e.name = name();
        for (;;) {
            const std::size_t before = i_;
            skip_space();
            if (at("/>")) {
                i_ += 2;
                return e;
            }
            if (at(">")) {
                ++i_;
                break;
            }
            if (i_ == before) fail("expected white space before an attribute");
            std::string k = name();
            skip_space();
            expect("=");
            skip_space();
            if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\'')) fail("unquoted value");
            const char q = s_[i_++];
            std::string v;
            while (i_ < s_.size() && s_[i_] != q) {
                if (s_[i_] == '<') fail("'<' in an attribute value");
                if (s_[i_] == '&') {
                    reference(v);
                } else {
                    v += s_[i_++];
                }
            }
            expect(std::string_view(&q, 1));
            if (!e.attrs.emplace(std::move(k), std::move(v)).second) fail("repeated attribute");
        }
        for (;;) {
            if (i_ >= s_.size()) fail("unclosed element <" + e.name + ">");
            if (at("</")) {
                i_ += 2;
                if (name() != e.name) fail("end tag does not match <" + e.name + ">");
                skip_space();
                expect(">");
                return e;
            }
            if (at("<!--")) {
                skip_past("-->");
            } else if (at("<![CDATA[")) {
                i_ += 9;
                const std::size_t j = s_.find("]]>", i_);
                if (j == std::string_view::npos) fail("unterminated CDATA");
                e.text += s_.substr(i_, j - i_);
                i_ = j + 3;
            } else if (at("<?")) {
                skip_past("?>");
            } else if (at("<")) {
                e.children.push_back(element());
            } else if (at("&")) {
                reference(e.text);
            } else {
                if (at("]]>")) fail("']]>' in text");
                e.text += s_[i_++];
            }
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

inline Element parse(std::string_view text) {
    return Parser(text).parse_document();
}

}  // namespace test_support::xml
