#include "Json.h"

#include "Failure.h"

#include <cstdlib>

const JsonValue& JsonValue::operator[](const std::string& name) const
{
    static const JsonValue null;
    for (const auto& [key, value] : members)
        if (key == name)
            return value;
    return null;
}

namespace
{

class Parser
{
public:
    explicit Parser(const std::string& text) : s(text) {}

    JsonValue document()
    {
        JsonValue v = value();
        skipBlanks();
        if (pos != s.size())
            fail();
        return v;
    }

private:
    const std::string& s;
    size_t pos = 0;

    [[noreturn]] void fail() { throw Failure("unreadable answer from ffprobe"); }

    void skipBlanks()
    {
        while (pos < s.size() &&
               (s[pos] == ' ' || s[pos] == '\n' || s[pos] == '\r' || s[pos] == '\t'))
            ++pos;
    }

    bool take(char c)
    {
        skipBlanks();
        if (pos < s.size() && s[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }

    void expect(char c)
    {
        if (!take(c))
            fail();
    }

    JsonValue value()
    {
        skipBlanks();
        if (pos >= s.size())
            fail();
        JsonValue v;
        const char c = s[pos];
        if (c == '{') {
            v.kind = JsonValue::Kind::Object;
            ++pos;
            if (take('}'))
                return v;
            do {
                skipBlanks();
                std::string key = string();
                expect(':');
                v.members.emplace_back(std::move(key), value());
            } while (take(','));
            expect('}');
        } else if (c == '[') {
            v.kind = JsonValue::Kind::Array;
            ++pos;
            if (take(']'))
                return v;
            do
                v.items.push_back(value());
            while (take(','));
            expect(']');
        } else if (c == '"') {
            v.kind = JsonValue::Kind::String;
            v.text = string();
        } else {
            const size_t start = pos;
            while (pos < s.size() && std::string_view("+-.0123456789eEtruefalsn").find(s[pos]) !=
                                         std::string_view::npos)
                ++pos;
            v.text = s.substr(start, pos - start);
            if (v.text == "null")
                v.kind = JsonValue::Kind::Null;
            else if (v.text == "true" || v.text == "false")
                v.kind = JsonValue::Kind::Bool;
            else if (!v.text.empty() &&
                     (v.text[0] == '-' || (v.text[0] >= '0' && v.text[0] <= '9')))
                v.kind = JsonValue::Kind::Number;
            else
                fail();
        }
        return v;
    }

    void appendUtf8(std::string& out, unsigned cp)
    {
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

    unsigned hex4()
    {
        if (pos + 4 > s.size())
            fail();
        const std::string digits = s.substr(pos, 4);
        char* end = nullptr;
        const unsigned long cp = std::strtoul(digits.c_str(), &end, 16);
        if (end != digits.c_str() + 4)
            fail();
        pos += 4;
        return static_cast<unsigned>(cp);
    }

    std::string string()
    {
        if (pos >= s.size() || s[pos] != '"')
            fail();
        ++pos;
        std::string out;
        while (pos < s.size() && s[pos] != '"') {
            if (s[pos] != '\\') {
                out += s[pos++];
                continue;
            }
            if (++pos >= s.size())
                fail();
            const char e = s[pos++];
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                unsigned cp = hex4();
                if (cp >= 0xD800 && cp < 0xDC00 && pos + 1 < s.size() && s[pos] == '\\' &&
                    s[pos + 1] == 'u') {
                    pos += 2;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (hex4() - 0xDC00);
                }
                appendUtf8(out, cp);
                break;
            }
            default:
                out += e; // '"', '\\', '/'
            }
        }
        if (pos >= s.size())
            fail();
        ++pos;
        return out;
    }
};

} // namespace

JsonValue parseJson(const std::string& text)
{
    return Parser(text).document();
}
