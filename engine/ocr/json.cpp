#include "ocr/json.h"

#include <cstdlib>

namespace foli::json {
namespace {

constexpr int kMaxDepth = 32;

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<Value> document() {
        Value value;
        skip_spaces();
        if (!parse_value(value, 0)) return std::nullopt;
        skip_spaces();
        if (pos_ != text_.size()) return std::nullopt;
        return value;
    }

private:
    bool parse_value(Value& value, int depth) {
        if (depth > kMaxDepth || at_end()) return false;
        switch (peek()) {
        case '{': return parse_object(value, depth);
        case '[': return parse_array(value, depth);
        case '"': value.type = Value::Type::String; return parse_string(value.string);
        case 't': value.type = Value::Type::Bool; value.boolean = true; return literal("true");
        case 'f': value.type = Value::Type::Bool; value.boolean = false; return literal("false");
        case 'n': value.type = Value::Type::Null; return literal("null");
        default: value.type = Value::Type::Number; return parse_number(value.number);
        }
    }

    bool parse_object(Value& value, int depth) {
        value.type = Value::Type::Object;
        ++pos_;
        skip_spaces();
        if (consume('}')) return true;
        for (;;) {
            std::string key;
            skip_spaces();
            if (at_end() || peek() != '"' || !parse_string(key)) return false;
            if (value.find(key) != nullptr) return false;
            skip_spaces();
            if (!consume(':')) return false;
            skip_spaces();
            Value member;
            if (!parse_value(member, depth + 1)) return false;
            value.members.emplace_back(std::move(key), std::move(member));
            skip_spaces();
            if (consume('}')) return true;
            if (!consume(',')) return false;
        }
    }

    bool parse_array(Value& value, int depth) {
        value.type = Value::Type::Array;
        ++pos_;
        skip_spaces();
        if (consume(']')) return true;
        for (;;) {
            skip_spaces();
            Value item;
            if (!parse_value(item, depth + 1)) return false;
            value.array.push_back(std::move(item));
            skip_spaces();
            if (consume(']')) return true;
            if (!consume(',')) return false;
        }
    }

    bool parse_string(std::string& out) {
        ++pos_;  // the opening quote
        while (!at_end()) {
            char c = text_[pos_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (at_end()) return false;
            char escape = text_[pos_++];
            switch (escape) {
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case '/': out.push_back('/'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'u':
                if (!parse_unicode_escape(out)) return false;
                break;
            default: return false;
            }
        }
        return false;
    }

    bool hex4(unsigned& code) {
        if (text_.size() - pos_ < 4) return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            char c = text_[pos_++];
            code <<= 4;
            if (c >= '0' && c <= '9') code |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') code |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') code |= static_cast<unsigned>(c - 'A' + 10);
            else return false;
        }
        return true;
    }

    bool parse_unicode_escape(std::string& out) {
        unsigned code = 0;
        if (!hex4(code)) return false;
        if (code >= 0xDC00 && code <= 0xDFFF) return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
            unsigned low = 0;
            if (!consume('\\') || !consume('u') || !hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        append_utf8(out, code);
        return true;
    }

    static void append_utf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }

    // JSON's number grammar, checked before strtod reads the value.
    bool parse_number(double& number) {
        size_t start = pos_;
        consume('-');
        if (consume('0')) {
        } else if (!digits()) {
            return false;
        }
        if (consume('.') && !digits()) return false;
        if (!at_end() && (peek() == 'e' || peek() == 'E')) {
            ++pos_;
            if (!consume('+')) consume('-');
            if (!digits()) return false;
        }
        std::string literal(text_.substr(start, pos_ - start));
        number = std::strtod(literal.c_str(), nullptr);
        return true;
    }

    bool digits() {
        size_t start = pos_;
        while (!at_end() && peek() >= '0' && peek() <= '9') ++pos_;
        return pos_ > start;
    }

    bool literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    void skip_spaces() {
        while (!at_end() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) ++pos_;
    }
    bool consume(char c) {
        if (at_end() || peek() != c) return false;
        ++pos_;
        return true;
    }
    bool at_end() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }

    std::string_view text_;
    size_t pos_ = 0;
};

}  // namespace

const Value* Value::find(std::string_view key) const {
    for (const auto& [name, value] : members)
        if (name == key) return &value;
    return nullptr;
}

std::optional<Value> parse(std::string_view text) { return Parser(text).document(); }

}  // namespace foli::json
