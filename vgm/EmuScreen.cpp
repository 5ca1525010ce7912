#include "vgm/EmuScreen.h"

#include <algorithm>
#include <cstring>

void EmuScreen::attachCanvas(CanvasRecord* target, const std::string& /*name*/) {
    canvas = target;
    width = target ? target->width : 0;
    height = target ? target->height : 0;
    // Only as many whole rows as the canvas's pixel buffer takes.
    const uint64_t bytes = target ? target->pixelBytes : 0;
    if (width == 0 || width > bytes) {
        width = 0;
        height = 0;
    } else {
        height = std::min(height, bytes / width);
    }
    size = width * height;
    pixelBuffer = std::make_unique<uint8_t[]>(size); // zeroed
    dirty = false;
}

void EmuScreen::clear(uint8_t colour) {
    if (size) std::memset(pixelBuffer.get(), colour, size);
    dirty = true;
}

void EmuScreen::setPixel(int64_t row, int64_t column, uint8_t colour) {
    row += yOrigin;
    column += xOrigin;
    if (row < 0 || column < 0 || uint64_t(row) >= height || uint64_t(column) >= width) return;
    pixelBuffer[uint64_t(row) * width + uint64_t(column)] = colour;
    dirty = true;
}

void EmuScreen::present() {
    if (!dirty) return;
    dirty = false;
    if (!canvas || !canvas->pixels) return;
    // The canvas may have been given a smaller buffer since the screen was attached.
    std::memcpy(canvas->pixels, pixelBuffer.get(), std::min(size, canvas->pixelBytes));
    if (canvas->colourCount == 0) {
        if (canvas->red) std::memcpy(canvas->red, paletteRed, sizeof paletteRed);
        if (canvas->green) std::memcpy(canvas->green, paletteGreen, sizeof paletteGreen);
        if (canvas->blue) std::memcpy(canvas->blue, paletteBlue, sizeof paletteBlue);
    }
    if (canvas->listener) canvas->listener->canvasUpdated();
}
