#include "vantor/VNTRConv.h"

#include <cstdio>
#include <cstring>

#include "platform/RegularFile.h"
#include "vantor/CFTools.h"

const char* const VNTR_EncodingNames[16] = {"UTF8",
                                            "UTF16BE",
                                            "UTF16LE",
                                            "UTF32BE",
                                            "UTF32LE",
                                            "UTF7",
                                            "UTF1",
                                            "UTF_EBCDIC",
                                            "SCSU",
                                            "BOCU1",
                                            "UNKNOWN_8BIT",
                                            "ASCII",
                                            "WINDOWS_LATIN/CP_ACP",
                                            "OEM",
                                            "",
                                            ""};

const VNTREncodingMark Encodings[10] = {
    {UTF8, {0xEF, 0xBB, 0xBF, 0x00}, 3},    {UTF16BE, {0xFE, 0xFF, 0x00, 0x00}, 2},
    {UTF32LE, {0xFF, 0xFE, 0x00, 0x00}, 4}, {UTF16LE, {0xFF, 0xFE, 0x00, 0x00}, 2},
    {UTF32BE, {0x00, 0x00, 0xFE, 0xFF}, 4}, {UTF7, {0x2B, 0x2F, 0x76, 0x00}, 3},
    {UTF1, {0xF7, 0x64, 0x4C, 0x00}, 3},    {UTF_EBCDIC, {0xDD, 0x73, 0x66, 0x73}, 4},
    {SCSU, {0x0E, 0xFE, 0xFF, 0x00}, 3},    {BOCU1, {0xFB, 0xEE, 0x28, 0x00}, 3},
};

namespace {

// The text up to its first zero byte, converted through the 1024-byte buffer.
bool platformToUTF8(const std::string& text, uint32_t from, std::string& out) {
    vantor::CFStringWrapper s(text, from, false);
    return s.getCString1024(out, kCFStringEncodingUTF8);
}

} // namespace

const char* getCharEncodingName(uint32_t encoding) {
    return VNTR_EncodingNames[encoding & 15];
}

bool getCharEncodingFromBOM(const uint8_t* bytes, CHARACTER_ENCODING& encoding,
                            uint64_t& markLength) {
    if (!bytes) return false;
    for (const VNTREncodingMark& row : Encodings) {
        if (std::memcmp(bytes, row.mark, row.length) == 0) {
            encoding = static_cast<CHARACTER_ENCODING>(row.encoding);
            markLength = row.length;
            return true;
        }
    }
    return false;
}

bool getCharEncodingFromBOM(const std::string& path, CHARACTER_ENCODING& encoding,
                            uint64_t& markLength) {
    FILE* f = platform::openRegularStream(path);
    if (!f) return false;
    uint8_t head[4];
    size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return n == sizeof head && getCharEncodingFromBOM(head, encoding, markLength);
}

CHARACTER_ENCODING getCharEncodingFromData(const uint8_t* bytes, uint64_t length,
                                           uint64_t& markLength, std::string* report) {
    markLength = 0;
    if (length == 0 || !bytes) return ASCII;
    if (length >= 5) {
        CHARACTER_ENCODING fromMark = ASCII;
        if (getCharEncodingFromBOM(bytes, fromMark, markLength)) return fromMark;
    }
    uint64_t i = 0;
    while (i < length && !(bytes[i] & 0x80)) ++i;
    if (i == length) return ASCII;
    if (report) {
        *report += "Binary detected! off:" + std::to_string(i) + " = " + std::to_string(bytes[i]);
    }
    for (uint64_t k = 1; k < length; ++k) {
        if ((bytes[k] & 0x80) && bytes[k - 1] >= 0xC0) {
            if (report) *report += " brute force detected UTF-8!\n";
            return UTF8;
        }
    }
    if (report) *report += " Exhausted heuristics! Will use WINDOWS LATIN encoding!\n";
    return WINDOWS_LATIN;
}

std::string VNTRConv(const std::string& text, uint32_t encoding) {
    if (encoding != WINDOWS_LATIN) return text;
    std::string out;
    if (!platformToUTF8(text, kCFStringEncodingWindowsLatin1, out)) return "VNTRConv_ERROR6";
    return out;
}

std::string VNTRConv(const char* text, uint32_t encoding) {
    if (!text) return std::string();
    return VNTRConv(std::string(text), encoding);
}

std::string VNTRConv(const std::string& text, uint32_t, uint32_t target) {
    vantor::CFStringWrapper s(text, kCFStringEncodingUTF8, false);
    std::string out;
    uint32_t to = target == WINDOWS_LATIN ? kCFStringEncodingWindowsLatin1 : kCFStringEncodingUTF8;
    if (!s.getCString1024(out, to)) return "VNTRConv_ERROR6a";
    return out;
}

std::string VNTRConv(const std::wstring& text, uint32_t, bool fallback) {
    vantor::CFStringWrapper s(text, kCFStringEncodingUTF32LE, fallback);
    std::string out;
    if (!s.getCString1024(out, kCFStringEncodingUTF8)) return "VNTRConv_ERROR8";
    return out;
}

std::string VNTRConv(const std::u16string& text, uint32_t) {
    return VNTRConvCrudeUTF16_TO_UTF8(text);
}

namespace {

// Appends one unit; false at a leading surrogate, where the conversion stops.
bool appendCrude(std::string& out, uint32_t u) {
    if (u <= 0x7F) {
        out.push_back(static_cast<char>(u));
    } else if (u <= 0x7FF) {
        out.push_back(static_cast<char>(0xC0 | (u >> 6)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else if (u >= 0xD800 && u <= 0xDBFF) {
        return false;
    } else {
        out.push_back(static_cast<char>(0xE0 | (u >> 12)));
        out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
    return true;
}

} // namespace

std::string VNTRConvCrudeUTF16_TO_UTF8(const std::u16string& text) {
    std::string out;
    for (char16_t u : text)
        if (!appendCrude(out, u)) break;
    return out;
}

std::string VNTRConvCrudeUTF16_TO_UTF8(const uint16_t* text) {
    std::string out;
    for (const uint16_t* p = text; p && *p; ++p)
        if (!appendCrude(out, *p)) break;
    return out;
}

std::string VNTRConvCrudeUTF16_TO_UTF8(const char16_t* text) {
    return VNTRConvCrudeUTF16_TO_UTF8(reinterpret_cast<const uint16_t*>(text));
}

std::string VNTRConvCrudeUTF16_IN_UINT32_TO_UTF8(const uint32_t* units) {
    std::u16string text;
    for (const uint32_t* p = units; p && *p; ++p)
        text.push_back(static_cast<char16_t>(*p & 0xFFFF));
    return VNTRConvCrudeUTF16_TO_UTF8(text);
}
