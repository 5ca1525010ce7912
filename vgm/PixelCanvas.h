// The host's pixel canvas as the engine side sees it: a picture of one byte
// per pixel (a colour index, row after row) with a palette of up to 256
// entries held as three planes (red, green, blue). The host allocates the
// record; the plug-in object points this descriptor at its planes and its
// pixels and hands it to whoever draws (the media player's visualizer). After
// each copy into the pixels the drawer tells the canvas listener, which passes
// the news on to the host.
#pragma once

#include <cstdint>

// Told whenever new pixels (and perhaps a new palette) sit in the canvas.
class PixelCanvasListener {
public:
    virtual ~PixelCanvasListener() = default;
    virtual void canvasUpdated() = 0;
};

// The canvas descriptor. Not owned by the drawer; every pointer may be null.
struct CanvasRecord {
    // The host's canvas record holds 640 x 480 pixel bytes.
    static constexpr uint64_t kHostPixelBytes = 640 * 480;

    uint8_t* red = nullptr;
    uint8_t* green = nullptr;
    uint8_t* blue = nullptr;
    // Palette entries the owner has installed; 0 lets a screen install its own.
    uint64_t colourCount = 0;
    uint8_t* pixels = nullptr; // one byte per pixel, row after row
    uint64_t height = 0;
    uint64_t width = 0;
    PixelCanvasListener* listener = nullptr;
    // Bytes the pixel buffer holds: a screen never draws more rows than fit.
    uint64_t pixelBytes = kHostPixelBytes;
};
