#include "vgm/MediaFile.h"

#include "platform/RegularFile.h"

#include <cstdio>
#include <new>

namespace VGM {

namespace {

struct FileCloser {
    FILE* f;
    ~FileCloser() {
        if (f) std::fclose(f);
    }
};

} // namespace

uint64_t megabytes(uint64_t bytes) {
    return (bytes + (1u << 20) - 1) >> 20;
}

MediaRead readMediaFile(const std::string& path, const std::string& tag,
                        std::vector<uint8_t>& bytes, uint64_t& size) {
    size = 0;
    FileCloser file{platform::openRegularStream(path)};
    if (!file.f) return MediaRead::kMissing;
    if (::fseeko(file.f, 0, SEEK_END) != 0) return MediaRead::kMissing;
    const off_t end = ::ftello(file.f);
    if (end < 0 || ::fseeko(file.f, 0, SEEK_SET) != 0) return MediaRead::kMissing;
    size = static_cast<uint64_t>(end);
    if (!tag.empty()) {
        std::string head(tag.size(), '\0');
        if (size < tag.size() || std::fread(head.data(), 1, head.size(), file.f) != head.size() ||
            head != tag)
            return MediaRead::kWrongTag;
    }
    if (size > kMaxMediaBytes) return MediaRead::kTooLarge;
    std::vector<uint8_t> whole;
    try {
        whole.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return MediaRead::kMissing;
    }
    if (::fseeko(file.f, 0, SEEK_SET) != 0 ||
        (size > 0 && std::fread(whole.data(), 1, whole.size(), file.f) != whole.size()))
        return MediaRead::kMissing;
    bytes.swap(whole);
    return MediaRead::kRead;
}

std::string tooLargeLine(const std::string& reader, const std::string& what, uint64_t size) {
    return reader + ": " + what + " holds " + std::to_string(megabytes(size)) +
           " MB, more than the " + std::to_string(kMaxMediaBytes >> 20) +
           " MB a media file may hold; it is refused\n";
}

std::string budgetLine(const std::string& reader, const MediaBudget& budget) {
    const uint64_t file = budget.limit - std::min(budget.limit, MediaBudget::kBuildAllowance);
    return reader + ": the song needs more than " + std::to_string(budget.limit >> 20) +
           " MB to hold, the most a file of " + std::to_string(megabytes(file)) +
           " MB may build; it is refused\n";
}

} // namespace VGM
