// Conversions between the UTF-8 text the plug-in keeps and the UTF-16
// (`char16`) text of the VST3 interface, including the fixed 128-unit strings.
// Malformed input (stray continuation bytes, truncated sequences, lone
// surrogates) turns into U+FFFD; output is always zero-terminated and never
// runs past the given capacity.
#pragma once

#include <string>

#include "vst3base/VstTypes.h"

namespace Steinberg {

// UTF-8 -> UTF-16 into `dst` of `capacity` units (terminator included); a
// character that does not fit whole is left out. Answers the units written.
int32 utf8ToUtf16(const char* src, char16* dst, int32 capacity);
// UTF-8 -> UTF-16 as a string.
std::u16string utf8ToU16(const char* src);
// UTF-16 -> UTF-8, reading at most `maxUnits` units (stops at a zero unit; -1 =
// unbounded).
std::string utf16ToUtf8(const char16* src, int32 maxUnits = -1);
// Length of a zero-terminated UTF-16 string, reading at most `maxUnits`.
int32 strlen16(const char16* src, int32 maxUnits = 0x7FFFFFFF);
// Copies a UTF-16 string into `dst` of `capacity` units, cut and terminated.
void strcpy16(char16* dst, const char16* src, int32 capacity);

namespace Vst {
// UTF-8 into a String128.
inline void toString128(String128 dst, const char* utf8) {
    utf8ToUtf16(utf8, dst, 128);
}
} // namespace Vst

} // namespace Steinberg
