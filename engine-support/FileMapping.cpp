#include "engine-support/FileMapping.h"

#include "platform/RegularFile.h"

#include <map>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace vantor {

namespace {

struct Mapping {
    int descriptor;
    uint64_t length;
};

struct Registry {
    std::mutex lock;
    std::map<const void*, Mapping> mappings;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

constexpr uint64_t kLargestMapping = 0xFFFFFFFEu;

} // namespace

const uint8_t* mapFile(const std::string& path, uint64_t& length) {
    length = 0;
    int fd = platform::openRegularFile(path);
    if (fd < 0) return nullptr;
    off_t end = ::lseek(fd, 0, SEEK_END);
    // A failed seek (-1) is rejected here as well.
    if (static_cast<uint64_t>(end) > kLargestMapping || end <= 0) {
        ::close(fd);
        return nullptr;
    }
    void* address = ::mmap(nullptr, static_cast<size_t>(end), PROT_READ, MAP_PRIVATE, fd, 0);
    if (address == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> guard(r.lock);
        auto it = r.mappings.find(address);
        if (it != r.mappings.end()) {
            // A stale record for a reused address: its mapping is gone already.
            ::close(it->second.descriptor);
        }
        r.mappings[address] = {fd, static_cast<uint64_t>(end)};
    }
    length = static_cast<uint64_t>(end);
    return static_cast<const uint8_t*>(address);
}

void unmapFile(const void* address) {
    if (!address) return;
    Mapping mapping{};
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> guard(r.lock);
        auto it = r.mappings.find(address);
        if (it == r.mappings.end()) return;
        mapping = it->second;
        r.mappings.erase(it);
    }
    ::munmap(const_cast<void*>(address), static_cast<size_t>(mapping.length));
    ::close(mapping.descriptor);
}

} // namespace vantor
