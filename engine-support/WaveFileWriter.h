// Writes a RIFF/WAVE file in one forward pass: a 36-byte placeholder header,
// optional metadata chunks, one "data" chunk of sample bytes; finishing seeks
// back to fill in the header and the data size. All values are little-endian.
//
// Metadata must come before beginData: every metadata call made after it is
// refused, so nothing can land inside the sample data. Every call on a writer
// without a stream fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vantor {

// The 16-byte format record of the "fmt " chunk, exactly as it is stored.
struct WaveFormat {
    uint16_t formatTag = 1; // 1 PCM, 3 IEEE float, 17 IMA ADPCM
    uint16_t channels = 1;
    uint32_t sampleRate = 44100;
    uint32_t bytesPerSecond = 88200;
    uint16_t blockAlign = 2;
    uint16_t bitsPerSample = 16;
};
static_assert(sizeof(WaveFormat) == 16);
static_assert(offsetof(WaveFormat, channels) == 2);
static_assert(offsetof(WaveFormat, sampleRate) == 4);
static_assert(offsetof(WaveFormat, bytesPerSecond) == 8);
static_assert(offsetof(WaveFormat, blockAlign) == 12);
static_assert(offsetof(WaveFormat, bitsPerSample) == 14);

// A cue point; entries are numbered from 1 in list order.
struct WaveCue {
    uint32_t position;
    uint32_t length; // region length in samples
    std::string label;
};

class WaveFileWriter {
public:
    // Writes to a stream it does not own (null: no stream).
    explicit WaveFileWriter(FILE* stream);
    // Creates the file and owns the stream (null or empty: no stream).
    explicit WaveFileWriter(const char* path);
    explicit WaveFileWriter(const std::string& path);
    virtual ~WaveFileWriter();

    WaveFileWriter(const WaveFileWriter&) = delete;
    WaveFileWriter& operator=(const WaveFileWriter&) = delete;

    bool isOpen() const { return file != nullptr; }
    const WaveFormat& getFormat() const { return format; }

    // Sets the format and starts the "data" chunk; false when there is no
    // stream or the data chunk was begun already.
    bool beginData(uint32_t sampleRate, uint32_t channels, uint32_t bitsPerSample,
                   uint32_t floatFlag);
    // Sample bytes; false before beginData or when not all bytes were written.
    bool writeData(const void* bytes, uint64_t n);
    // Per frame bitsPerSample / 8 bytes from `left`, then as many from `right`.
    bool writeInterleaved(const void* left, const void* right, uint64_t frames);

    // Metadata chunks (before beginData only).
    bool writeChunk(uint32_t id, uint32_t size, const void* bytes);
    bool writeSampler(const void* header36, const void* loop24);
    bool writeSamplerLoop(uint32_t unityNote, uint32_t loopStart, uint32_t loopEnd);
    // A LIST/INFO list with one entry; selector 0 is "ICOP" (copyright), the
    // only entry known: other selectors write nothing and return false.
    bool writeInfo(uint32_t selector, const std::string& text);
    bool writeCues(const std::vector<WaveCue>& cues);

    // Writes the data size and the header; done by the destructor unless called.
    bool finish();

private:
    void open(const std::string& path);
    bool writeHeader(bool final);
    bool writeRaw(const void* bytes, uint64_t n);
    bool writeTag(const char* fourBytes) { return writeRaw(fourBytes, 4); }
    bool writeU32(uint32_t value);
    bool writeU16(uint16_t value);
    bool metadataAllowed() const { return file && dataSizePosition == 0; }

    FILE* file = nullptr;
    bool ownsFile = false;
    WaveFormat format;
    uint64_t endPosition = 0;
    uint64_t dataSizePosition = 0;
    bool finished = false;
};

} // namespace vantor
