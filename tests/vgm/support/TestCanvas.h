// A host pixel canvas for the display tests: palette planes and a pixel
// buffer of a chosen size, each followed by guard bytes that must stay
// untouched, and a listener that counts the updates it is told of.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vgm/PixelCanvas.h"

namespace vgmtest {

class TestCanvas : public PixelCanvasListener {
public:
    static constexpr uint8_t kGuard = 0xA5;
    static constexpr size_t kGuardBytes = 64;

    TestCanvas(uint64_t width, uint64_t height,
               uint64_t pixelBytes = CanvasRecord::kHostPixelBytes);

    void canvasUpdated() override { ++updates; }

    // True when no byte past a plane or the pixel buffer was written.
    bool guardsIntact() const;
    uint8_t pixel(uint64_t row, uint64_t column) const {
        return pixels[row * record.width + column];
    }
    // CRC-32 of the width x height pixels the picture covers.
    uint32_t checksum() const;
    // Writes the picture as `name`.png into the folder the tests were asked
    // to fill (see CanvasPng.h); nothing when none was asked for.
    void savePicture(const std::string& name) const;

    CanvasRecord record;
    std::vector<uint8_t> red, green, blue, pixels;
    int updates = 0;
};

} // namespace vgmtest
