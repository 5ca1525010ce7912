// The player's 8 x 8 pixel font and the text drawing of its pages. A glyph is
// eight rows of eight bits, the most significant bit leftmost; the glyphs sit
// on one sheet 256 pixels wide (32 glyphs per sheet row, three sheet rows,
// 768 bytes), so glyph g's pixel row r is the byte at
// 8 x (g - g mod 32) + g mod 32 + 32 x r. A 256-byte character map takes an
// 8-bit character code (Windows Latin-1) to its glyph: printable ASCII has
// glyphs of its own, accented Latin letters borrow their base letter, control
// codes draw blank and anything else draws a hollow box.
#pragma once

#include <cstdint>

class BitmapFont {
public:
    static constexpr int kGlyphSize = 8;
    static constexpr int kGlyphsPerSheetRow = 32;
    static constexpr int kSheetBytes = 768;

    BitmapFont();

    // Pixel row `row` (0-7) of the glyph of character `code`.
    uint8_t glyphRow(uint8_t code, int row) const;
    uint8_t glyphOf(uint8_t code) const { return charMap[code]; }
    const uint8_t* sheet() const { return glyphSheet; }

private:
    uint8_t charMap[256] = {};
    uint8_t glyphSheet[kSheetBytes] = {};
};

// Draws `length` characters of `text` into a page of `width` x `height`
// pixels (row stride = width) with its top left corner at (x, y). Each set
// glyph bit becomes hScale x vScale pixels of `colour`; a clear bit writes 0
// unless `transparent`, when the pixel is left as it is. Characters follow
// each other 8 x hScale pixels apart. Pixels outside the page are not written.
void drawText(const BitmapFont& font, bool transparent, uint8_t* pixels, uint64_t width,
              uint64_t height, const char* text, uint64_t length, int64_t x, int64_t y, int hScale,
              int vScale, uint8_t colour);
