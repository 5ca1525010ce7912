// One byte-per-pixel picture the size of the host's pixel canvas, drawn in
// private and copied into the canvas when shown. Every pixel is a colour
// index into the screen's own 256-entry palette (three planes), which travels
// with the picture when the canvas's owner has installed none. Drawing outside
// the picture is ignored; a screen never holds more rows than the canvas's
// pixel buffer can take, so a canvas with a lying size cannot be overrun.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vgm/PixelCanvas.h"

class EmuScreen {
public:
    EmuScreen() = default;
    virtual ~EmuScreen() = default;
    EmuScreen(const EmuScreen&) = delete;
    EmuScreen& operator=(const EmuScreen&) = delete;

    // Keeps the canvas, takes its size (rows cut to what its pixel buffer
    // holds) and starts with all pixels 0. The name is not kept.
    virtual void attachCanvas(CanvasRecord* canvas, const std::string& name = std::string());

    // Every pixel := colour.
    void clear(uint8_t colour);
    // One pixel, relative to the origins; outside the picture nothing happens.
    void setPixel(int64_t row, int64_t column, uint8_t colour);
    // When something changed: copies the pixels (and the palette, when the
    // canvas has none of its own) into the canvas and tells its listener.
    void present();
    // The next present copies even without a change.
    void markDirty() { dirty = true; }
    bool isDirty() const { return dirty; }

    uint64_t getWidth() const { return width; }
    uint64_t getHeight() const { return height; }
    uint64_t getSize() const { return size; }
    uint8_t* pixels() { return pixelBuffer.get(); }
    const uint8_t* pixels() const { return pixelBuffer.get(); }
    uint8_t* red() { return paletteRed; }
    uint8_t* green() { return paletteGreen; }
    uint8_t* blue() { return paletteBlue; }
    const CanvasRecord* getCanvas() const { return canvas; }

private:
    uint64_t width = 0;
    uint64_t height = 0;
    uint64_t size = 0;
    bool dirty = false;
    int64_t xOrigin = 0;
    int64_t yOrigin = 0;
    uint8_t paletteRed[256] = {};
    uint8_t paletteGreen[256] = {};
    uint8_t paletteBlue[256] = {};
    CanvasRecord* canvas = nullptr; // not owned
    std::unique_ptr<uint8_t[]> pixelBuffer;
};
