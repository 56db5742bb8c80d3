// The Windows-1252 table and the conversions to and from UTF-8 and UTF-16.
#include "platform/cp1252.h"

namespace vx::platform {

namespace {

constexpr char16_t TO_UNICODE[256] = {
    0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007,  // 00
    0x0008, 0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x000E, 0x000F,  // 08
    0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0016, 0x0017,  // 10
    0x0018, 0x0019, 0x001A, 0x001B, 0x001C, 0x001D, 0x001E, 0x001F,  // 18
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027,  // 20
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,  // 28
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,  // 30
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,  // 38
    0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,  // 40
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,  // 48
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,  // 50
    0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,  // 58
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,  // 60
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,  // 68
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,  // 70
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x007F,  // 78
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,  // A8
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,  // B8
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,  // C0
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,  // C8
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,  // D0
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,  // D8
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,  // E0
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,  // E8
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,  // F0
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,  // F8
};

constexpr unsigned char FIRST_SPECIAL = 0x80;  // bytes whose character is not their own value
constexpr unsigned char LAST_SPECIAL = 0x9F;
constexpr char32_t MAX_CODE_POINT = 0x10FFFF;

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Lead byte of a UTF-8 sequence: its length and the bits it carries; length 0 when the byte
// cannot start a sequence.
struct Lead {
    unsigned len;
    char32_t bits;
};

Lead utf8_lead(unsigned char b) {
    if (b < 0x80) return {1, b};
    if (b >= 0xC2 && b <= 0xDF) return {2, char32_t(b & 0x1F)};
    if (b >= 0xE0 && b <= 0xEF) return {3, char32_t(b & 0x0F)};
    if (b >= 0xF0 && b <= 0xF4) return {4, char32_t(b & 0x07)};
    return {0, 0};
}

// Decodes the sequence at s[i]; returns the code point and advances i, or returns
// MAX_CODE_POINT + 1 and advances i by one byte when the sequence is malformed.
char32_t next_utf8(std::string_view s, std::size_t& i) {
    constexpr char32_t BAD = MAX_CODE_POINT + 1;
    constexpr char32_t SMALLEST[5] = {0, 0, 0x80, 0x800, 0x10000};
    Lead lead = utf8_lead(static_cast<unsigned char>(s[i]));
    if (lead.len == 0 || i + lead.len > s.size()) {
        i++;
        return BAD;
    }
    char32_t c = lead.bits;
    for (unsigned k = 1; k < lead.len; k++) {
        unsigned char b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            i++;
            return BAD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < SMALLEST[lead.len] || c > MAX_CODE_POINT || is_surrogate(c)) {
        i++;
        return BAD;
    }
    i += lead.len;
    return c;
}

char byte_or_missing(char32_t c) {
    int b = cp1252_from_unicode(c);
    return b < 0 ? CP1252_MISSING : char(b);
}

}  // namespace

char16_t cp1252_to_unicode(unsigned char byte) { return TO_UNICODE[byte]; }

int cp1252_from_unicode(char32_t c) {
    if (c <= 0xFF && TO_UNICODE[c] == c) return int(c);
    for (unsigned b = FIRST_SPECIAL; b <= LAST_SPECIAL; b++)
        if (TO_UNICODE[b] == c) return int(b);
    return -1;
}

std::u16string cp1252_to_utf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char b : bytes) out += TO_UNICODE[static_cast<unsigned char>(b)];
    return out;
}

std::string cp1252_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char b : bytes) append_utf8(out, TO_UNICODE[static_cast<unsigned char>(b)]);
    return out;
}

std::string utf8_to_cp1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) out += byte_or_missing(next_utf8(utf8, i));
    return out;
}

std::string utf16_to_cp1252(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); i++) {
        char32_t c = utf16[i];
        // A surrogate pair is one character outside the table's reach.
        bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
                    utf16[i + 1] <= 0xDFFF;
        if (pair) i++;
        out += pair || is_surrogate(c) ? CP1252_MISSING : byte_or_missing(c);
    }
    return out;
}

}  // namespace vx::platform
