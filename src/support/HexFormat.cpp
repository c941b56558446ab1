#include "HexFormat.h"

#include <cctype>

void AppendHexBytes(std::string& out, const uint8_t* bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < count; ++i) {
        if (i)
            out.push_back(' ');
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0x0F]);
    }
}

static int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

uint32_t ParseHexField(const std::string& text, size_t maxChars)
{
    const size_t n = (maxChars && text.size() > maxChars) ? maxChars : text.size();
    size_t i = 0;
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                     text[i] == '\v' || text[i] == '\f'))
        ++i;
    if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        i + 2 < n && HexDigitValue(text[i + 2]) >= 0)
        i += 2;
    uint64_t value = 0;
    bool overflow = false;
    for (; i < n; ++i) {
        const int d = HexDigitValue(text[i]);
        if (d < 0)
            break;
        value = value * 16 + static_cast<uint64_t>(d);
        if (value > 0xFFFFFFFFull)
            overflow = true;
    }
    return overflow ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

bool ParseStrictNumber(const std::string& text, int base, uint32_t& value)
{
    size_t i = 0;
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        i = 2;
    if (i >= text.size())
        return false;
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        int d = HexDigitValue(text[i]);
        if (d < 0 || d >= base)
            return false;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFull)
            return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}
