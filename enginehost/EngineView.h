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
// on each tick of its host's UI loop; while the view is attached to its
// engine, the tick takes the engine's newer picture (if it drew one), then
// every event the server has queued, and redraws once when either asked for
// it (a new picture, an exposure) before it returns. X
// errors of the view's own requests (a parent that went away) are caught
// while they are made, so that they never end the host's process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "enginehost/MorvaneEngine.h"

namespace morvane {

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

    // While attached: takes the engine's picture when it drew a newer one
    // than the view shows; it is drawn on the next tick. Until the first one
    // the view shows black. UI thread.
    bool takeCanvas(MorvaneEngine& engine);
    bool isOpen() const { return display != nullptr; }
    // Handles every queued event without waiting and redraws when asked to;
    // answers how many events.
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
    void* gc = nullptr;                    // GC
    void* image = nullptr;                 // XImage* of kWidth x kHeight
    std::unique_ptr<CanvasPicture> canvas; // what the window shows
    uint64_t canvasNumber = 0;             // the engine's number for it
    bool canvasWaiting = false;            // taken, not drawn yet
    int exposed = 0;
};

} // namespace morvane
