// Compares the bytes of a record with a fixture written by hand as hex text:
// two hex digits per byte, blanks anywhere, ".." for a byte that is not
// compared (pointers, say). Fixed binary layouts are checked this way against
// their published tables, so one shared mistake in a header cannot pass.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace testsupport {

inline void expectBytesMatchFixture(const unsigned char* bytes, size_t size, const char* fixture) {
    const char* f = fixture;
    for (size_t i = 0; i < size; ++i) {
        while (*f == ' ') ++f;
        ASSERT_TRUE(f[0] && f[1]) << "fixture ends before byte " << i;
        if (f[0] != '.') {
            const unsigned expected = std::strtoul(std::string(f, 2).c_str(), nullptr, 16);
            EXPECT_EQ(bytes[i], expected) << "byte " << i;
        }
        f += 2;
    }
    while (*f == ' ') ++f;
    EXPECT_EQ(*f, '\0') << "fixture longer than the record";
}

} // namespace testsupport
