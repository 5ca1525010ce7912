// How large a media file may be, and the bounded whole-file read the readers
// share. No real song comes near the bound: the largest VGM files, arcade rips
// that carry their sample ROMs in data blocks, stay well below 64 MB unpacked.
// A file, or an archive member once unpacked, that is larger is refused before
// it is read, so a hostile file costs bounded time and memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace VGM {

constexpr uint64_t kMaxMediaBytes = 128ull << 20;

enum class MediaRead {
    kRead,      // `bytes` holds the whole file
    kMissing,   // not a regular file, or unreadable
    kWrongTag,  // the file does not start with the tag (or is shorter than it)
    kTooLarge,  // the file is larger than kMaxMediaBytes
};

// Reads the whole regular file at `path` into `bytes`, but only once its first
// bytes are `tag` (when one is given) and its size is at most kMaxMediaBytes.
// `size` is the file's size whenever the file could be opened.
MediaRead readMediaFile(const std::string& path, const std::string& tag,
                        std::vector<uint8_t>& bytes, uint64_t& size);

// Whole megabytes, rounded up.
uint64_t megabytes(uint64_t bytes);

// "<reader>: the file holds N MB, more than the 128 MB a media file may hold;
// it is refused\n"
std::string tooLargeLine(const std::string& reader, const std::string& what, uint64_t size);

} // namespace VGM
