#include "MiniJson.h"

#include <cstdlib>

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : m_text(text) {}

    std::optional<JsonValue> Document()
    {
        std::optional<JsonValue> value = Value();
        SkipSpace();
        if (!value || m_pos != m_text.size())
            return std::nullopt;
        return value;
    }

private:
    void SkipSpace()
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }

    bool Take(char c)
    {
        SkipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool Word(const char* word)
    {
        const std::string w = word;
        if (m_text.compare(m_pos, w.size(), w) != 0)
            return false;
        m_pos += w.size();
        return true;
    }

    std::optional<JsonValue> Value()
    {
        SkipSpace();
        if (m_pos >= m_text.size())
            return std::nullopt;
        JsonValue value;
        const char c = m_text[m_pos];
        if (c == '{')
            return Object();
        if (c == '[')
            return Array();
        if (c == '"') {
            std::optional<std::string> s = String();
            if (!s)
                return std::nullopt;
            value.type = JsonValue::Type::String;
            value.text = *s;
            return value;
        }
        if (Word("true") || Word("false")) {
            value.type = JsonValue::Type::Bool;
            value.boolean = m_text[m_pos - 1] == 'e' && m_text[m_pos - 2] == 'u';   // "true", not "false"
            return value;
        }
        if (Word("null"))
            return value;
        return Number();
    }

    std::optional<JsonValue> Number()
    {
        const size_t start = m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '-')
            ++m_pos;
        const size_t digits = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9')
            ++m_pos;
        if (m_pos == digits || (m_text[digits] == '0' && m_pos - digits > 1))
            return std::nullopt;
        JsonValue value;
        value.type = JsonValue::Type::Number;
        value.number = std::strtod(m_text.substr(start, m_pos - start).c_str(), nullptr);
        return value;
    }

    static void AppendUtf8(std::string& out, unsigned code)
    {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    std::optional<unsigned> Hex4()
    {
        if (m_text.size() - m_pos < 4)
            return std::nullopt;
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= unsigned(c - 'A' + 10);
            else
                return std::nullopt;
        }
        return value;
    }

    std::optional<std::string> String()
    {
        ++m_pos;   // the opening quote
        std::string out;
        while (m_pos < m_text.size()) {
            const unsigned char c = static_cast<unsigned char>(m_text[m_pos++]);
            if (c == '"')
                return out;
            if (c < 0x20)
                return std::nullopt;   // control characters must be escaped
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (m_pos >= m_text.size())
                return std::nullopt;
            const char e = m_text[m_pos++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                std::optional<unsigned> code = Hex4();
                if (!code)
                    return std::nullopt;
                if (*code >= 0xD800 && *code < 0xDC00) {
                    if (!Word("\\u"))
                        return std::nullopt;
                    std::optional<unsigned> low = Hex4();
                    if (!low || *low < 0xDC00 || *low > 0xDFFF)
                        return std::nullopt;
                    *code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
                } else if (*code >= 0xDC00 && *code <= 0xDFFF) {
                    return std::nullopt;
                }
                AppendUtf8(out, *code);
                break;
            }
            default: return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<JsonValue> Array()
    {
        ++m_pos;
        JsonValue value;
        value.type = JsonValue::Type::Array;
        if (Take(']'))
            return value;
        do {
            std::optional<JsonValue> item = Value();
            if (!item)
                return std::nullopt;
            value.items.push_back(*item);
        } while (Take(','));
        if (!Take(']'))
            return std::nullopt;
        return value;
    }

    std::optional<JsonValue> Object()
    {
        ++m_pos;
        JsonValue value;
        value.type = JsonValue::Type::Object;
        if (Take('}'))
            return value;
        do {
            SkipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != '"')
                return std::nullopt;
            std::optional<std::string> key = String();
            if (!key || !Take(':') || value.members.count(*key))
                return std::nullopt;
            std::optional<JsonValue> member = Value();
            if (!member)
                return std::nullopt;
            value.members[*key] = *member;
            value.memberOrder.push_back(*key);
        } while (Take(','));
        if (!Take('}'))
            return std::nullopt;
        return value;
    }

    const std::string& m_text;
    size_t m_pos = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const
{
    static const JsonValue missing;
    const auto it = members.find(key);
    return it == members.end() ? missing : it->second;
}

std::optional<JsonValue> ParseJson(const std::string& text)
{
    return Parser(text).Document();
}
