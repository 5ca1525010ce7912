#include "engine-support/WaveFileWriter.h"

#include "vantor/VNTRConv.h"

#include <cstring>
#include <sys/types.h>

namespace vantor {

namespace {
constexpr uint32_t kHeaderBytes = 36;
}

WaveFileWriter::WaveFileWriter(FILE* stream) : file(stream) {
    if (file) writeHeader(false);
}

WaveFileWriter::WaveFileWriter(const char* path) {
    if (path) open(VNTRConv(path, 0));
}

WaveFileWriter::WaveFileWriter(const std::string& path) {
    open(path);
}

WaveFileWriter::~WaveFileWriter() {
    finish();
    if (file && ownsFile) std::fclose(file);
}

void WaveFileWriter::open(const std::string& path) {
    if (path.empty()) return;
    file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    ownsFile = true;
    writeHeader(false);
}

bool WaveFileWriter::writeRaw(const void* bytes, uint64_t n) {
    if (!file) return false;
    if (n == 0) return true;
    return std::fwrite(bytes, 1, n, file) == n;
}

bool WaveFileWriter::writeU32(uint32_t value) {
    const uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                          uint8_t(value >> 24)};
    return writeRaw(b, 4);
}

bool WaveFileWriter::writeU16(uint16_t value) {
    const uint8_t b[2] = {uint8_t(value), uint8_t(value >> 8)};
    return writeRaw(b, 2);
}

// The first 36 bytes: RIFF header, "WAVE" and the "fmt " chunk. The
// placeholder goes to the current position; the final header to offset 0.
bool WaveFileWriter::writeHeader(bool final) {
    uint32_t riffSize = 0;
    if (final) {
        if (dataSizePosition != 0) {
            riffSize = static_cast<uint32_t>(endPosition - 4);
        } else {
            // No data chunk: the RIFF size is taken from the file's real length.
            off_t end = -1;
            if (fseeko(file, 0, SEEK_END) == 0) end = ftello(file);
            riffSize = end >= 8 ? static_cast<uint32_t>(end - 8) : kHeaderBytes - 8;
        }
        if (fseeko(file, 0, SEEK_SET) != 0) return false;
    }
    bool ok = writeTag("RIFF") && writeU32(riffSize) && writeTag("WAVE") && writeTag("fmt ") &&
              writeU32(16);
    ok = ok && writeU16(format.formatTag) && writeU16(format.channels) &&
         writeU32(format.sampleRate) && writeU32(format.bytesPerSecond) &&
         writeU16(format.blockAlign) && writeU16(format.bitsPerSample);
    return ok;
}

bool WaveFileWriter::beginData(uint32_t sampleRate, uint32_t channels, uint32_t bitsPerSample,
                               uint32_t floatFlag) {
    if (!file || dataSizePosition != 0) return false;
    format.sampleRate = sampleRate;
    format.channels = static_cast<uint16_t>(channels);
    format.bitsPerSample = static_cast<uint16_t>(bitsPerSample);
    format.blockAlign = static_cast<uint16_t>(((bitsPerSample / 8) & 0x1FFF) * channels);
    format.bytesPerSecond = static_cast<uint32_t>(format.blockAlign) * sampleRate;
    if (bitsPerSample == 4)
        format.formatTag = 17;
    else if (bitsPerSample == 32)
        format.formatTag = static_cast<uint16_t>(1 + 2 * (floatFlag & 0xFF));
    else
        format.formatTag = 1;

    if (!writeTag("data")) return false;
    off_t at = ftello(file);
    if (at <= 0) return false;
    dataSizePosition = static_cast<uint64_t>(at);
    endPosition = dataSizePosition;
    return writeU32(0xFFFFFFFFu);
}

bool WaveFileWriter::writeData(const void* bytes, uint64_t n) {
    if (!file || dataSizePosition == 0 || (!bytes && n)) return false;
    if (n == 0) return true;
    const size_t written = std::fwrite(bytes, 1, n, file);
    endPosition += written;
    return written == n;
}

bool WaveFileWriter::writeInterleaved(const void* left, const void* right, uint64_t frames) {
    if (!file || dataSizePosition == 0 || ((!left || !right) && frames)) return false;
    const size_t width = format.bitsPerSample / 8;
    if (width == 0 || frames == 0) return true;
    auto* l = static_cast<const uint8_t*>(left);
    auto* r = static_cast<const uint8_t*>(right);
    uint8_t block[4096];
    const size_t framesPerBlock = sizeof(block) / (2 * width);
    if (framesPerBlock == 0) return false; // samples wider than the block
    bool ok = true;
    while (frames > 0) {
        size_t count = frames < framesPerBlock ? static_cast<size_t>(frames) : framesPerBlock;
        uint8_t* out = block;
        for (size_t i = 0; i < count; ++i) {
            std::memcpy(out, l, width);
            std::memcpy(out + width, r, width);
            out += 2 * width;
            l += width;
            r += width;
        }
        ok = writeData(block, count * 2 * width) && ok;
        frames -= count;
    }
    return ok;
}

bool WaveFileWriter::writeChunk(uint32_t id, uint32_t size, const void* bytes) {
    if (!metadataAllowed() || (!bytes && size) || size == UINT32_MAX) return false;
    bool ok = writeU32(id);
    if (size & 1) {
        const uint8_t pad = 0;
        ok = ok && writeU32(size + 1) && writeRaw(bytes, size) && writeRaw(&pad, 1);
    } else {
        ok = ok && writeU32(size) && writeRaw(bytes, size);
    }
    return ok;
}

bool WaveFileWriter::writeSampler(const void* header36, const void* loop24) {
    if (!metadataAllowed() || !header36 || !loop24) return false;
    return writeTag("smpl") && writeU32(60) && writeRaw(header36, 36) && writeRaw(loop24, 24);
}

bool WaveFileWriter::writeSamplerLoop(uint32_t unityNote, uint32_t loopStart, uint32_t loopEnd) {
    if (!metadataAllowed()) return false;
    uint8_t header[36] = {};
    uint8_t loop[24] = {};
    auto put = [](uint8_t* at, uint32_t v) {
        for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(header + 12, unityNote);
    put(header + 28, 1); // one loop
    put(loop + 8, loopStart);
    put(loop + 12, loopEnd);
    return writeSampler(header, loop);
}

bool WaveFileWriter::writeInfo(uint32_t selector, const std::string& text) {
    if (!metadataAllowed() || selector != 0 || text.size() > 0xFFFF0000u) return false;
    const uint32_t length = static_cast<uint32_t>(text.size());
    const uint32_t pad = (length & 1) ? 1 : 2; // a NUL, and an even entry
    const uint8_t zeros[2] = {0, 0};
    return writeTag("LIST") && writeU32(length + pad + 12) && writeTag("INFO") &&
           writeTag("ICOP") && writeU32(length + pad) && writeRaw(text.data(), length) &&
           writeRaw(zeros, pad);
}

bool WaveFileWriter::writeCues(const std::vector<WaveCue>& cues) {
    if (!metadataAllowed() || cues.size() > 0x0AAAAAAAu) return false;
    const uint32_t count = static_cast<uint32_t>(cues.size());
    bool ok = writeTag("cue ") && writeU32(4 + 24 * count) && writeU32(count);
    for (uint32_t i = 0; i < count && ok; ++i) {
        const WaveCue& c = cues[i];
        ok = writeU32(i + 1) && writeU32(c.position) && writeTag("data") && writeU32(0) &&
             writeU32(0) && writeU32(c.position);
    }
    if (!ok) return false;

    ok = writeTag("LIST");
    const off_t sizeField = ftello(file);
    ok = ok && sizeField > 0 && writeU32(0) && writeTag("adtl");
    for (uint32_t i = 0; i < count && ok; ++i) {
        ok = writeTag("ltxt") && writeU32(20) && writeU32(i + 1) && writeU32(cues[i].length) &&
             writeTag("rgn ") && writeU32(0) && writeU32(0);
    }
    for (uint32_t i = 0; i < count && ok; ++i) {
        const std::string& label = cues[i].label;
        if (label.size() > 0xFFFF0000u) return false;
        const uint32_t length = static_cast<uint32_t>(label.size());
        const uint8_t zero = 0;
        ok = writeTag("labl") && writeU32(4 + length + (length & 1)) && writeU32(i + 1) &&
             writeRaw(label.data(), length) && ((length & 1) == 0 || writeRaw(&zero, 1));
    }
    if (!ok) return false;
    const off_t end = ftello(file);
    if (end < sizeField + 4 || fseeko(file, sizeField, SEEK_SET) != 0) return false;
    ok = writeU32(static_cast<uint32_t>(end - sizeField - 4));
    return fseeko(file, end, SEEK_SET) == 0 && ok;
}

bool WaveFileWriter::finish() {
    if (!file || finished) return false;
    bool ok = true;
    if (dataSizePosition != 0) {
        ok = fseeko(file, static_cast<off_t>(dataSizePosition), SEEK_SET) == 0 &&
             writeU32(static_cast<uint32_t>(endPosition - dataSizePosition));
    }
    ok = writeHeader(true) && ok;
    fseeko(file, 0, SEEK_END);
    ok = std::fflush(file) == 0 && ok;
    finished = true;
    return ok;
}

} // namespace vantor
