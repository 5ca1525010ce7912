// Portable helpers: clocks and sleeping, text splitting/replacing/trimming, a
// locale-free number reader and writer, and the process-wide random source.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

// ---- Saturating float-to-integer conversions --------------------------------
// Truncate toward zero like a cast, but NaN gives 0 and values outside the
// target range give the nearest end of the range (a plain cast would be
// undefined behaviour there).
inline int32_t PSaturateToInt32(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

inline int64_t PSaturateToInt64(double v) {
    if (!(v == v)) return 0;
    if (v >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    if (v <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}

// ---- Time and sleeping -------------------------------------------------------
double PTimeMilli();                 // monotonic clock in milliseconds, arbitrary origin
double PGetCurrentTimeInSeconds();   // wall clock, seconds since the Unix epoch
double PGetTimeSinceBootInSeconds(); // steady clock in seconds
void PmilliSleep(uint64_t ms);
void PDebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- Text --------------------------------------------------------------------
// Appends the pieces of `text` between occurrences of `separator` to `out`.
void PSimpleStringTokenizer(const std::string& text, const std::string& separator,
                            std::vector<std::string>& out);
void PSimpleStringTokenizer(const std::wstring& text, const std::wstring& separator,
                            std::vector<std::wstring>& out);
// `out` = `in` with every occurrence of `from` replaced by `to`; `in` and `out`
// may be the same object.
void PStringReplacer(const std::string& in, std::string& out, const std::string& from,
                     const std::string& to);
void PStringReplacer(const std::wstring& in, std::wstring& out, const std::wstring& from,
                     const std::wstring& to);
std::string PXmlStringEscape(const std::string& text);

void trim(const std::string& in, std::string& out);       // bytes <= 32 at both ends
void trim_left(const std::string& in, std::string& out);  // leading blanks only
void trim_right(const std::string& in, std::string& out); // trailing blanks only
void lowercase(const std::string& in, std::string& out);
void uppercase(const std::string& in, std::string& out);
std::string lowercase(const std::string& in);
void PRemoveNewlines(std::string& text);
void PRemoveNewlines(std::wstring& text);

// ---- Numbers -----------------------------------------------------------------
double PStrtod(const char* text, const char** end);
bool PStringToDouble(const char* text, double& value);
bool PStringToFloat(const char* text, float& value);
void PDoubleToString(std::string& out, double value, bool forceDot);

// ---- Random numbers (the C library's rand/srand) ----------------------------
extern bool g_PRandOFF; // while set, every random function returns 0
double PUrand();        // 0.0 .. 1.0
float PUrandf();
double PBrand(); // -1.0 .. 1.0
float PBrandf();
void Psrand(uint32_t seed);
void PRandOFF();
