// The media player's display: three pages drawn into byte-per-pixel screens
// the size of the host's pixel canvas, of which the shown one is copied into
// the canvas whenever it changes. Page 0 describes the selected track (a
// banner, the system name, one line per chip stream with how well this
// instrument plays it, the song number) and counts the elapsed play time in
// whole seconds; page 1 is a 16 x 16 grid of the FM chip's register bytes in
// hexadecimal; page 2 belongs to an optional renderer supplied from outside.
// The display listens to the player like the chip controller does, as its
// second media listener, and keeps one play clock per chip type. All pages
// share one 16-colour palette: black, the eight dark colours of a classic
// text screen and their bright forms.
//
// While no track is selected the canvas shows the idle page instead, drawn
// straight into the canvas in the same font, layout and palette: the product
// name as the banner, the console model in use, and what the window is.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "vgm/BitmapFont.h"
#include "vgm/EmuScreen.h"
#include "vgm/MediaCallback.h"
#include "vgm/MediaTrack.h"
#include "vgm/PixelCanvas.h"

namespace VGM {

// Draws page 2 into its pixels (one byte per pixel) and its palette planes.
class ExtraPageRenderer {
public:
    virtual void drawPage(uint8_t* pixels, uint8_t* red, uint8_t* green, uint8_t* blue) = 0;

protected:
    ~ExtraPageRenderer() = default;
};

class Visualizer : public MediaCallback {
public:
    enum : uint32_t { kPageTrack = 0, kPageRegisters = 1, kPageExtra = 2, kPageCount = 3 };
    static constexpr uint32_t kClockCount = 100; // one play clock per chip type 0-99
    static constexpr const char* kNoSuitableData = "* No suitable data found! *";

    // Builds the three pages on the canvas (which may be null: nothing is drawn).
    Visualizer(CanvasRecord* canvas, ExtraPageRenderer* renderer);
    virtual ~Visualizer();
    Visualizer(const Visualizer&) = delete;
    Visualizer& operator=(const Visualizer&) = delete;

    // Play clocks back to 0.
    void mediaResetTime() override;
    // Takes the chip's command rate, zeroes its clock and the register view.
    void mediaChipSetup(uint32_t chipType, uint32_t variant, int64_t commandRate) override;
    // Advances the chip's clock (redrawing the time line on a new second) and
    // shows the FM register byte when it changed.
    void mediaRegisterWrite(uint32_t chipType, uint64_t delta, uint32_t port, uint32_t reg,
                            uint32_t value) override;
    // Every clock := the play position.
    void mediaSetTime(double seconds) override;

    // Shows page 0, 1 or 2 in the canvas; other numbers are ignored.
    virtual void showPage(uint32_t page);
    // Replaces the banner text drawn by the next describeTrack.
    virtual void setTitle(const std::string& text);
    // Draws page 0 for track `number` of `count`; true when any of its chip
    // streams can be played in full or in part.
    virtual bool describeTrack(uint64_t number, uint64_t count, const MediaTrack& track);

    // The idle page: clears the canvas (as many rows as its pixel buffer
    // holds) and draws `product` as the banner, "Console model: " + `model`
    // and two lines saying the window is the media display; installs the
    // palette when the canvas has none of its own, then tells the canvas's
    // listener. Allocates nothing; null texts draw as empty.
    static void drawIdlePage(CanvasRecord* canvas, const char* product, const char* model);

    // Copies raw pixels into page 2 (as many as it holds).
    void loadExtraPage(const uint8_t* data, uint64_t size);

    // The page's screen, null for a page number past 2.
    EmuScreen* screen(uint32_t page);
    uint32_t currentPage() const { return current; }
    int64_t timeTextRow() const { return timeRow; }
    double playClock(uint32_t chipType) const {
        return chipType < kClockCount ? clocks[chipType] : 0.0;
    }

private:
    // Clears the cells under `text` at cell (column, row), then draws it.
    void drawTextLine(EmuScreen& page, const char* text, uint64_t length, int64_t column,
                      int64_t row, int64_t yOffset);
    void drawTimeLine(int32_t seconds);
    // Draws one register byte in its cell of page 1 and lets the renderer
    // redraw page 2.
    void drawRegister(uint32_t reg, uint8_t value);
    // Copies the page into the canvas when it is the page shown.
    void presentIfShown(uint32_t page);

    std::map<uint32_t, std::unique_ptr<EmuScreen>> pages;
    uint8_t shadow[2][256] = {};
    double clocks[kClockCount] = {};
    CanvasRecord* canvas; // not owned
    uint32_t current = kPageTrack;
    std::unique_ptr<BitmapFont> font;
    ExtraPageRenderer* renderer; // not owned, may be null
    int32_t lastShownSecond = 0;
    double secondsPerTick = 1.0;
    int64_t timeRow = 24;
    std::string banner = "Vantor VGM Player v1.123";
};

} // namespace VGM
