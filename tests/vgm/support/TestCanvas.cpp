#include "vgm/support/TestCanvas.h"

#include <algorithm>
#include <fstream>

#include <zlib.h>

#include "vgm/support/CanvasPng.h"

namespace vgmtest {

TestCanvas::TestCanvas(uint64_t width, uint64_t height, uint64_t pixelBytes)
    : red(256 + kGuardBytes, kGuard), green(256 + kGuardBytes, kGuard),
      blue(256 + kGuardBytes, kGuard), pixels(pixelBytes + kGuardBytes, kGuard) {
    std::fill(red.begin(), red.begin() + 256, 0);
    std::fill(green.begin(), green.begin() + 256, 0);
    std::fill(blue.begin(), blue.begin() + 256, 0);
    std::fill(pixels.begin(), pixels.begin() + pixelBytes, 0);
    record.red = red.data();
    record.green = green.data();
    record.blue = blue.data();
    record.pixels = pixels.data();
    record.width = width;
    record.height = height;
    record.pixelBytes = pixelBytes;
    record.listener = this;
}

bool TestCanvas::guardsIntact() const {
    const auto tail = [](const std::vector<uint8_t>& v) {
        return std::all_of(v.end() - kGuardBytes, v.end(), [](uint8_t b) { return b == kGuard; });
    };
    return tail(red) && tail(green) && tail(blue) && tail(pixels);
}

uint32_t TestCanvas::checksum() const {
    const uint64_t n = std::min<uint64_t>(record.width * record.height, record.pixelBytes);
    return uint32_t(crc32(0, pixels.data(), uInt(n)));
}

void TestCanvas::savePicture(const std::string& name) const {
    const std::string& folder = canvasPictureFolder();
    if (folder.empty()) return;
    std::ofstream(folder + "/" + name + ".png", std::ios::binary) << paletteImagePng(
        pixels.data(), record.width, record.height, red.data(), green.data(), blue.data());
}

} // namespace vgmtest
