#include "vgm/Visualizer.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace VGM {

namespace {

// Colour indices of the page palette.
enum : uint8_t {
    kBlack = 0,
    kRed = 4,
    kLightGrey = 7,
    kGrey = 8,
    kBrightGreen = 10,
    kYellow = 14,
    kWhite = 15,
};

const uint8_t kPalette[16][3] = {
    {0, 0, 0},     {0, 0, 170},     {0, 170, 0},    {0, 170, 170},   {170, 0, 0},   {170, 0, 170},
    {170, 85, 0},  {170, 170, 170}, {85, 85, 85},   {85, 85, 255},   {85, 255, 85}, {85, 255, 255},
    {255, 85, 85}, {255, 85, 255},  {255, 255, 85}, {255, 255, 255},
};

// Chip types whose register bytes the register view shows: 4, 5, 30 and 62.
constexpr uint64_t kRegisterViewTypes = 0x4000000040000030ull;

constexpr int64_t kLineHeight = 16;

// printf into a string of whatever length the text takes.
std::string textf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, format, again);
    va_end(again);
    return out;
}

// A tag in the Windows Latin-1 code page of the 8-bit font. Characters the
// code page lacks become '?', as the system's own conversion does, so one
// Japanese letter does not cost the whole line.
std::string toWindowsLatin(const std::u16string& text) {
    static const char16_t high[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        char byte = '?';
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            byte = char(c);
        } else {
            for (int k = 0; k < 32; ++k)
                if (high[k] && high[k] == c) byte = char(0x80 + k);
            // A surrogate pair is one character.
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] < 0xE000)
                ++i;
        }
        out.push_back(byte);
    }
    return out;
}

enum class StreamState { Full, Partial, Missing };

// How much of a chip this instrument plays: its FM and PSG chips in full, the
// OPN relatives of the YM2612 in part, anything else not at all.
StreamState streamState(const MediaChipRecord& chip) {
    static const char* const full[] = {"YM2612",  "SN76489",   "Sega PSG",
                                       "Sega GG", "AY-3-8910", "DAC"};
    static const char* const partial[] = {"YM2203", "YM2608", "YM2610", "YM2610B"};
    for (const char* name : full)
        if (chip.name == name) return StreamState::Full;
    if (chip.shortName == "DCSG" || chip.shortName == "AY") return StreamState::Full;
    for (const char* name : partial)
        if (chip.name == name) return StreamState::Partial;
    return StreamState::Missing;
}

} // namespace

Visualizer::Visualizer(CanvasRecord* target, ExtraPageRenderer* extra)
    : canvas(target), font(std::make_unique<BitmapFont>()), renderer(extra) {
    static const char* const names[kPageCount] = {"VGMXVisualizerInfo", "VGMXVisualizerRegs",
                                                  "VGMXMisc"};
    for (uint32_t p = 0; p < kPageCount; ++p) {
        auto page = std::make_unique<EmuScreen>();
        page->attachCanvas(canvas, names[p]);
        for (int i = 0; i < 16; ++i) {
            page->red()[i] = kPalette[i][0];
            page->green()[i] = kPalette[i][1];
            page->blue()[i] = kPalette[i][2];
        }
        pages[p] = std::move(page);
    }
}

Visualizer::~Visualizer() = default;

EmuScreen* Visualizer::screen(uint32_t page) {
    auto it = pages.find(page);
    return it == pages.end() ? nullptr : it->second.get();
}

void Visualizer::presentIfShown(uint32_t page) {
    if (page == current) pages[page]->present();
}

void Visualizer::drawTextLine(EmuScreen& page, const char* text, uint64_t length, int64_t column,
                              int64_t row, int64_t yOffset) {
    const int64_t x = 8 * column, y = 8 * row + yOffset;
    for (int64_t dy = 0; dy < 8; ++dy)
        for (int64_t dx = 0; dx < int64_t(length) * 8 && x + dx < int64_t(page.getWidth()); ++dx)
            page.setPixel(y + dy, x + dx, kBlack);
    drawText(*font, true, page.pixels(), page.getWidth(), page.getHeight(), text, length, x, y, 1,
             1, kWhite);
    page.markDirty();
}

void Visualizer::drawTimeLine(int32_t seconds) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "Time:  %d:%02d", seconds / 60, seconds % 60);
    drawTextLine(*pages[kPageTrack], text, uint64_t(std::clamp(n, 0, int(sizeof text) - 1)), 1,
                 timeRow, 0);
}

bool Visualizer::describeTrack(uint64_t number, uint64_t count, const MediaTrack& track) {
    EmuScreen& page = *pages[kPageTrack];
    page.clear(kBlack);
    const auto line = [&](const std::string& text, int64_t y, uint8_t colour, int vScale = 1) {
        drawText(*font, true, page.pixels(), page.getWidth(), page.getHeight(), text.data(),
                 text.size(), 8, y, 1, vScale, colour);
    };
    line(banner, 8, kWhite, 2);

    // A canvas narrower than three cells still gets one character per line.
    const int64_t columns = std::max<int64_t>(int64_t(page.getWidth() / 8) - 2, 1);
    timeRow = int64_t(page.getHeight() / 8) - 2;

    int64_t y = 40;
    const std::string system = toWindowsLatin(track.tags[kTagSystemName]);
    for (size_t at = 0; at < system.size(); at += size_t(columns), y += kLineHeight)
        line(system.substr(at, size_t(columns)), y, kWhite);

    bool playable = false;
    bool dacListed = false;
    int listed = 0;
    for (const auto& [type, chip] : track.chips) {
        if (listed == 4) break;
        const bool dac = chip.name == "DAC";
        if (dac && dacListed) continue; // one line stands for all PCM streams
        dacListed = dacListed || dac;
        const StreamState state = streamState(chip);
        const std::string& shown = dac ? chip.shortName : chip.name;
        std::string text =
            chip.clock >= 100000
                ? textf("Stream %d:%9s (%2.2fMHz)", listed, shown.c_str(), chip.clock / 1.0e6)
                : textf("Stream %d:%9s (%3.1fkHz)", listed, shown.c_str(), chip.clock / 1.0e3);
        uint8_t colour = kBrightGreen;
        if (state == StreamState::Partial) {
            text += " -Partial-";
            colour = kYellow;
        } else if (state == StreamState::Missing) {
            text += " -N/A-";
            colour = kGrey;
        }
        playable = playable || state != StreamState::Missing;
        line(text, y, colour);
        y += kLineHeight;
        ++listed;
    }

    line(textf("Song %2llu / %2llu", (unsigned long long)number, (unsigned long long)count), y,
         kWhite);
    y += kLineHeight;
    if (!playable) line(kNoSuitableData, y, kRed);
    drawTimeLine(0);
    presentIfShown(kPageTrack);
    return playable;
}

void Visualizer::drawIdlePage(CanvasRecord* canvas, const char* product, const char* model) {
    if (!canvas || !canvas->pixels) return;
    // As many whole rows as the pixel buffer takes, as a page does.
    const uint64_t width = canvas->width;
    if (width == 0 || width > canvas->pixelBytes) return;
    const uint64_t height = std::min(canvas->height, canvas->pixelBytes / width);
    uint8_t* pixels = canvas->pixels;
    std::memset(pixels, kBlack, width * height);

    const BitmapFont font;
    const uint64_t columns = std::max<uint64_t>(width / 8, 3) - 2;
    const auto line = [&](const char* text, int64_t y, uint8_t colour, int vScale = 1) {
        const uint64_t length = std::min<uint64_t>(std::strlen(text), columns);
        drawText(font, true, pixels, width, height, text, length, 8, y, 1, vScale, colour);
    };
    char text[128];
    line(product ? product : "", 8, kWhite, 2);
    std::snprintf(text, sizeof text, "Console model: %s", model ? model : "");
    line(text, 40, kWhite);
    line("This window is the media display:", 72, kLightGrey);
    line("it shows a song once media is loaded.", 88, kLightGrey);

    if (canvas->colourCount == 0)
        for (int i = 0; i < 16; ++i) {
            if (canvas->red) canvas->red[i] = kPalette[i][0];
            if (canvas->green) canvas->green[i] = kPalette[i][1];
            if (canvas->blue) canvas->blue[i] = kPalette[i][2];
        }
    if (canvas->listener) canvas->listener->canvasUpdated();
}

void Visualizer::drawRegister(uint32_t reg, uint8_t value) {
    EmuScreen& regs = *pages[kPageRegisters];
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    drawText(*font, false, regs.pixels(), regs.getWidth(), regs.getHeight(), text, 2,
             8 + 20 * int64_t(reg % 16), 8 + 16 * int64_t(reg / 16), 1, 1, kWhite);
    regs.markDirty();
    presentIfShown(kPageRegisters);
    if (renderer) {
        EmuScreen& extra = *pages[kPageExtra];
        if (extra.pixels())
            renderer->drawPage(extra.pixels(), extra.red(), extra.green(), extra.blue());
        extra.markDirty();
        presentIfShown(kPageExtra);
    }
}

void Visualizer::mediaRegisterWrite(uint32_t chipType, uint64_t delta, uint32_t port, uint32_t reg,
                                    uint32_t value) {
    if (chipType >= kClockCount) return; // "every chip" and anything past the table
    if (delta != 0) {
        double& clock = clocks[chipType];
        clock += double(delta) * secondsPerTick;
        const double rounded = std::floor(clock + 0.5);
        // A clock past what an i32 holds (or not a number) shows no time.
        if (rounded > double(lastShownSecond) && rounded < 2147483647.0) {
            lastShownSecond = int32_t(rounded);
            drawTimeLine(lastShownSecond);
            presentIfShown(kPageTrack);
        }
    }
    if (chipType < 63 && (kRegisterViewTypes >> chipType & 1) && reg < 256) {
        uint8_t& held = shadow[port & 1][reg];
        if (held != uint8_t(value)) {
            held = uint8_t(value);
            drawRegister(reg, held);
        }
    }
}

void Visualizer::mediaChipSetup(uint32_t chipType, uint32_t /*variant*/, int64_t commandRate) {
    if (commandRate != 0) secondsPerTick = 1.0 / double(commandRate);
    lastShownSecond = 0;
    if (chipType < kClockCount) clocks[chipType] = 0.0;
    std::memset(shadow, 0, sizeof shadow);
    if (chipType == 30 || chipType == kChipYM2413)
        for (uint32_t reg = 0; reg <= 0x38; ++reg) drawRegister(reg, 0);
}

void Visualizer::mediaResetTime() {
    lastShownSecond = 0;
    std::fill(std::begin(clocks), std::end(clocks), 0.0);
}

void Visualizer::mediaSetTime(double seconds) {
    lastShownSecond = 0;
    std::fill(std::begin(clocks), std::end(clocks), seconds);
}

void Visualizer::showPage(uint32_t page) {
    if (page >= kPageCount) return;
    current = page;
    pages[page]->markDirty();
    pages[page]->present();
}

void Visualizer::setTitle(const std::string& text) {
    banner = text;
}

void Visualizer::loadExtraPage(const uint8_t* data, uint64_t size) {
    EmuScreen& extra = *pages[kPageExtra];
    if (!data || !extra.pixels()) return;
    std::memcpy(extra.pixels(), data, std::min(size, extra.getSize()));
    extra.markDirty();
}

} // namespace VGM
