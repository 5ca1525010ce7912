// Immutable text objects. The text is held as Unicode; encodings are converted
// with the C library's iconv, so a conversion either succeeds completely or
// fails (nothing is replaced or dropped).
#pragma once

#include "platform/CFBase.h"

struct SxCFString;
typedef const SxCFString* CFStringRef;
typedef uint32_t CFStringEncoding;
typedef uint16_t UniChar;

enum : CFStringEncoding {
    kCFStringEncodingMacRoman = 0,
    kCFStringEncodingUnicode = 0x0100, // UTF-16 in host byte order
    kCFStringEncodingUTF16 = 0x0100,
    kCFStringEncodingISOLatin1 = 0x0201,
    kCFStringEncodingWindowsLatin1 = 0x0500,
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUTF8 = 0x08000100,
    kCFStringEncodingUTF32 = 0x0C000100, // host byte order
    kCFStringEncodingUTF16BE = 0x10000100,
    kCFStringEncodingUTF16LE = 0x14000100,
    kCFStringEncodingUTF32BE = 0x18000100,
    kCFStringEncodingUTF32LE = 0x1C000100,
    kCFStringEncodingInvalidId = 0xFFFFFFFFu,
};

enum : CFOptionFlags {
    kCFCompareCaseInsensitive = 1,
};

// The counted UTF-16 record of file names: a length and room for 255 units.
struct HFSUniStr255 {
    uint16_t length;
    UniChar unicode[255];
};
static_assert(sizeof(HFSUniStr255) == 512);

CFTypeID CFStringGetTypeID();

// The system's legacy 8-bit encoding. On this platform it is ISO Latin-1,
// in which every byte sequence is valid text.
CFStringEncoding CFStringGetSystemEncoding();

// Text up to the first zero byte, read in `encoding`; null when `text` is null
// or not valid in that encoding.
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* text,
                                      CFStringEncoding encoding);
// `length` bytes read in `encoding` (zero bytes included); null when they are
// not valid in that encoding. An external representation may begin with a
// byte-order mark, which is then honoured and dropped.
CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const uint8_t* bytes, CFIndex length,
                                    CFStringEncoding encoding, bool isExternalRepresentation);
// A string holding the same text.
CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef string);

// The text in `encoding` followed by a zero byte, when both fit in
// `bufferSize` bytes; false (buffer contents unspecified) when the text does
// not fit or cannot be expressed in `encoding`.
bool CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize,
                        CFStringEncoding encoding);
// Length in UTF-16 units.
CFIndex CFStringGetLength(CFStringRef string);
// Copies the UTF-16 units of `range` (which must lie inside the string).
void CFStringGetCharacters(CFStringRef string, CFRange range, UniChar* buffer);
// Orders by Unicode code point; kCFCompareCaseInsensitive folds ASCII and
// Latin-1 letters.
CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFOptionFlags options);

// A constant string for a literal UTF-8 text: never destroyed, one object per
// distinct text; Retain and Release do nothing to it.
CFStringRef SxCFConstantString(const char* utf8);
#define CFSTR(literal) SxCFConstantString("" literal "")
