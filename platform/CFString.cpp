#include "platform/CFString.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/CFObject.h"

namespace {

// The iconv name of a CoreFoundation encoding; null for encodings not offered.
const char* iconvName(CFStringEncoding encoding) {
    switch (encoding) {
    case kCFStringEncodingMacRoman:
        return "MACINTOSH";
    case kCFStringEncodingUnicode:
        return "UTF-16LE"; // host order (little-endian)
    case kCFStringEncodingISOLatin1:
        return "ISO-8859-1";
    case kCFStringEncodingWindowsLatin1:
        return "CP1252";
    case kCFStringEncodingASCII:
        return "ASCII";
    case kCFStringEncodingUTF8:
        return "UTF-8";
    case kCFStringEncodingUTF32:
        return "UTF-32LE";
    case kCFStringEncodingUTF16BE:
        return "UTF-16BE";
    case kCFStringEncodingUTF16LE:
        return "UTF-16LE";
    case kCFStringEncodingUTF32BE:
        return "UTF-32BE";
    case kCFStringEncodingUTF32LE:
        return "UTF-32LE";
    default:
        return nullptr;
    }
}

bool convert(const char* from, const char* to, const char* bytes, size_t length, std::string& out) {
    if (!from || !to) return false;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string result;
    char buffer[1024];
    char* in = const_cast<char*>(bytes);
    size_t inLeft = length;
    bool ok = true;
    while (inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        result.append(buffer, sizeof buffer - oLeft);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false; // invalid or incomplete input
            break;
        }
    }
    if (ok) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        ok = iconv(cd, nullptr, nullptr, &o, &oLeft) != static_cast<size_t>(-1);
        result.append(buffer, sizeof buffer - oLeft);
    }
    iconv_close(cd);
    if (ok) out = std::move(result);
    return ok;
}

// Decodes valid UTF-8 into code points.
template <class F> void forEachCodePoint(const std::string& s, F f) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t n;
        if (c < 0x80) {
            cp = c, n = 1;
        } else if (c < 0xE0) {
            cp = c & 0x1F, n = 2;
        } else if (c < 0xF0) {
            cp = c & 0x0F, n = 3;
        } else {
            cp = c & 0x07, n = 4;
        }
        for (size_t k = 1; k < n && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        f(cp);
        i += n;
    }
}

std::u16string toUTF16(const std::string& s) {
    std::u16string out;
    forEachCodePoint(s, [&](uint32_t cp) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    });
    return out;
}

uint32_t foldCase(uint32_t cp) {
    if (cp >= 'A' && cp <= 'Z') return cp + 32;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
    return cp;
}

} // namespace

bool sxIsValidUTF8(const std::string& text) {
    std::string ignored;
    return convert("UTF-8", "UTF-8", text.data(), text.size(), ignored);
}

bool sxConvertToUTF8(const char* bytes, size_t length, CFStringEncoding from, std::string& out) {
    return convert(iconvName(from), "UTF-8", bytes, length, out);
}

bool sxConvertFromUTF8(const std::string& utf8, CFStringEncoding to, std::string& out) {
    return convert("UTF-8", iconvName(to), utf8.data(), utf8.size(), out);
}

CFStringRef sxMakeString(std::string utf8) {
    return new SxCFString(std::move(utf8));
}

bool SxCFString::sameValue(const SxCFObject& other) const {
    return utf8 == static_cast<const SxCFString&>(other).utf8;
}

CFTypeID CFStringGetTypeID() {
    return kSxTypeString;
}

CFStringEncoding CFStringGetSystemEncoding() {
    return kCFStringEncodingISOLatin1;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* text, CFStringEncoding encoding) {
    if (!text) return nullptr;
    std::string utf8;
    if (!sxConvertToUTF8(text, std::strlen(text), encoding, utf8)) return nullptr;
    return sxMakeString(std::move(utf8));
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const uint8_t* bytes, CFIndex length,
                                    CFStringEncoding encoding, bool isExternalRepresentation) {
    if (length < 0 || (!bytes && length > 0)) return nullptr;
    const char* p = reinterpret_cast<const char*>(bytes);
    size_t n = static_cast<size_t>(length);
    if (isExternalRepresentation &&
        (encoding == kCFStringEncodingUnicode || encoding == kCFStringEncodingUTF32)) {
        bool utf16 = encoding == kCFStringEncodingUnicode;
        static const char le16[] = "\xFF\xFE", be16[] = "\xFE\xFF";
        static const char le32[] = "\xFF\xFE\0\0", be32[] = "\0\0\xFE\xFF";
        size_t markLen = utf16 ? 2 : 4;
        if (n >= markLen && std::memcmp(p, utf16 ? le16 : le32, markLen) == 0) {
            encoding = utf16 ? kCFStringEncodingUTF16LE : kCFStringEncodingUTF32LE;
            p += markLen, n -= markLen;
        } else if (n >= markLen && std::memcmp(p, utf16 ? be16 : be32, markLen) == 0) {
            encoding = utf16 ? kCFStringEncodingUTF16BE : kCFStringEncodingUTF32BE;
            p += markLen, n -= markLen;
        }
    }
    std::string utf8;
    if (n > 0 && !sxConvertToUTF8(p, n, encoding, utf8)) return nullptr;
    if (n == 0 && !iconvName(encoding)) return nullptr;
    return sxMakeString(std::move(utf8));
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef string) {
    const SxCFString* s = sxAs<SxCFString>(string, kSxTypeString);
    return s ? sxMakeString(s->utf8) : nullptr;
}

bool CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize,
                        CFStringEncoding encoding) {
    const SxCFString* s = sxAs<SxCFString>(string, kSxTypeString);
    if (!s || !buffer || bufferSize <= 0) return false;
    std::string encoded;
    if (!sxConvertFromUTF8(s->utf8, encoding, encoded)) return false;
    if (encoded.size() + 1 > static_cast<size_t>(bufferSize)) return false;
    std::memcpy(buffer, encoded.data(), encoded.size());
    buffer[encoded.size()] = '\0';
    return true;
}

CFIndex CFStringGetLength(CFStringRef string) {
    const SxCFString* s = sxAs<SxCFString>(string, kSxTypeString);
    if (!s) return 0;
    CFIndex n = 0;
    forEachCodePoint(s->utf8, [&](uint32_t cp) { n += cp >= 0x10000 ? 2 : 1; });
    return n;
}

void CFStringGetCharacters(CFStringRef string, CFRange range, UniChar* buffer) {
    const SxCFString* s = sxAs<SxCFString>(string, kSxTypeString);
    if (!s || !buffer || range.location < 0 || range.length <= 0) return;
    std::u16string units = toUTF16(s->utf8);
    size_t from = static_cast<size_t>(range.location);
    if (from >= units.size()) return;
    size_t count = std::min(static_cast<size_t>(range.length), units.size() - from);
    std::memcpy(buffer, units.data() + from, count * sizeof(UniChar));
}

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFOptionFlags options) {
    const SxCFString* x = sxAs<SxCFString>(a, kSxTypeString);
    const SxCFString* y = sxAs<SxCFString>(b, kSxTypeString);
    std::vector<uint32_t> cx, cy;
    bool fold = (options & kCFCompareCaseInsensitive) != 0;
    if (x) forEachCodePoint(x->utf8, [&](uint32_t c) { cx.push_back(fold ? foldCase(c) : c); });
    if (y) forEachCodePoint(y->utf8, [&](uint32_t c) { cy.push_back(fold ? foldCase(c) : c); });
    if (cx < cy) return kCFCompareLessThan;
    if (cy < cx) return kCFCompareGreaterThan;
    return kCFCompareEqualTo;
}

CFStringRef SxCFConstantString(const char* utf8) {
    static std::mutex lock;
    static auto* table = new std::map<std::string, SxCFString*>(); // lives for the process
    std::string text = utf8 ? utf8 : "";
    if (!sxIsValidUTF8(text)) return nullptr;
    std::lock_guard<std::mutex> guard(lock);
    auto it = table->find(text);
    if (it != table->end()) return it->second;
    auto* s = new SxCFString(text);
    s->immortal = true;
    table->emplace(text, s);
    return s;
}
