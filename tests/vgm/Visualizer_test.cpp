// The media display: the track, register and time pages as they arrive in
// the host's pixel canvas. Text is checked by drawing the expected line
// alone into an empty picture and comparing the whole band of rows it covers.
#include "vgm/Visualizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "vgm/Reader.h"
#include "vgm/VGMX.h"
#include "vgm/support/TestCanvas.h"

using namespace VGM;
using vgmtest::TestCanvas;

namespace {

constexpr uint8_t kGrey = 8, kGreen = 10, kYellow = 14, kRed = 4, kWhite = 15;

MediaChipRecord chip(MediaChipType type, const std::string& name, const std::string& family,
                     uint32_t clock) {
    MediaChipRecord r;
    r.type = type;
    r.name = name;
    r.shortName = family;
    r.clock = clock;
    return r;
}

// A console song: PSG, FM and two PCM streams of the FM chip's DAC.
MediaTrack knownTrack() {
    MediaTrack t;
    t.chips[0] = chip(0, "SN76489", "DCSG", 3579545);
    t.chips[5] = chip(5, "YM2612", "OPN2", 7670453);
    t.chips[84] = chip(84, "DAC", "YM2612", 7670453);
    t.chips[85] = chip(85, "DAC", "YM2612", 7670453);
    t.tags[kTagSystemName] = u"Sega Mega Drive / Genesis";
    t.tags[kTagTrackName] = u"Green Hill";
    t.tags[kTagGameName] = u"Hedgehog";
    t.playable = true;
    return t;
}

// Whether rows y .. y + 8 x vScale of the canvas hold exactly `text` drawn at
// x in `colour` on black, and nothing else.
::testing::AssertionResult bandShows(const TestCanvas& canvas, int64_t y, const std::string& text,
                                     uint8_t colour, int64_t x = 8, int vScale = 1,
                                     bool transparent = true) {
    const uint64_t w = canvas.record.width, h = canvas.record.height;
    std::vector<uint8_t> expected(w * h, 0);
    BitmapFont font;
    drawText(font, transparent, expected.data(), w, h, text.data(), text.size(), x, y, 1, vScale,
             colour);
    for (int64_t row = std::max<int64_t>(y, 0); row < std::min<int64_t>(y + 8 * vScale, h); ++row)
        for (uint64_t column = 0; column < w; ++column)
            if (canvas.pixel(row, column) != expected[row * w + column])
                return ::testing::AssertionFailure()
                       << "\"" << text << "\" at y " << y << ": pixel " << column << "," << row
                       << " is " << int(canvas.pixel(row, column)) << ", expected "
                       << int(expected[row * w + column]);
    return ::testing::AssertionSuccess();
}

// The cell of register `reg` on the register page shows `hex`.
::testing::AssertionResult cellShows(const TestCanvas& canvas, uint32_t reg, const char* hex) {
    const uint64_t w = canvas.record.width, h = canvas.record.height;
    const int64_t x = 8 + 20 * (reg % 16), y = 8 + 16 * (reg / 16);
    std::vector<uint8_t> expected(w * h, 0);
    BitmapFont font;
    drawText(font, false, expected.data(), w, h, hex, 2, x, y, 1, 1, kWhite);
    for (int64_t row = y; row < y + 8; ++row)
        for (int64_t column = x; column < x + 16; ++column)
            if (canvas.pixel(row, column) != expected[row * w + column])
                return ::testing::AssertionFailure()
                       << "register " << reg << " does not show " << hex;
    return ::testing::AssertionSuccess();
}

bool rowsBlank(const TestCanvas& canvas, uint64_t from, uint64_t to) {
    for (uint64_t row = from; row < to; ++row)
        for (uint64_t column = 0; column < canvas.record.width; ++column)
            if (canvas.pixel(row, column) != 0) return false;
    return true;
}

struct Listener : MediaCallback {
    void mediaRegisterWrite(uint32_t, uint64_t, uint32_t, uint32_t, uint32_t) override {}
};

// Fills page 2 with one colour each time it is asked.
struct FillRenderer : ExtraPageRenderer {
    void drawPage(uint8_t* pixels, uint8_t* red, uint8_t*, uint8_t*) override {
        ++calls;
        std::fill(pixels, pixels + 320 * 224, uint8_t(2));
        red[2] = 99;
    }
    int calls = 0;
};

const uint8_t kPalette[16][3] = {
    {0, 0, 0},     {0, 0, 170},     {0, 170, 0},    {0, 170, 170},   {170, 0, 0},   {170, 0, 170},
    {170, 85, 0},  {170, 170, 170}, {85, 85, 85},   {85, 85, 255},   {85, 255, 85}, {85, 255, 255},
    {255, 85, 85}, {255, 85, 255},  {255, 255, 85}, {255, 255, 255},
};

} // namespace

TEST(Visualizer, KnownTrackPages) {
    TestCanvas canvas(320, 224);
    Visualizer display(&canvas.record, nullptr);
    ASSERT_TRUE(display.describeTrack(1, 3, knownTrack()));

    for (int i = 0; i < 256; ++i) {
        const uint8_t* rgb = i < 16 ? kPalette[i] : kPalette[0];
        ASSERT_EQ(canvas.red[i], rgb[0]) << i;
        ASSERT_EQ(canvas.green[i], rgb[1]) << i;
        ASSERT_EQ(canvas.blue[i], rgb[2]) << i;
    }
    EXPECT_TRUE(bandShows(canvas, 8, "Vantor VGM Player v1.123", kWhite, 8, 2));
    EXPECT_TRUE(rowsBlank(canvas, 24, 40));
    EXPECT_TRUE(bandShows(canvas, 40, "Sega Mega Drive / Genesis", kWhite));
    EXPECT_TRUE(bandShows(canvas, 56, "Stream 0:  SN76489 (3.58MHz)", kGreen));
    EXPECT_TRUE(bandShows(canvas, 72, "Stream 1:   YM2612 (7.67MHz)", kGreen));
    // Both PCM streams stand on one line, under the chip they belong to.
    EXPECT_TRUE(bandShows(canvas, 88, "Stream 2:   YM2612 (7.67MHz)", kGreen));
    EXPECT_TRUE(bandShows(canvas, 104, "Song  1 /  3", kWhite));
    EXPECT_TRUE(rowsBlank(canvas, 112, 208));
    EXPECT_EQ(display.timeTextRow(), 26);
    EXPECT_TRUE(bandShows(canvas, 208, "Time:  0:00", kWhite));
    EXPECT_TRUE(rowsBlank(canvas, 216, 224));
    EXPECT_EQ(canvas.checksum(), 0x57C3DDB9u);
    EXPECT_TRUE(canvas.guardsIntact());
    canvas.savePicture("page0-track");

    display.mediaChipSetup(kChipYM2612, 0, 44100);
    display.mediaRegisterWrite(kChipYM2612, 0, 0, 0x28, 0xF0);
    display.mediaRegisterWrite(kChipYM2612, 0, 0, 0x30, 0x71);
    display.mediaRegisterWrite(kChipYM2612, 0, 1, 0xB4, 0xC0); // port 1 shares the cells
    display.showPage(Visualizer::kPageRegisters);
    EXPECT_TRUE(cellShows(canvas, 0x28, "F0"));
    EXPECT_TRUE(cellShows(canvas, 0x30, "71"));
    EXPECT_TRUE(cellShows(canvas, 0xB4, "C0"));
    EXPECT_TRUE(rowsBlank(canvas, 0, 40)); // rows 0 and 1 of the grid: nothing written
    EXPECT_EQ(canvas.checksum(), 0xD59A88B0u);
    canvas.savePicture("page1-registers");

    display.showPage(Visualizer::kPageExtra); // no renderer: blank
    EXPECT_TRUE(rowsBlank(canvas, 0, 224));
    canvas.savePicture("page2-extra");
    EXPECT_TRUE(canvas.guardsIntact());
}

TEST(Visualizer, StreamLinesSayHowMuchOfEachChipPlays) {
    struct Line {
        std::string text;
        uint8_t colour;
    };
    struct Case {
        const char* name;
        std::vector<MediaChipRecord> chips;
        std::vector<Line> lines;
        bool playable;
    };
    const Case cases[] = {
        {"below 100 kHz in kHz",
         {chip(5, "YM2612", "OPN2", 99999)},
         {{"Stream 0:   YM2612 (100.0kHz)", kGreen}},
         true},
        {"from 100 kHz in MHz",
         {chip(5, "YM2612", "OPN2", 100000)},
         {{"Stream 0:   YM2612 (0.10MHz)", kGreen}},
         true},
        {"a chip this instrument lacks",
         {chip(6, "YM2151", "OPM", 3579545)},
         {{"Stream 0:   YM2151 (3.58MHz) -N/A-", kGrey}},
         false},
        {"OPN relatives in part",
         {chip(7, "YM2203", "OPN", 3993600), chip(10, "YM2610B", "OPNB", 8000000)},
         {{"Stream 0:   YM2203 (3.99MHz) -Partial-", kYellow},
          {"Stream 1:  YM2610B (8.00MHz) -Partial-", kYellow}},
         true},
        {"PSG relatives by family",
         {chip(0, "SN76496", "DCSG", 3579545), chip(31, "YM2149", "AY", 2000000),
          chip(1, "Sega GG", "", 3579545)},
         {{"Stream 0:  SN76496 (3.58MHz)", kGreen},
          {"Stream 1:  Sega GG (3.58MHz)", kGreen},
          {"Stream 2:   YM2149 (2.00MHz)", kGreen}},
         true},
        {"PCM streams alone on one line",
         {chip(84, "DAC", "SegaPCM", 4000000), chip(85, "DAC", "SegaPCM", 4000000)},
         {{"Stream 0:  SegaPCM (4.00MHz)", kGreen}},
         true},
        {"four streams at most, long names whole",
         {chip(6, "YM2151", "OPM", 3579545), chip(11, "YM3812", "OPL2", 3579545),
          chip(12, "YM3526", "OPL", 3579545), chip(15, "A very long chip", "", 1000),
          chip(17, "YM2612", "OPN2", 7670453)},
         {{"Stream 0:   YM2151 (3.58MHz) -N/A-", kGrey},
          {"Stream 1:   YM3812 (3.58MHz) -N/A-", kGrey},
          {"Stream 2:   YM3526 (3.58MHz) -N/A-", kGrey},
          {"Stream 3:A very long chip (1.0kHz) -N/A-", kGrey}},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MediaTrack track;
        for (const MediaChipRecord& r : c.chips) track.chips[r.type] = r;
        TestCanvas canvas(320, 224);
        Visualizer display(&canvas.record, nullptr);
        EXPECT_EQ(display.describeTrack(2, 10, track), c.playable);
        // No system name: the streams start where it would stand.
        int64_t y = 40;
        for (const Line& line : c.lines) {
            EXPECT_TRUE(bandShows(canvas, y, line.text, line.colour));
            y += 16;
        }
        EXPECT_TRUE(bandShows(canvas, y, "Song  2 / 10", kWhite));
        y += 16;
        if (c.playable)
            EXPECT_TRUE(rowsBlank(canvas, y, 208));
        else
            EXPECT_TRUE(bandShows(canvas, y, Visualizer::kNoSuitableData, kRed));
    }
}

TEST(Visualizer, SystemNameIsCutAtTheCanvasWidthInLatinOne) {
    TestCanvas canvas(160, 224); // 18 columns of text
    Visualizer display(&canvas.record, nullptr);
    display.setTitle("Mine");
    MediaTrack track;
    track.tags[kTagSystemName] = u"Sega Mega Drive / Genesis \u00e9";
    track.chips[5] = chip(5, "YM2612", "OPN2", 7670453);
    display.describeTrack(1, 1, track);
    EXPECT_TRUE(bandShows(canvas, 8, "Mine", kWhite, 8, 2));
    EXPECT_TRUE(bandShows(canvas, 40, "Sega Mega Drive / ", kWhite));
    EXPECT_TRUE(bandShows(canvas, 56, "Genesis \xe9", kWhite)); // Latin-1 for the 8-bit font

    // Characters the code page lacks become '?' each; the rest of the name stays.
    track.tags[kTagSystemName] = u"\u30e1\u30ac \u2014 \U0001F3AE Drive";
    display.describeTrack(1, 1, track);
    EXPECT_TRUE(bandShows(canvas, 40, "?? \x97 ? Drive", kWhite));
}

TEST(Visualizer, TimeLineCountsWholeSeconds) {
    TestCanvas canvas(320, 224);
    Visualizer display(&canvas.record, nullptr);
    // Before a track is described the time stands on row 24.
    display.mediaChipSetup(kChipYM2612, 0, 44100);
    display.mediaRegisterWrite(kChipYM2612, 44100 * 2, 0, 0x28, 0);
    EXPECT_TRUE(bandShows(canvas, 192, "Time:  0:02", kWhite));

    display.describeTrack(1, 1, knownTrack());
    display.mediaChipSetup(kChipYM2612, 0, 44100);
    const int shown = canvas.updates;
    display.mediaRegisterWrite(kChipYM2612, 22049, 0, 0x28, 0); // 0.49 s: still 0
    EXPECT_EQ(canvas.updates, shown);
    display.mediaRegisterWrite(kChipYM2612, 44100 * 75 - 22049, 0, 0x28, 0);
    EXPECT_TRUE(bandShows(canvas, 208, "Time:  1:15", kWhite));
    EXPECT_EQ(canvas.updates, shown + 1);
    EXPECT_DOUBLE_EQ(display.playClock(kChipYM2612), 75.0);

    // Each chip keeps its own clock; the line shows whichever passes a new second.
    display.mediaRegisterWrite(kChipSN76489, 44100, 0, 0, 0);
    EXPECT_EQ(canvas.updates, shown + 1);

    display.mediaSetTime(10.0); // a loop back to 10 s
    display.mediaRegisterWrite(kChipSN76489, 1, 0, 0, 0);
    EXPECT_TRUE(bandShows(canvas, 208, "Time:  0:10", kWhite));

    display.mediaResetTime();
    display.mediaRegisterWrite(kChipSN76489, 44100 * 3 + 1000, 0, 0, 0);
    EXPECT_TRUE(bandShows(canvas, 208, "Time:  0:03", kWhite));
    EXPECT_EQ(display.playClock(kChipYM2612), 0.0);

    // Positions no clock can show are left alone.
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), 1e300, -1e300}) {
        display.mediaSetTime(bad);
        display.mediaRegisterWrite(kChipSN76489, 1, 0, 0, 0);
    }
    EXPECT_TRUE(bandShows(canvas, 208, "Time:  0:03", kWhite));
    EXPECT_TRUE(canvas.guardsIntact());
}

TEST(Visualizer, EveryTableIndexIsBounded) {
    TestCanvas canvas(320, 224);
    Visualizer display(&canvas.record, nullptr);
    display.describeTrack(1, 1, knownTrack());
    const uint32_t page0 = canvas.checksum();
    const int updates = canvas.updates;
    // Chip types past the 100 clocks: "every chip", the CIA's 102 and beyond.
    for (uint32_t type : {100u, 101u, 102u, 0xFFFFu, 0xFFFFFFFFu}) {
        display.mediaChipSetup(type, 0, 44100);
        display.mediaRegisterWrite(type, 44100 * 5, 0, 0x28, 0xF0);
        EXPECT_EQ(display.playClock(type), 0.0);
    }
    EXPECT_EQ(canvas.checksum(), page0);
    EXPECT_EQ(canvas.updates, updates);
    // The last clock in the table still counts.
    display.mediaRegisterWrite(99, 44100 * 5, 0, 0, 0);
    EXPECT_DOUBLE_EQ(display.playClock(99), 5.0);

    // Registers past one bank, any port, any value.
    display.showPage(Visualizer::kPageRegisters);
    const uint32_t regs = canvas.checksum();
    for (uint32_t reg : {0x100u, 0x4000u, 0xFFFFFFFFu})
        display.mediaRegisterWrite(kChipYM2612, 0, 0xFFFFFFFF, reg, 0xFFFFFFFF);
    EXPECT_EQ(canvas.checksum(), regs);
    display.mediaRegisterWrite(kChipYM2612, 0, 0xFFFFFFFF, 0x2F, 0x1AB); // bank 1, byte 0xAB
    EXPECT_TRUE(cellShows(canvas, 0x2F, "AB"));

    for (uint32_t page : {3u, 100u, 0xFFFFFFFFu}) display.showPage(page);
    EXPECT_EQ(display.currentPage(), Visualizer::kPageRegisters);
    EXPECT_EQ(display.screen(3), nullptr);
    EXPECT_TRUE(canvas.guardsIntact());
}

TEST(Visualizer, RegisterViewShowsChangedBytesOfItsChips) {
    TestCanvas canvas(320, 224);
    Visualizer display(&canvas.record, nullptr);
    display.showPage(Visualizer::kPageRegisters);
    display.mediaChipSetup(kChipYM2612, 0, 44100);
    int updates = canvas.updates;

    display.mediaRegisterWrite(kChipYM2612, 0, 0, 0x28, 0xF0);
    display.mediaRegisterWrite(kChipYM2612, 0, 0, 0x28, 0xF0); // same byte: no redraw
    EXPECT_EQ(canvas.updates, updates + 1);
    EXPECT_TRUE(cellShows(canvas, 0x28, "F0"));
    display.mediaRegisterWrite(kChipYM2612, 0, 1, 0x28, 0xF0); // port 1 keeps its own bytes
    EXPECT_EQ(canvas.updates, updates + 2);

    // Which chip types the view shows.
    struct TypeCase {
        uint32_t type;
        bool shown;
    };
    for (TypeCase c : {TypeCase{4, true},
                       {5, true},
                       {30, true},
                       {62, true},
                       {0, false},
                       {6, false},
                       {31, false},
                       {63, false},
                       {64, false},
                       {94, false}}) {
        SCOPED_TRACE(c.type);
        updates = canvas.updates;
        display.mediaRegisterWrite(c.type, 0, 0, 0x40, c.type);
        EXPECT_EQ(canvas.updates, updates + (c.shown ? 1 : 0));
    }

    // Set-up of an OPLL shows its registers 0x00-0x38 as 00.
    display.mediaRegisterWrite(kChipYM2612, 0, 0, 0x10, 0x55);
    display.mediaChipSetup(kChipYM2413, 0, 44100);
    for (uint32_t reg : {0x00u, 0x10u, 0x28u, 0x38u}) EXPECT_TRUE(cellShows(canvas, reg, "00"));
    EXPECT_FALSE(cellShows(canvas, 0x39, "00"));
    // The set-up zeroed the bytes held, so 0x55 shows again.
    display.mediaRegisterWrite(kChipYM2612, 0, 0, 0x10, 0x55);
    EXPECT_TRUE(cellShows(canvas, 0x10, "55"));
    EXPECT_TRUE(canvas.guardsIntact());
}

TEST(Visualizer, OnlyTheShownPageReachesTheCanvas) {
    TestCanvas canvas(320, 224);
    FillRenderer renderer;
    Visualizer display(&canvas.record, &renderer);
    display.describeTrack(1, 1, knownTrack());
    const uint32_t page0 = canvas.checksum();
    const int updates = canvas.updates;
    display.mediaChipSetup(kChipYM2612, 0, 44100);
    display.mediaRegisterWrite(kChipYM2612, 0, 0, 0x28, 0xF0);
    EXPECT_EQ(canvas.checksum(), page0);
    EXPECT_EQ(canvas.updates, updates);
    EXPECT_EQ(renderer.calls, 1);

    // The hidden register page kept up; the renderer's page too.
    display.showPage(Visualizer::kPageRegisters);
    EXPECT_TRUE(cellShows(canvas, 0x28, "F0"));
    display.showPage(Visualizer::kPageExtra);
    EXPECT_EQ(canvas.pixel(100, 100), 2);
    EXPECT_EQ(canvas.red[2], 99);
    display.mediaRegisterWrite(kChipYM2612, 0, 0, 0x28, 0x00);
    EXPECT_EQ(renderer.calls, 2);
    EXPECT_EQ(canvas.updates, updates + 3);

    // Raw pixels for page 2: as many as it holds.
    std::vector<uint8_t> picture(320 * 224 * 2, 6);
    display.loadExtraPage(picture.data(), picture.size());
    display.loadExtraPage(nullptr, 100);
    display.showPage(Visualizer::kPageExtra);
    EXPECT_EQ(canvas.pixel(223, 319), 6);
    EXPECT_TRUE(canvas.guardsIntact());
}

TEST(Visualizer, SmallLargeAndBrokenCanvases) {
    struct Shape {
        const char* name;
        uint64_t width, height, pixelBytes;
        bool pixels;
    };
    const Shape shapes[] = {
        {"one cell", 8, 8, CanvasRecord::kHostPixelBytes, true},
        {"two cells", 16, 16, CanvasRecord::kHostPixelBytes, true},
        {"odd size", 23, 41, CanvasRecord::kHostPixelBytes, true},
        {"no pixels wide", 0, 0, CanvasRecord::kHostPixelBytes, true},
        {"the whole host buffer", 640, 480, CanvasRecord::kHostPixelBytes, true},
        {"taller than its buffer", 320, 100000, CanvasRecord::kHostPixelBytes, true},
        {"buffer of a few rows", 320, 224, 320 * 3, true},
        {"no pixel buffer", 320, 224, CanvasRecord::kHostPixelBytes, false},
    };
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.name);
        TestCanvas canvas(s.width, s.height, s.pixelBytes);
        if (!s.pixels) canvas.record.pixels = nullptr;
        Visualizer display(&canvas.record, nullptr);
        display.describeTrack(1, 1, knownTrack());
        display.mediaChipSetup(kChipYM2413, 0, 44100);
        for (uint32_t reg = 0; reg < 256; ++reg)
            display.mediaRegisterWrite(kChipYM2612, 44100, reg & 1, reg, reg ^ 0x5A);
        for (uint32_t page = 0; page < 3; ++page) display.showPage(page);
        display.loadExtraPage(std::vector<uint8_t>(700000, 1).data(), 700000);
        display.showPage(Visualizer::kPageExtra);
        EXPECT_TRUE(canvas.guardsIntact());
    }
    // The 640 x 480 canvas puts the time line near its foot.
    TestCanvas big(640, 480);
    Visualizer display(&big.record, nullptr);
    display.describeTrack(1, 1, knownTrack());
    EXPECT_TRUE(bandShows(big, 464, "Time:  0:00", kWhite));

    Visualizer noCanvas(nullptr, nullptr);
    EXPECT_TRUE(noCanvas.describeTrack(1, 1, knownTrack()));
    noCanvas.mediaRegisterWrite(kChipYM2612, 44100, 0, 0x28, 1);
    noCanvas.showPage(1);
}

// With no track the canvas says what it is: the product as the banner, the
// console model, and that the window is the media display. It replaces
// whatever the canvas held; a canvas with a palette of its own keeps it.
TEST(Visualizer, IdlePageSaysWhatTheWindowIs) {
    constexpr uint8_t kLightGrey = 7;
    TestCanvas canvas(320, 224);
    std::fill(canvas.pixels.begin(), canvas.pixels.begin() + 320 * 224, uint8_t(9));
    Visualizer::drawIdlePage(&canvas.record, "sondrix MD", "MD-2 (YM3438)");
    EXPECT_EQ(canvas.updates, 1);
    EXPECT_TRUE(rowsBlank(canvas, 0, 8));
    EXPECT_TRUE(bandShows(canvas, 8, "sondrix MD", kWhite, 8, 2));
    EXPECT_TRUE(rowsBlank(canvas, 24, 40));
    EXPECT_TRUE(bandShows(canvas, 40, "Console model: MD-2 (YM3438)", kWhite));
    EXPECT_TRUE(rowsBlank(canvas, 48, 72));
    EXPECT_TRUE(bandShows(canvas, 72, "This window is the media display:", kLightGrey));
    EXPECT_TRUE(bandShows(canvas, 88, "it shows a song once media is loaded.", kLightGrey));
    EXPECT_TRUE(rowsBlank(canvas, 96, 224));
    for (int i = 0; i < 16; ++i) ASSERT_EQ(canvas.red[i], kPalette[i][0]) << i;
    canvas.savePicture("idle");

    // A model name longer than the line is cut at the canvas's width.
    const std::string longName(60, 'M');
    canvas.red[15] = 1;
    canvas.record.colourCount = 16;
    Visualizer::drawIdlePage(&canvas.record, "sondrix MD", longName.c_str());
    EXPECT_TRUE(bandShows(canvas, 40, ("Console model: " + longName).substr(0, 38), kWhite));
    EXPECT_EQ(canvas.red[15], 1);
    EXPECT_TRUE(canvas.guardsIntact());

    // Small, lying and missing canvases, and missing texts.
    const struct {
        uint64_t width, height, pixelBytes;
    } shapes[] = {{8, 8, CanvasRecord::kHostPixelBytes},
                  {0, 0, CanvasRecord::kHostPixelBytes},
                  {23, 41, CanvasRecord::kHostPixelBytes},
                  {320, 100000, CanvasRecord::kHostPixelBytes},
                  {320, 224, 320 * 3},
                  {700000, 1, CanvasRecord::kHostPixelBytes}};
    for (const auto& s : shapes) {
        TestCanvas small(s.width, s.height, s.pixelBytes);
        Visualizer::drawIdlePage(&small.record, nullptr, longName.c_str());
        Visualizer::drawIdlePage(&small.record, "sondrix MD", nullptr);
        EXPECT_TRUE(small.guardsIntact()) << s.width << " x " << s.height;
    }
    Visualizer::drawIdlePage(nullptr, "sondrix MD", "MD-1");
}

TEST(Visualizer, PlayerBuildsTheDisplayForTheSelectedTrack) {
    TestCanvas canvas(320, 224);
    Listener main;
    Reader reader(&main, &canvas.record);

    VGMX fmOnly;
    fmOnly.track() = knownTrack();
    fmOnly.track().chips.erase(84);
    fmOnly.track().chips.erase(85);
    fmOnly.track().chips[4] = chip(4, "YM2413", "OPLL", 3579545);
    ASSERT_TRUE(reader.openCollection(fmOnly));
    ASSERT_TRUE(reader.selectTrack(0));
    ASSERT_NE(reader.display(), nullptr);
    EXPECT_STREQ(reader.getTitle(), "Hedgehog - Green Hill");
    EXPECT_TRUE(bandShows(canvas, 40, "Sega Mega Drive / Genesis", kWhite));
    EXPECT_TRUE(bandShows(canvas, 104, "Song  1 /  1", kWhite));
    // The display heard the chip set-up (the OPLL's register view) and shows
    // the page the player is asked for.
    reader.setDisplayPage(Visualizer::kPageRegisters);
    EXPECT_EQ(reader.display()->currentPage(), Visualizer::kPageRegisters);
    EXPECT_TRUE(cellShows(canvas, 0x38, "00"));

    VGMX opmOnly;
    opmOnly.track() = knownTrack();
    opmOnly.track().chips.clear();
    opmOnly.track().chips[6] = chip(6, "YM2151", "OPM", 3579545);
    ASSERT_TRUE(reader.openCollection(opmOnly));
    ASSERT_TRUE(reader.selectTrack(0));
    // The new display starts on the page last asked for.
    EXPECT_EQ(reader.display()->currentPage(), Visualizer::kPageRegisters);
    EXPECT_STREQ(reader.getTitle(), "Hedgehog - * No suitable data found! *");

    // Without a canvas there is no display and the title keeps the track name.
    Reader plain(&main);
    ASSERT_TRUE(plain.openCollection(opmOnly));
    ASSERT_TRUE(plain.selectTrack(0));
    EXPECT_EQ(plain.display(), nullptr);
    EXPECT_STREQ(plain.getTitle(), "Hedgehog - Green Hill");
    plain.setDisplayPage(2);
    EXPECT_TRUE(canvas.guardsIntact());
}
