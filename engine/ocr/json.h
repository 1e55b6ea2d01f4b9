// A small JSON reader for the model package manifest: the whole text is
// parsed into values, or refused.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace foli::json {

struct Value {
    enum class Type { Null, Bool, Number, String, Array, Object };

    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string string;                                  // UTF-8
    std::vector<Value> array;
    std::vector<std::pair<std::string, Value>> members;  // in document order

    // The member named `key` of an object, or null.
    const Value* find(std::string_view key) const;
    bool is(Type wanted) const { return type == wanted; }
};

// Parses one JSON text (RFC 8259). Refuses syntax errors, text after the
// value, nesting deeper than 32 levels and duplicate member names.
std::optional<Value> parse(std::string_view text);

}  // namespace foli::json
