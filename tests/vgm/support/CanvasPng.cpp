#include "vgm/support/CanvasPng.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include <zlib.h>

namespace vgmtest {

namespace {

void put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char(v >> shift));
}

// Length, type, data, then the CRC over type and data.
void chunk(std::string& out, const char* type, const std::string& data) {
    put32(out, uint32_t(data.size()));
    const std::string body = std::string(type, 4) + data;
    out += body;
    put32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

} // namespace

std::string paletteImagePng(const uint8_t* pixels, uint64_t width, uint64_t height,
                            const uint8_t* red, const uint8_t* green, const uint8_t* blue) {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    put32(header, uint32_t(width));
    put32(header, uint32_t(height));
    // 8 bits per pixel, palette colour, deflate, no filter method, no interlace.
    header += std::string("\x08\x03\x00\x00\x00", 5);
    chunk(png, "IHDR", header);

    std::string palette;
    for (int i = 0; i < 256; ++i) {
        palette.push_back(char(red[i]));
        palette.push_back(char(green[i]));
        palette.push_back(char(blue[i]));
    }
    chunk(png, "PLTE", palette);

    // Every row starts with filter type 0 (none).
    std::vector<uint8_t> raw;
    raw.reserve((width + 1) * height);
    for (uint64_t row = 0; row < height; ++row) {
        raw.push_back(0);
        raw.insert(raw.end(), pixels + row * width, pixels + (row + 1) * width);
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    std::string packed(packedSize, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, raw.data(), uLong(raw.size()));
    packed.resize(packedSize);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", std::string());
    return png;
}

const std::string& canvasPictureFolder() {
    static const std::string folder = [] {
        const char* ask = std::getenv("SX_CANVAS_PNG");
        if (!ask || !*ask) return std::string();
        std::string pattern = (std::filesystem::temp_directory_path() / "canvas-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return std::string();
        return pattern;
    }();
    return folder;
}

} // namespace vgmtest
