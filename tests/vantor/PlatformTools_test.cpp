#include "vantor/PlatformTools.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// ---- Tokenizer and replacer -------------------------------------------------

struct TokenCase {
    const char* text;
    const char* separator;
    Strings before; // what `out` held before the call
    Strings after;
};

TEST(PSimpleStringTokenizer, SplitsAndAppends) {
    const TokenCase cases[] = {
        {"a|b|c", "|", {}, {"a", "b", "c"}},
        {"a||b", "|", {}, {"a", "", "b"}},
        {"a|", "|", {}, {"a", ""}},
        {"|", "|", {}, {"", ""}},
        {"abc", "|", {}, {"abc"}},
        {"", "|", {}, {""}},
        {"a::b", "::", {}, {"a", "b"}},
        {":::", "::", {}, {"", ":"}}, // occurrences do not overlap
        {"a", "abc", {}, {"a"}},      // separator longer than the text
        {"abc", "|", {"x"}, {"x"}},   // no separator: a filled list stays unchanged
        {"a|b", "|", {"x"}, {"x", "a", "b"}},
        {"a|b", "", {}, {"a|b"}}, // empty separator: terminates, whole text
    };
    for (const auto& c : cases) {
        Strings out = c.before;
        PSimpleStringTokenizer(c.text, c.separator, out);
        EXPECT_EQ(out, c.after) << "text '" << c.text << "' separator '" << c.separator << "'";
    }
}

TEST(PSimpleStringTokenizer, WideTwinSplitsLikeBytes) {
    std::vector<std::wstring> out;
    PSimpleStringTokenizer(std::wstring(L"\u00e9|\U0001F600||"), std::wstring(L"|"), out);
    EXPECT_EQ(out, (std::vector<std::wstring>{L"\u00e9", L"\U0001F600", L"", L""}));
}

TEST(PStringReplacer, ReplacesEveryOccurrence) {
    struct Case {
        const char *in, *from, *to, *out;
    } cases[] = {
        {"a.b.c", ".", "::", "a::b::c"},
        {"abc", ".", "::", "abc"},
        {"..", ".", "x", "xx"},
        {"aaaa", "aa", "b", "bb"},
        {"", ".", "x", ""},
        {"a.b", "", "x", "a.b"}, // empty pattern: unchanged, terminates
    };
    for (const auto& c : cases) {
        std::string out = "previous";
        PStringReplacer(c.in, out, c.from, c.to);
        EXPECT_EQ(out, c.out) << c.in;
        std::string same = c.in; // input and output the same object
        PStringReplacer(same, same, c.from, c.to);
        EXPECT_EQ(same, c.out) << c.in;
    }
    std::wstring w = L"x-y-z";
    PStringReplacer(w, w, std::wstring(L"-"), std::wstring(L"\u2192"));
    EXPECT_EQ(w, L"x\u2192y\u2192z");
}

TEST(PXmlStringEscape, EscapesAmpersandFirst) {
    EXPECT_EQ(PXmlStringEscape("a<b & 'c'"), "a&lt;b &amp; &apos;c&apos;");
    EXPECT_EQ(PXmlStringEscape("\"x\">&amp;"), "&quot;x&quot;&gt;&amp;amp;");
}

// ---- Trimming, case, newlines -----------------------------------------------

TEST(Trim, RemovesTheRightBytes) {
    struct Case {
        void (*fn)(const std::string&, std::string&);
        const char *in, *out;
    } cases[] = {
        {trim, "\t x \r\n", "x"},
        {trim, "\x01\x1f a b \x7f", "a b \x7f"}, // 127 is above 32 and stays
        {trim, " \t\r\n", ""},
        {trim, "", ""},
        {trim_left, "\t x", "\t x"}, // only blanks
        {trim_left, "  x ", "x "},
        {trim_left, "   ", ""},
        {trim_right, "x\t", "x\t"},
        {trim_right, " x  ", " x"},
        {trim_right, "   ", ""},
    };
    for (const auto& c : cases) {
        std::string out = "previous";
        c.fn(c.in, out);
        EXPECT_EQ(out, c.out) << "'" << c.in << "'";
    }
}

TEST(CaseConversion, UsesTheCLocaleSingleBytes) {
    std::string out;
    uppercase("abc-XYZ 09\xe9", out);
    EXPECT_EQ(out, "ABC-XYZ 09\xe9");
    lowercase("ABC-xyz 09\xc9", out);
    EXPECT_EQ(out, "abc-xyz 09\xc9");
    EXPECT_EQ(lowercase(std::string("MiXeD")), "mixed");
    std::string self = "Self";
    uppercase(self, self);
    EXPECT_EQ(self, "SELF");
}

TEST(PRemoveNewlines, RemovesEveryCrAndLf) {
    std::string s = "\r\na\rb\nc\r\n";
    PRemoveNewlines(s);
    EXPECT_EQ(s, "abc");
    std::wstring w = L"\n\u00e9\r\n";
    PRemoveNewlines(w);
    EXPECT_EQ(w, L"\u00e9");
}

// ---- Number reader ----------------------------------------------------------

constexpr double kOverflow = 4294967295.0;

struct NumberCase {
    const char* text;
    bool ok;
    double value;
    bool erange;
};

TEST(PStringToDouble, ReadsLocaleFreeDecimals) {
    const std::string manyNines(400, '9');
    const std::string nineExp = manyNines + "e-2000000000";
    const NumberCase cases[] = {
        {"1.5", true, 1.5, false},
        {"1,5", true, 1.5, false},
        {" 2", true, 2.0, false},
        {"\t\n\x01-3", true, -3.0, false},
        {"2 ", false, 2.0, false},
        {".", false, 0.0, false},
        {"-", false, 0.0, false},
        {"-.5", true, -0.5, false},
        {"+7", true, 7.0, false},
        {"5.", true, 5.0, false},
        {"1e3", true, 1000.0, false},
        {"1D3", true, 1000.0, false},
        {"2d-1", true, 0.2, false},
        {"1E+2", true, 100.0, false},
        {"1e", false, 1.0, false},
        {"1e+", false, 1.0, false},
        {"1x", false, 1.0, false},
        {"inf", false, 0.0, false},
        {"0x10", false, 0.0, false},
        {"1e400", true, kOverflow, true},
        {"-1e400", true, -kOverflow, true},
        {"1e-400", true, 0.0, true},
        {"0e-1", true, 0.0, true},
        // Exponent counts of billions finish at once with the looped result.
        {"0e2000000000", true, 0.0, false},
        {"0e-2000000000", true, 0.0, true},
        {"1e2000000000", true, kOverflow, true},
        {"1e-2000000000", true, 0.0, true},
        {nineExp.c_str(), true, HUGE_VAL, false}, // infinite mantissa stays infinite
        // A count that wraps negative overflows whatever its sign.
        {"1e3000000000", true, kOverflow, true},
        {"1e-3000000000", true, kOverflow, true},
        {"1e4294967296", true, 1.0, false}, // wraps to 0
    };
    for (const auto& c : cases) {
        errno = 0;
        double value = -99.0;
        EXPECT_EQ(PStringToDouble(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(errno == ERANGE, c.erange) << c.text;
    }
    for (const char* none : {static_cast<const char*>(nullptr), ""}) {
        double untouched = -99.0;
        EXPECT_FALSE(PStringToDouble(none, untouched));
        EXPECT_EQ(untouched, -99.0); // nothing to read: not written
    }
}

TEST(PStrtod, EndPointerMarksWhatWasRead) {
    struct Case {
        const char* text;
        ptrdiff_t consumed;
    } cases[] = {
        {"  -x", 0}, {"12abc", 2}, {"1e+", 1}, {"1.e5z", 4}, {"3,25 ", 4}, {"", 0},
    };
    for (const auto& c : cases) {
        const char* end = nullptr;
        PStrtod(c.text, &end);
        EXPECT_EQ(end - c.text, c.consumed) << c.text;
    }
    EXPECT_EQ(PStrtod("42", nullptr), 42.0);
    EXPECT_EQ(PStrtod(nullptr, nullptr), 0.0);
}

TEST(PStringToFloat, WritesOnlyOnSuccess) {
    float f = 7.0f;
    EXPECT_TRUE(PStringToFloat("0.25", f));
    EXPECT_EQ(f, 0.25f);
    for (const char* bad : {"", "2 ", "abc", "1e"}) {
        f = 7.0f;
        EXPECT_FALSE(PStringToFloat(bad, f)) << bad;
        EXPECT_EQ(f, 7.0f) << bad;
    }
    EXPECT_FALSE(PStringToFloat(nullptr, f));
}

// ---- Number writer ----------------------------------------------------------

std::string printed(const char* format, double v) {
    char buffer[128];
    snprintf(buffer, sizeof buffer, format, v);
    return buffer;
}

TEST(PDoubleToString, ChoosesFormatByValue) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double value;
        std::string text;
    } cases[] = {
        {2.0, "2.0"},
        {0.0, "0.0"},
        {-3.0, "-3.0"},
        {0.5, "0.500000"},
        {-0.25, "-0.250000"},
        {1e-7, "9.9999999999999995e-08"},
        {1e12, "1000000000000.0"},
        {1e12 + 0.5, "1.0000000000005000e+12"},
        {-9223372036854775808.0, "-9223372036854775808.0"},
        {9223372036854775808.0, "9.2233720368547758e+18"}, // at 2^63: not whole any more
        {1e300, "1.0000000000000001e+300"},
        {inf, "inf"},
        {-inf, "-inf"},
        {nan, printed("%f", nan)},
    };
    for (const auto& c : cases) {
        for (bool forceDot : {false, true}) {
            std::string out = "previous";
            PDoubleToString(out, c.value, forceDot);
            EXPECT_EQ(out, c.text) << c.value;
        }
    }
}

TEST(PSaturateToInt, ClampsAndTruncates) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double in;
        int32_t i32;
        int64_t i64;
    } cases[] = {
        {1.9, 1, 1},
        {-1.9, -1, -1},
        {nan, 0, 0},
        {inf, INT32_MAX, INT64_MAX},
        {-inf, INT32_MIN, INT64_MIN},
        {3e9, INT32_MAX, 3000000000},
        {-3e9, INT32_MIN, -3000000000},
        {1e19, INT32_MAX, INT64_MAX},
        {-1e19, INT32_MIN, INT64_MIN},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PSaturateToInt32(c.in), c.i32) << c.in;
        EXPECT_EQ(PSaturateToInt64(c.in), c.i64) << c.in;
    }
}

// ---- Random numbers ---------------------------------------------------------

class RandomTest : public ::testing::Test {
protected:
    void TearDown() override { g_PRandOFF = false; } // the switch is one-way in the product
};

TEST_F(RandomTest, FollowsTheCLibraryGenerator) {
    Psrand(1234);
    srand(1234);
    const int r1 = rand(), r2 = rand(), r3 = rand(), r4 = rand();
    Psrand(1234);
    EXPECT_EQ(PUrand(), r1 * 4.656612875245797e-10);
    EXPECT_EQ(PBrand(), r2 * 9.313225750491594e-10 - 1.0);
    EXPECT_EQ(PUrandf(), static_cast<float>(r3 * 4.656612875245797e-10));
    EXPECT_EQ(PBrandf(), static_cast<float>(r4 * 9.313225750491594e-10 - 1.0));
}

TEST_F(RandomTest, StaysInRange) {
    Psrand(7);
    for (int i = 0; i < 20000; ++i) {
        const double u = PUrand();
        const double b = PBrand();
        ASSERT_GE(u, 0.0);
        ASSERT_LE(u, 1.0);
        ASSERT_GE(b, -1.0);
        ASSERT_LE(b, 1.0);
    }
}

TEST_F(RandomTest, SwitchedOffGivesZeroWithoutDrawing) {
    Psrand(99);
    srand(99);
    const int first = rand();
    Psrand(99);
    PRandOFF();
    EXPECT_TRUE(g_PRandOFF);
    EXPECT_EQ(PUrand(), 0.0);
    EXPECT_EQ(PUrandf(), 0.0f);
    EXPECT_EQ(PBrand(), 0.0);
    EXPECT_EQ(PBrandf(), 0.0f);
    EXPECT_EQ(rand(), first); // the generator was not advanced
}

// ---- Clocks -------------------------------------------------------------------

TEST(Clocks, AdvanceAndMatchTheSystem) {
    const double m0 = PTimeMilli();
    const double b0 = PGetTimeSinceBootInSeconds();
    PmilliSleep(2);
    EXPECT_GE(PTimeMilli() - m0, 1.9); // slept at least 2 ms
    EXPECT_GE(PGetTimeSinceBootInSeconds(), b0);
    const double wall = PGetCurrentTimeInSeconds();
    EXPECT_NEAR(wall, static_cast<double>(time(nullptr)), 2.0);
    PmilliSleep(0);
}

TEST(PDebugLog, FormatsLongMessagesWithoutOutput) {
    const std::string big(4000, 'x');
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    PDebugLog("%s %d %f", big.c_str(), 3, 1.5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

} // namespace
