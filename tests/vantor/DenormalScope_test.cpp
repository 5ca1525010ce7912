// The audio entry points' floating-point mode: denormals flushed inside the
// scope, the caller's control word back afterwards, whatever it held.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>
#include <limits>

#include "vantor/DenormalScope.h"

namespace {

using vantor::DenormalScope;

// Halving the smallest normal number: a denormal unless flushed. The operands
// pass through volatile so the compiler cannot fold the division.
float halfOfSmallestNormal() {
    volatile float tiny = std::numeric_limits<float>::min();
    volatile float two = 2.0f;
    return tiny / two;
}

// A denormal operand: read as zero when denormals-are-zero is set.
double denormalTimesOne() {
    volatile double d = std::numeric_limits<double>::denorm_min() * 4;
    volatile double one = 1.0;
    return d * one;
}

TEST(DenormalScope, FlushesInsideAndRestoresTheCallersWord) {
#if defined(__x86_64__) || defined(__i386__) || defined(__aarch64__)
    const auto original = DenormalScope::read();
    // Callers with the bits clear, already set, or with another rounding mode.
    const decltype(original) callers[] = {original & ~DenormalScope::kBits,
                                          original | DenormalScope::kBits,
                                          original & ~DenormalScope::kBits};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        DenormalScope::write(callers[k]);
        if (k == 2) std::fesetround(FE_UPWARD);
        if ((callers[k] & DenormalScope::kBits) == 0) {
            EXPECT_GT(halfOfSmallestNormal(), 0.0f);
        }
        const auto before = DenormalScope::read(); // sticky flags included
        {
            const DenormalScope scope;
            EXPECT_EQ(DenormalScope::read() & DenormalScope::kBits, DenormalScope::kBits);
            EXPECT_EQ(halfOfSmallestNormal(), 0.0f);
#if !defined(__aarch64__)
            EXPECT_EQ(denormalTimesOne(), 0.0);
#endif
            {
                const DenormalScope nested;
                EXPECT_EQ(halfOfSmallestNormal(), 0.0f);
            }
            EXPECT_EQ(DenormalScope::read() & DenormalScope::kBits, DenormalScope::kBits);
        }
        EXPECT_EQ(DenormalScope::read(), before);
        if (k == 2) {
            EXPECT_EQ(std::fegetround(), FE_UPWARD);
        }
        std::fesetround(FE_TONEAREST);
    }
    DenormalScope::write(original);
#else
    GTEST_SKIP() << "no flush-to-zero control on this architecture";
#endif
}

} // namespace
