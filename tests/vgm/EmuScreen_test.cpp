// The pixel screen and the 8 x 8 font the media display draws with.
#include "vgm/BitmapFont.h"
#include "vgm/EmuScreen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

#include "vgm/support/TestCanvas.h"

using vgmtest::TestCanvas;

namespace {

struct ShapeCase {
    const char* name;
    uint64_t width, height, pixelBytes;
    uint64_t screenWidth, screenHeight;
};

// Canvases of every size a host might report, honest or not.
const ShapeCase kShapes[] = {
    {"console picture", 320, 224, CanvasRecord::kHostPixelBytes, 320, 224},
    {"smaller", 16, 8, CanvasRecord::kHostPixelBytes, 16, 8},
    {"the host's whole buffer", 640, 480, CanvasRecord::kHostPixelBytes, 640, 480},
    {"taller than its buffer", 640, 1000, CanvasRecord::kHostPixelBytes, 640, 480},
    {"small buffer", 320, 224, 320 * 10 + 5, 320, 10},
    {"wider than its buffer", 400000, 1, CanvasRecord::kHostPixelBytes, 0, 0},
    {"sizes that overflow", uint64_t(1) << 40, uint64_t(1) << 40, CanvasRecord::kHostPixelBytes, 0,
     0},
    {"one column, endless rows", 1, uint64_t(1) << 62, 1000, 1, 1000},
    {"no width", 0, 224, CanvasRecord::kHostPixelBytes, 0, 0},
    {"no height", 320, 0, CanvasRecord::kHostPixelBytes, 320, 0},
};

} // namespace

TEST(EmuScreen, NeverDrawsPastTheCanvasBuffer) {
    for (const ShapeCase& c : kShapes) {
        SCOPED_TRACE(c.name);
        TestCanvas canvas(c.width, c.height, c.pixelBytes);
        EmuScreen screen;
        screen.attachCanvas(&canvas.record, "test");
        ASSERT_EQ(screen.getWidth(), c.screenWidth);
        ASSERT_EQ(screen.getHeight(), c.screenHeight);
        ASSERT_EQ(screen.getSize(), c.screenWidth * c.screenHeight);

        screen.clear(7);
        const int64_t w = int64_t(c.screenWidth), h = int64_t(c.screenHeight);
        for (auto [row, column] : {std::pair<int64_t, int64_t>{0, 0},
                                   {h - 1, w - 1},
                                   {-1, 0},
                                   {0, -1},
                                   {h, 0},
                                   {0, w},
                                   {INT64_MIN, INT64_MAX}})
            screen.setPixel(row, column, 3);
        screen.present();

        EXPECT_TRUE(canvas.guardsIntact());
        EXPECT_EQ(canvas.updates, 1);
        if (screen.getSize() != 0) {
            EXPECT_EQ(canvas.pixels[0], 3);
            EXPECT_EQ(canvas.pixels[screen.getSize() - 1], 3);
            EXPECT_EQ(
                std::count(canvas.pixels.begin(), canvas.pixels.begin() + screen.getSize(), 7),
                int64_t(screen.getSize()) - (screen.getSize() == 1 ? 1 : 2));
        }
    }
}

TEST(EmuScreen, MissingCanvasPartsAreSkipped) {
    EmuScreen unattached;
    unattached.clear(1);
    unattached.setPixel(0, 0, 1);
    unattached.present();
    EXPECT_EQ(unattached.getSize(), 0u);

    EmuScreen noCanvas;
    noCanvas.attachCanvas(nullptr);
    noCanvas.clear(1);
    noCanvas.present();
    EXPECT_EQ(noCanvas.getSize(), 0u);

    // Without a pixel buffer nothing is copied, so nobody is told.
    TestCanvas canvas(320, 224);
    canvas.record.pixels = nullptr;
    canvas.record.red = nullptr;
    EmuScreen screen;
    screen.attachCanvas(&canvas.record);
    screen.clear(1);
    screen.present();
    EXPECT_EQ(canvas.updates, 0);
    EXPECT_FALSE(screen.isDirty());

    // Without a listener or palette planes the pixels still arrive.
    TestCanvas quiet(8, 8);
    quiet.record.listener = nullptr;
    quiet.record.green = quiet.record.blue = nullptr;
    EmuScreen q;
    q.attachCanvas(&quiet.record);
    q.clear(4);
    q.present();
    EXPECT_EQ(quiet.pixel(7, 7), 4);
}

TEST(EmuScreen, PresentCopiesOnlyWhatChanged) {
    TestCanvas canvas(8, 4);
    EmuScreen screen;
    screen.attachCanvas(&canvas.record);
    screen.present();
    EXPECT_EQ(canvas.updates, 0);
    screen.setPixel(1, 2, 5);
    screen.present();
    screen.present();
    EXPECT_EQ(canvas.updates, 1);
    EXPECT_EQ(canvas.pixel(1, 2), 5);
    screen.setPixel(9, 9, 5); // outside: no change
    screen.present();
    EXPECT_EQ(canvas.updates, 1);
    screen.markDirty();
    screen.present();
    EXPECT_EQ(canvas.updates, 2);
}

TEST(EmuScreen, PaletteGoesOnlyToACanvasWithoutOne) {
    for (uint64_t colours : {0u, 16u}) {
        SCOPED_TRACE(colours);
        TestCanvas canvas(8, 8);
        canvas.record.colourCount = colours;
        canvas.red[3] = 1;
        EmuScreen screen;
        screen.attachCanvas(&canvas.record);
        screen.red()[3] = 200;
        screen.blue()[255] = 9;
        screen.clear(0);
        screen.present();
        EXPECT_EQ(canvas.red[3], colours == 0 ? 200 : 1);
        EXPECT_EQ(canvas.blue[255], colours == 0 ? 9 : 0);
        EXPECT_TRUE(canvas.guardsIntact());
    }
}

TEST(BitmapFont, EveryPrintableCharacterHasItsOwnGlyph) {
    BitmapFont font;
    std::set<std::vector<uint8_t>> seen;
    for (int code = 0x21; code < 0x7F; ++code) {
        std::vector<uint8_t> rows;
        for (int r = 0; r < 8; ++r) rows.push_back(font.glyphRow(uint8_t(code), r));
        EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](uint8_t b) { return b != 0; }))
            << char(code);
        EXPECT_TRUE(seen.insert(rows).second) << "glyph of " << char(code) << " repeats another";
        // One blank column on the left, two on the right keep characters apart.
        for (uint8_t b : rows) EXPECT_EQ(b & 0x83, 0) << char(code);
    }
    for (int r = 0; r < 8; ++r) EXPECT_EQ(font.glyphRow(' ', r), 0);
}

TEST(BitmapFont, SheetIs32GlyphsWideAndTheMapFollowsLatinOne) {
    BitmapFont font;
    // '|' is glyph 92: sheet row 2, column 28; a line down the cell's middle.
    EXPECT_EQ(font.glyphOf('|'), 92);
    for (int r = 0; r < 7; ++r) EXPECT_EQ(font.sheet()[8 * 64 + 28 + 32 * r], 0x10) << r;
    EXPECT_EQ(font.sheet()[8 * 64 + 28 + 32 * 7], 0);
    EXPECT_EQ(font.glyphRow('_', 7), 0x7C); // the underline sits on the last row

    EXPECT_EQ(font.glyphOf(0xE9), font.glyphOf('e')); // é
    EXPECT_EQ(font.glyphOf(0xC5), font.glyphOf('A')); // Å
    EXPECT_EQ(font.glyphOf('\n'), font.glyphOf(' '));
    EXPECT_EQ(font.glyphOf(0x80), font.glyphOf(0x7F)); // no glyph of its own: the box
    EXPECT_NE(font.glyphOf(0x7F), font.glyphOf(' '));
    EXPECT_EQ(font.glyphRow('A', 8), 0);
    EXPECT_EQ(font.glyphRow('A', -1), 0);
}

TEST(BitmapFont, TextIsScaledAndClippedToThePage) {
    BitmapFont font;
    constexpr uint64_t W = 20, H = 12, kGuard = 64;
    struct Placement {
        int64_t x, y;
        int hScale, vScale;
    };
    const Placement placements[] = {{0, 0, 1, 1},
                                    {-5, -3, 1, 1},
                                    {15, 8, 1, 1},
                                    {0, 0, 3, 2},
                                    {-1000, 0, 1, 1},
                                    {1000, 1000, 1, 1},
                                    {INT64_MIN / 4, 0, 2, 2},
                                    {0, INT64_MAX / 4, 1, 1}};
    for (const Placement& p : placements) {
        SCOPED_TRACE(testing::Message()
                     << p.x << "," << p.y << " x" << p.hScale << "x" << p.vScale);
        std::vector<uint8_t> page(W * H + kGuard, 0xEE);
        std::fill(page.begin(), page.begin() + W * H, 9);
        drawText(font, false, page.data(), W, H, "HI", 2, p.x, p.y, p.hScale, p.vScale, 15);
        EXPECT_TRUE(
            std::all_of(page.begin() + W * H, page.end(), [](uint8_t b) { return b == 0xEE; }));
        // Opaque text leaves only ink and paper inside its box.
        for (uint64_t py = 0; py < H; ++py)
            for (uint64_t px = 0; px < W; ++px) {
                const int64_t dx = int64_t(px) - p.x, dy = int64_t(py) - p.y;
                const bool inside = dx >= 0 && dy >= 0 && dx < 16 * p.hScale && dy < 8 * p.vScale;
                const uint8_t v = page[py * W + px];
                if (inside)
                    EXPECT_TRUE(v == 0 || v == 15) << px << "," << py;
                else
                    EXPECT_EQ(v, 9) << px << "," << py;
            }
    }

    // Scaled 3 x 2, "I"'s top bar (row 0: .###.) covers x 6-14, y 0-1.
    std::vector<uint8_t> page(W * H, 0);
    drawText(font, true, page.data(), W, H, "I", 1, 0, 0, 3, 2, 15);
    for (uint64_t px = 0; px < W; ++px)
        for (uint64_t py : {0u, 1u})
            EXPECT_EQ(page[py * W + px], px >= 6 && px < 15 ? 15 : 0) << px;
    EXPECT_EQ(page[2 * W + 9], 15); // the stem below
    EXPECT_EQ(page[2 * W + 6], 0);

    // Transparent text keeps the paper under clear bits.
    std::fill(page.begin(), page.end(), 9);
    drawText(font, true, page.data(), W, H, "I", 1, 0, 0, 1, 1, 15);
    EXPECT_EQ(page[0], 9);
    EXPECT_EQ(page[2], 15);

    drawText(font, false, nullptr, W, H, "I", 1, 0, 0, 1, 1, 15);     // no page: nothing
    drawText(font, false, page.data(), W, H, "I", 1, 0, 0, 0, 1, 15); // no size: nothing
    EXPECT_EQ(page[2], 15);
}
