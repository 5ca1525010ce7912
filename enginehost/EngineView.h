// The engine's own editor as the engine host hands it out: a view handle
// (opcode 23) tied to one engine instance, opened into a parent window (25),
// attached to and detached from the engine (21, 22), idled (26), asked for its
// size (27), told about its file descriptors and timers (43, 44) and ended
// (24).
//
// On Linux the parent is an X11 window id. The view opens an X connection of
// its own and maps a child window in the parent that shows the engine's
// pixel canvas (320 x 224 palette indices, each drawn as a 3 x 3 block). It
// never waits for X events: the plug-in's view sends the timer opcode (44)
// on each tick of its host's UI loop, and the window then takes every event
// the server has queued (an exposure redraws the canvas) and returns. X
// errors of the view's own requests (a parent that went away) are caught
// while they are made, so that they never end the host's process.
#pragma once

#include <cstdint>
#include <string>

namespace morvane {

// A picture in the layout of the engine's pixel-canvas record: one palette
// index per pixel, rows of `width` bytes one after another, and the three
// 256-entry palette planes.
struct CanvasPixels {
    const uint8_t* red = nullptr;
    const uint8_t* green = nullptr;
    const uint8_t* blue = nullptr;
    const uint8_t* pixels = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
};

class EngineView {
public:
    static constexpr int32_t kCanvasWidth = 320;
    static constexpr int32_t kCanvasHeight = 224;
    static constexpr int32_t kScale = 3;
    static constexpr int32_t kWidth = kCanvasWidth * kScale;
    static constexpr int32_t kHeight = kCanvasHeight * kScale;

    EngineView(void* engine, std::string productFile);
    // Closes the window.
    ~EngineView();
    EngineView(const EngineView&) = delete;
    EngineView& operator=(const EngineView&) = delete;

    void* getEngine() const { return engine; }
    const std::string& getProductFile() const { return productFile; }

    // 25: maps the view's window in `parent` (an X11 window id); false when
    // there is no display or no such window. A second open moves the view.
    bool open(void* parent, bool embedded);
    // 21 / 22: the engine shows or stops showing its state in the view.
    void attach() { attached = true; }
    void detach() { attached = false; }
    bool isAttached() const { return attached; }
    // 26: takes the queued window events.
    void idle() { drainEvents(); }
    // 27
    void getSize(int32_t& width, int32_t& height) const;
    // 43 / 44: 44 takes the queued window events.
    void fdNotify(int32_t fd) { lastFd = fd; }
    void timerNotify(int32_t id);

    // The picture shown from the next redraw on; null (the start) shows the
    // canvas's colour 0, black.
    void setCanvas(const CanvasPixels* pixels) { canvas = pixels; }
    bool isOpen() const { return display != nullptr; }
    // Handles every queued event without waiting; answers how many.
    int drainEvents();
    int exposures() const { return exposed; }
    // Destroys the window and closes the display.
    void close();

private:
    void redraw();

    void* engine;
    std::string productFile;
    void* parent = nullptr;
    bool embedded = true;
    bool attached = false;
    int32_t lastFd = -1;
    int32_t lastTimer = -1;

    void* display = nullptr; // Display*
    unsigned long window = 0;
    void* gc = nullptr;    // GC
    void* image = nullptr; // XImage* of kWidth x kHeight
    const CanvasPixels* canvas = nullptr;
    int exposed = 0;
};

} // namespace morvane
