// Naming, detection and conversion of text encodings. Text in memory is UTF-8;
// other encodings are converted at the edges.
#pragma once

#include <cstdint>
#include <string>

enum CHARACTER_ENCODING : uint32_t {
    UTF8 = 0,
    UTF16BE = 1,
    UTF16LE = 2,
    UTF32BE = 3,
    UTF32LE = 4,
    UTF7 = 5,
    UTF1 = 6,
    UTF_EBCDIC = 7,
    SCSU = 8,
    BOCU1 = 9,
    UNKNOWN_8BIT = 10,
    ASCII = 11,
    WINDOWS_LATIN = 12, // the system's ANSI code page: Windows Latin-1
    OEM = 13,
};

// The 14 names in value order, then two empty texts (values 14 and 15).
extern const char* const VNTR_EncodingNames[16];

// One row of the byte-order-mark table.
struct VNTREncodingMark {
    uint32_t encoding;
    uint8_t mark[4]; // zero-filled after the mark
    uint64_t length; // mark length in bytes
};
static_assert(sizeof(VNTREncodingMark) == 16);

// The marks in the order they are tested (UTF-32LE before UTF-16LE).
extern const VNTREncodingMark Encodings[10];

// VNTR_EncodingNames[encoding & 15].
const char* getCharEncodingName(uint32_t encoding);

// Compares the first bytes (at least 4 must be readable) with each mark in
// table order; the first match sets both outputs. No match: false, outputs
// unchanged.
bool getCharEncodingFromBOM(const uint8_t* bytes, CHARACTER_ENCODING& encoding,
                            uint64_t& markLength);
// The same over the first 4 bytes of a file; false when the file is missing or
// shorter than 4 bytes.
bool getCharEncodingFromBOM(const std::string& path, CHARACTER_ENCODING& encoding,
                            uint64_t& markLength);

// Guesses the encoding of `length` bytes: a mark (buffers of 5 bytes or more),
// plain ASCII, UTF-8 or, failing those, Windows Latin-1. `report` (may be
// null) receives an explanation.
CHARACTER_ENCODING getCharEncodingFromData(const uint8_t* bytes, uint64_t length,
                                           uint64_t& markLength, std::string* report);

// To UTF-8. Encoding 12 (Windows Latin-1) is converted ("VNTRConv_ERROR6" on
// failure or a result of 1024 bytes or more); every other encoding returns the
// text unchanged. The text is taken up to its first zero byte for encoding 12.
std::string VNTRConv(const std::string& text, uint32_t encoding);
// As above; a null text gives an empty string.
std::string VNTRConv(const char* text, uint32_t encoding);
// UTF-8 text to Windows Latin-1 (`target` 12) or to UTF-8 (any other target);
// "VNTRConv_ERROR6a" on failure.
std::string VNTRConv(const std::string& text, uint32_t source, uint32_t target);
// Wide text read as UTF-32 little-endian (other readings with `fallback`) to
// UTF-8; "VNTRConv_ERROR8" on failure. `encoding` is not used.
std::string VNTRConv(const std::wstring& text, uint32_t encoding, bool fallback);
// VNTRConvCrudeUTF16_TO_UTF8(text); `encoding` is not used.
std::string VNTRConv(const std::u16string& text, uint32_t encoding);

// UTF-16 units to UTF-8 by hand: surrogate pairs are not combined, and the
// conversion stops at the first leading surrogate.
std::string VNTRConvCrudeUTF16_TO_UTF8(const std::u16string& text);
// The units up to the terminating zero; null gives an empty string.
std::string VNTRConvCrudeUTF16_TO_UTF8(const uint16_t* text);
std::string VNTRConvCrudeUTF16_TO_UTF8(const char16_t* text);
// Zero-terminated 32-bit units, each cut to its low 16 bits.
std::string VNTRConvCrudeUTF16_IN_UINT32_TO_UTF8(const uint32_t* units);
