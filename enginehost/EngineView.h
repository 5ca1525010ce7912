// The engine's own editor as the engine host hands it out: a view handle
// (opcode 23) tied to one engine instance, opened into a parent window (25),
// attached to and detached from the engine (21, 22), idled (26), asked for its
// size (27), told about its file descriptors and timers (43, 44) and ended
// (24).
//
// The window itself is not drawn here yet: the view answers with its handle
// and its size and keeps what it was told.
#pragma once

#include <cstdint>
#include <string>

namespace morvane {

class EngineView {
public:
    static constexpr int32_t kWidth = 960;
    static constexpr int32_t kHeight = 600;

    EngineView(void* engine, std::string productFile);

    void* getEngine() const { return engine; }
    const std::string& getProductFile() const { return productFile; }

    // 25: the parent window (an X11 window id on Linux) and whether the view
    // sits inside it.
    bool open(void* parent, bool embedded);
    // 21 / 22: the engine shows or stops showing its state in the view.
    void attach() { attached = true; }
    void detach() { attached = false; }
    bool isAttached() const { return attached; }
    // 26
    void idle() {}
    // 27
    void getSize(int32_t& width, int32_t& height) const;
    // 43 / 44
    void fdNotify(int32_t fd) { lastFd = fd; }
    void timerNotify(int32_t id) { lastTimer = id; }

private:
    void* engine;
    std::string productFile;
    void* parent = nullptr;
    bool embedded = true;
    bool attached = false;
    int32_t lastFd = -1;
    int32_t lastTimer = -1;
};

} // namespace morvane
