#pragma once
// A small strict JSON parser, enough to read the tool's --json output back.
#include <map>
#include <optional>
#include <string>
#include <vector>

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string text;                          // strings, decoded to UTF-8
    std::vector<JsonValue> items;              // arrays
    std::map<std::string, JsonValue> members;  // objects
    std::vector<std::string> memberOrder;      // object keys as they appeared

    const JsonValue& operator[](const std::string& key) const;
};

// The value of the whole text (surrounding white space allowed), or nothing
// when the text is not exactly one valid JSON value.
std::optional<JsonValue> ParseJson(const std::string& text);
