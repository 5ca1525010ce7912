// The host's pixel canvas as the media visualiser sees it, and the listener
// it tells when it has drawn a frame. The plug-in object owns the descriptor
// and points it at the palettes and pixels of the host's canvas record; the
// controller chooses the size and the colours.
#pragma once

#include <cstdint>

class PixelCanvasListener {
public:
    virtual ~PixelCanvasListener() = default;
    // The canvas holds a new picture.
    virtual void canvasUpdated() = 0;
};

struct CanvasRecord {
    uint8_t* red = nullptr; // 256 palette entries each
    uint8_t* green = nullptr;
    uint8_t* blue = nullptr;
    uint64_t colourCount = 0;
    uint8_t* pixels = nullptr; // one byte per pixel, at most 640 x 480
    uint64_t height = 0;
    uint64_t width = 0;
    PixelCanvasListener* listener = nullptr;
};
