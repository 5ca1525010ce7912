// Reading the display's text back out of a picture, whatever form the
// picture takes (the canvas's colour indices, a window's scaled RGB pixels).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "vgm/BitmapFont.h"

namespace vgmtest {

// Whether the picture shows `text` in the display's font with its top left
// corner at canvas pixel (x, y), each glyph row `vScale` pixels tall: lit
// pixels exactly where the glyphs have bits, dark ones everywhere else in
// their cells. `lit`(x, y) tells whether a canvas pixel is not black.
template <typename Lit>
::testing::AssertionResult showsText(Lit lit, const std::string& text, int64_t x, int64_t y,
                                     int vScale = 1) {
    const BitmapFont font;
    for (size_t i = 0; i < text.size(); ++i)
        for (int row = 0; row < BitmapFont::kGlyphSize; ++row)
            for (int bit = 0; bit < BitmapFont::kGlyphSize; ++bit)
                for (int dy = 0; dy < vScale; ++dy) {
                    const bool set = font.glyphRow(uint8_t(text[i]), row) & (0x80 >> bit);
                    const int64_t px = x + 8 * int64_t(i) + bit, py = y + row * vScale + dy;
                    if (bool(lit(px, py)) != set)
                        return ::testing::AssertionFailure()
                               << "\"" << text << "\" at " << x << "," << y << ": pixel " << px
                               << "," << py << (set ? " is dark" : " is lit");
                }
    return ::testing::AssertionSuccess();
}

} // namespace vgmtest
