// Pictures of a pixel canvas for a person to look at: an 8-bit palette PNG
// written with zlib alone, and the folder the tests put them in when asked.
#pragma once

#include <cstdint>
#include <string>

namespace vgmtest {

// Encodes `width` x `height` colour indices with a 256-entry palette (three
// planes) as a PNG file image.
std::string paletteImagePng(const uint8_t* pixels, uint64_t width, uint64_t height,
                            const uint8_t* red, const uint8_t* green, const uint8_t* blue);

// The folder to write pictures into: a new temporary folder when the
// environment variable SX_CANVAS_PNG is set to a non-empty value, else empty
// (no pictures are written). Created once per process.
const std::string& canvasPictureFolder();

} // namespace vgmtest
