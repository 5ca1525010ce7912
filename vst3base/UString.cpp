// UTF-8 <-> UTF-16 for the VST3 string records.
#include "vst3base/UString.h"

namespace Steinberg {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point from UTF-8 at `s`, advancing it; overlong forms,
// surrogates and values above U+10FFFF give U+FFFD.
char32_t decodeUtf8(const unsigned char*& s) {
    const unsigned char lead = *s++;
    if (lead < 0x80) return lead;
    int extra;
    char32_t cp;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return kReplacement;
    }
    for (int i = 0; i < extra; ++i) {
        if ((*s & 0xC0) != 0x80) return kReplacement; // truncated: leave the byte for the next
        cp = (cp << 6) | (*s++ & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
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

} // namespace

int32 utf8ToUtf16(const char* src, char16* dst, int32 capacity) {
    if (!dst || capacity <= 0) return 0;
    int32 n = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(src ? src : "");
    while (*s) {
        const char32_t cp = decodeUtf8(s);
        const int32 units = cp >= 0x10000 ? 2 : 1;
        if (n + units > capacity - 1) break;
        if (units == 2) {
            dst[n++] = static_cast<char16>(0xD800 + ((cp - 0x10000) >> 10));
            dst[n++] = static_cast<char16>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            dst[n++] = static_cast<char16>(cp);
        }
    }
    dst[n] = 0;
    return n;
}

std::u16string utf8ToU16(const char* src) {
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(src ? src : "");
    while (*s) {
        const char32_t cp = decodeUtf8(s);
        if (cp >= 0x10000) {
            out += static_cast<char16>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16>(cp);
        }
    }
    return out;
}

std::string utf16ToUtf8(const char16* src, int32 maxUnits) {
    std::string out;
    if (!src) return out;
    const int32 limit = maxUnits < 0 ? 0x7FFFFFFF : maxUnits;
    for (int32 i = 0; i < limit && src[i]; ++i) {
        char32_t cp = src[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 < limit && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (src[i + 1] - 0xDC00);
                ++i;
            } else {
                cp = kReplacement;
            }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        appendUtf8(out, cp);
    }
    return out;
}

int32 strlen16(const char16* src, int32 maxUnits) {
    if (!src) return 0;
    int32 n = 0;
    while (n < maxUnits && src[n]) ++n;
    return n;
}

void strcpy16(char16* dst, const char16* src, int32 capacity) {
    if (!dst || capacity <= 0) return;
    const int32 n = src ? strlen16(src, capacity - 1) : 0;
    for (int32 i = 0; i < n; ++i) dst[i] = src[i];
    dst[n] = 0;
}

} // namespace Steinberg
