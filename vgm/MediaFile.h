// How large a media file may be, and the bounded whole-file read the readers
// share. No real song comes near the bound: the largest VGM files, arcade rips
// that carry their sample ROMs in data blocks, stay well below 64 MB unpacked.
// A file, or an archive member once unpacked, that is larger is refused before
// it is read, so a hostile file costs bounded time and memory.
#pragma once

#include <algorithm>
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

// The most one archive may list; the render command takes members 1-65535.
constexpr uint64_t kMaxArchiveEntries = 65535;

// What a reader may build from one file: command lists, kept and decoded
// sample data, data-block records. While a file is read its own unpacked
// bytes are held too, so a file of N bytes, accepted or refused, costs at most
// twice N plus 64 MB: the budget is N plus kBuildAllowance, the rest of the
// 64 MB is left to the reader's fixed state. Lists grow through makeRoom,
// which counts their room, not their size, and counts the old and the new
// room together while a list moves.
struct MediaBudget {
    static constexpr uint64_t kBuildAllowance = 48ull << 20;

    uint64_t limit = kBuildAllowance;
    uint64_t used = 0;
    bool spent = false; // a list could not grow: the file is refused

    void start(uint64_t fileBytes) {
        limit = fileBytes + kBuildAllowance;
        used = 0;
        spent = false;
    }
    // Makes room for `extra` more items in `list`, doubling its room while
    // that fits; false, and spent, when even the room needed does not fit.
    template <class List>
    bool makeRoom(List& list, uint64_t extra) {
        using T = typename List::value_type;
        const uint64_t have = list.capacity();
        const uint64_t need = list.size() + extra;
        if (need <= have) return true;
        const uint64_t fits = used <= limit ? (limit - used) / sizeof(T) : 0;
        const uint64_t grow = std::min<uint64_t>(std::max<uint64_t>(need, have * 2), fits);
        if (spent || grow < need) {
            spent = true;
            return false;
        }
        list.reserve(static_cast<size_t>(grow));
        used += (list.capacity() - have) * sizeof(T);
        return true;
    }
};

// "<reader>: the song needs more than N MB to hold, the most a file of M MB
// may build; it is refused\n"
std::string budgetLine(const std::string& reader, const MediaBudget& budget);

// Whole megabytes, rounded up.
uint64_t megabytes(uint64_t bytes);

// "<reader>: the file holds N MB, more than the 128 MB a media file may hold;
// it is refused\n"
std::string tooLargeLine(const std::string& reader, const std::string& what, uint64_t size);

} // namespace VGM
