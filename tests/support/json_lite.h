// A small JSON reader for the sidecars of the fixture dyn files: objects,
// arrays, numbers, strings, true/false/null. Enough for tests; throws on
// malformed input.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/scratch.h"

namespace test_support::json {

struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    double number = 0;
    bool boolean = false;
    std::string text;
    std::vector<Value> items;
    std::map<std::string, Value> members;

    const Value& operator[](const std::string& k) const {
        const auto it = members.find(k);
        if (it == members.end()) throw std::out_of_range("no member " + k);
        return it->second;
    }
    const Value& operator[](std::size_t i) const { return items.at(i); }
    bool has(const std::string& k) const { return members.count(k) != 0; }
    std::size_t size() const { return items.size(); }
};

class Parser {
  public:
    explicit Parser(std::string s) : s_(std::move(s)) {}

    Value parse() {
        Value v = value();
        skip();
        if (p_ != s_.size()) throw std::runtime_error("trailing JSON text");
        return v;
    }

  private:
    void skip() {
        while (p_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[p_]))) ++p_;
    }
    char peek() {
        skip();
        if (p_ >= s_.size()) throw std::runtime_error("unexpected end of JSON");
        return s_[p_];
    }
    void expect(char c) {
        if (peek() != c) throw std::runtime_error(std::string("expected ") + c);
        ++p_;
    }
    std::string string_value() {
        expect('"');
        std::string out;
        while (p_ < s_.size() && s_[p_] != '"') {
            if (s_[p_] == '\\') {
                ++p_;
                const char e = s_.at(p_);
                out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
            } else {
                out += s_[p_];
            }
            ++p_;
        }
        expect('"');
        return out;
    }
    Value value() {
        Value v;
        const char c = peek();
        if (c == '{') {
            v.kind = Value::Kind::Object;
            ++p_;
            if (peek() == '}') {
                ++p_;
                return v;
            }
            for (;;) {
                std::string k = string_value();
                expect(':');
                v.members[k] = value();
                if (peek() == ',') {
                    ++p_;
                    continue;
                }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.kind = Value::Kind::Array;
            ++p_;
            if (peek() == ']') {
                ++p_;
                return v;
            }
            for (;;) {
                v.items.push_back(value());
                if (peek() == ',') {
                    ++p_;
                    continue;
                }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.kind = Value::Kind::String;
            v.text = string_value();
            return v;
        }
        for (const char* word : {"true", "false", "null"}) {
            const std::string w(word);
            if (s_.compare(p_, w.size(), w) == 0) {
                p_ += w.size();
                v.kind = w == "null" ? Value::Kind::Null : Value::Kind::Bool;
                v.boolean = w == "true";
                return v;
            }
        }
        char* end = nullptr;
        v.kind = Value::Kind::Number;
        v.number = std::strtod(s_.c_str() + p_, &end);
        if (end == s_.c_str() + p_) throw std::runtime_error("bad JSON value");
        p_ = static_cast<std::size_t>(end - s_.c_str());
        return v;
    }

    std::string s_;
    std::size_t p_ = 0;
};

inline Value load(const fs::path& path) {
    return Parser(read_file(path)).parse();
}

// The sidecar of a fixture dyn file: "name.dyn" is described by "name.json".
inline Value sidecar(const std::string& dyn) {
    return load(fixture_path(dyn.substr(0, dyn.size() - 4) + ".json"));
}

}  // namespace test_support::json
