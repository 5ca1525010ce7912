#include "vantor/PlatformTools.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

// ---- Time and sleeping -------------------------------------------------------

double PTimeMilli() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const double ns = static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
    return ns * 1e-6;
}

double PGetCurrentTimeInSeconds() {
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<double>(us) / 1000000.0;
}

double PGetTimeSinceBootInSeconds() {
    using namespace std::chrono;
    const auto ns = duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<double>(ns) / 1000000000.0;
}

void PmilliSleep(uint64_t ms) {
    const uint32_t us = static_cast<uint32_t>(ms * 1000u);
    usleep(us);
}

void PDebugLog(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    (void)buffer;
}

// ---- Text --------------------------------------------------------------------

namespace {

template <class S> void tokenize(const S& text, const S& separator, std::vector<S>& out) {
    const S copy = text;
    const size_t sepLen = separator.size();
    if (sepLen != 0 && sepLen <= copy.size()) {
        size_t start = 0;
        size_t hit = copy.find(separator, start);
        if (hit != S::npos) {
            while (hit != S::npos) {
                out.push_back(copy.substr(start, hit - start));
                start = hit + sepLen;
                hit = copy.find(separator, start);
            }
            out.push_back(copy.substr(start));
        }
    }
    if (out.empty()) out.push_back(copy);
}

template <class S> void replaceAll(const S& in, S& out, const S& from, const S& to) {
    std::vector<S> pieces;
    tokenize(in, from, pieces);
    if (pieces.size() == 1) {
        out = pieces[0];
        return;
    }
    out.clear();
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i != 0) out += to;
        out += pieces[i];
    }
}

template <class S> void removeNewlines(S& text) {
    size_t w = 0;
    for (size_t r = 0; r < text.size(); ++r) {
        if (text[r] != 13 && text[r] != 10) text[w++] = text[r];
    }
    text.resize(w);
}

} // namespace

void PSimpleStringTokenizer(const std::string& text, const std::string& separator,
                            std::vector<std::string>& out) {
    tokenize(text, separator, out);
}

void PSimpleStringTokenizer(const std::wstring& text, const std::wstring& separator,
                            std::vector<std::wstring>& out) {
    tokenize(text, separator, out);
}

void PStringReplacer(const std::string& in, std::string& out, const std::string& from,
                     const std::string& to) {
    replaceAll(in, out, from, to);
}

void PStringReplacer(const std::wstring& in, std::wstring& out, const std::wstring& from,
                     const std::wstring& to) {
    replaceAll(in, out, from, to);
}

std::string PXmlStringEscape(const std::string& text) {
    std::string s = text;
    PStringReplacer(s, s, "&", "&amp;");
    PStringReplacer(s, s, "<", "&lt;");
    PStringReplacer(s, s, ">", "&gt;");
    PStringReplacer(s, s, "\"", "&quot;");
    PStringReplacer(s, s, "'", "&apos;");
    return s;
}

void trim(const std::string& in, std::string& out) {
    size_t b = 0;
    size_t e = in.size();
    while (b < e && static_cast<unsigned char>(in[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(in[e - 1]) <= 32) --e;
    out = in.substr(b, e - b);
}

void trim_left(const std::string& in, std::string& out) {
    const size_t b = in.find_first_not_of(' ');
    out = (b == std::string::npos) ? std::string() : in.substr(b);
}

void trim_right(const std::string& in, std::string& out) {
    const size_t e = in.find_last_not_of(' ');
    out = (e == std::string::npos) ? std::string() : in.substr(0, e + 1);
}

void lowercase(const std::string& in, std::string& out) {
    std::string s = in;
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    out = std::move(s);
}

void uppercase(const std::string& in, std::string& out) {
    std::string s = in;
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    out = std::move(s);
}

std::string lowercase(const std::string& in) {
    std::string out;
    lowercase(in, out);
    return out;
}

void PRemoveNewlines(std::string& text) {
    removeNewlines(text);
}
void PRemoveNewlines(std::wstring& text) {
    removeNewlines(text);
}

// ---- Numbers -----------------------------------------------------------------

namespace {
constexpr double kSmallestNormal = 2.2250738585072014e-308;
constexpr double kLargest = 1.7976931348623157e308;
constexpr double kOverflowValue = 4294967295.0;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
} // namespace

double PStrtod(const char* text, const char** end) {
    if (end) *end = text;
    if (!text) return 0.0;

    const char* p = text;
    while (*p != 0 && (std::isspace(static_cast<unsigned char>(*p)) ||
                       std::iscntrl(static_cast<unsigned char>(*p))))
        ++p;

    double sign = 1.0;
    if (*p == '+' || *p == '-') {
        if (*p == '-') sign = -1.0;
        ++p;
    }

    double value = 0.0;
    bool anyDigit = false;
    while (isDigit(*p)) {
        value = value * 10.0 + (*p - '0');
        anyDigit = true;
        ++p;
    }
    if (*p == '.' || *p == ',') {
        ++p;
        double scale = 0.1;
        while (isDigit(*p)) {
            value += (*p - '0') * scale;
            scale *= 0.1;
            anyDigit = true;
            ++p;
        }
    }
    if (!anyDigit) return 0.0;
    if (end) *end = p;

    if (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D') {
        const char* q = p + 1;
        bool negative = false;
        if (*q == '+' || *q == '-') {
            negative = (*q == '-');
            ++q;
        }
        if (isDigit(*q)) {
            // A 32-bit count that wraps around, kept unsigned so the wrap is defined.
            uint32_t count = 0;
            while (isDigit(*q)) {
                count = count * 10u + static_cast<uint32_t>(*q - '0');
                ++q;
            }
            if (count >= 0x80000000u) {
                value = kOverflowValue;
                errno = ERANGE;
            } else if (negative) {
                for (uint32_t i = 0; i < count; ++i) {
                    const double next = value * 0.1;
                    if (next < kSmallestNormal) {
                        value = 0.0;
                        errno = ERANGE;
                        break;
                    }
                    if (next == value) break; // infinity: nothing changes any more
                    value = next;
                }
            } else {
                for (uint32_t i = 0; i < count; ++i) {
                    const double next = value * 10.0;
                    if (next > kLargest) {
                        value = kOverflowValue;
                        errno = ERANGE;
                        break;
                    }
                    if (next == value) break; // zero: nothing changes any more
                    value = next;
                }
            }
            if (end) *end = q;
        }
    }
    return sign * value;
}

bool PStringToDouble(const char* text, double& value) {
    if (!text || *text == 0) return false;
    const char* end = text;
    value = PStrtod(text, &end);
    return end != text && *end == 0;
}

bool PStringToFloat(const char* text, float& value) {
    double d = 0.0;
    if (!PStringToDouble(text, d)) return false;
    value = static_cast<float>(d);
    return true;
}

void PDoubleToString(std::string& out, double value, bool forceDot) {
    char buffer[128] = {};
    // Whole numbers within the signed 64-bit range are written with one decimal.
    const bool inRange = value >= -9223372036854775808.0 && value < 9223372036854775808.0;
    const bool whole =
        inRange && std::fabs(value - static_cast<double>(static_cast<int64_t>(value))) <=
                       2.220446049250313e-16;
    const char* format = "%f";
    if (whole)
        format = "%.1f";
    else if (std::fabs(value) <= 1e-6 || std::fabs(value) >= 1000000000000.0)
        format = "%.16e";
    snprintf(buffer, 127, format, value);
    if (forceDot) {
        for (char* c = buffer; *c; ++c)
            if (*c == ',') *c = '.';
    }
    out = buffer;
}

// ---- Random numbers ----------------------------------------------------------

bool g_PRandOFF = false;

double PUrand() {
    if (g_PRandOFF) return 0.0;
    return rand() * 4.656612875245797e-10;
}

float PUrandf() {
    return static_cast<float>(PUrand());
}

double PBrand() {
    if (g_PRandOFF) return 0.0;
    return rand() * 9.313225750491594e-10 - 1.0;
}

float PBrandf() {
    return static_cast<float>(PBrand());
}

void Psrand(uint32_t seed) {
    srand(seed);
}

void PRandOFF() {
    g_PRandOFF = true;
}
