// Writing and reading the engine host's state chunk.
#include "enginehost/EngineStateChunk.h"

#include <cstddef>
#include <cstring>

namespace morvane {
namespace {

template <typename T> void put(std::vector<uint8_t>& out, T value) {
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

// A cursor over the chunk that refuses to read past its end.
class Reader {
public:
    Reader(const uint8_t* bytes, size_t size) : at(bytes), left(size) {}
    template <typename T> bool get(T& value) {
        if (left < sizeof(T)) return false;
        std::memcpy(&value, at, sizeof(T));
        at += sizeof(T), left -= sizeof(T);
        return true;
    }
    bool take(size_t n, const uint8_t*& bytes) {
        if (left < n) return false;
        bytes = at;
        at += n, left -= n;
        return true;
    }
    size_t remaining() const { return left; }

private:
    const uint8_t* at;
    size_t left;
};

} // namespace

std::vector<uint8_t> EngineStateChunk::write() const {
    std::vector<uint8_t> out(kMagic, kMagic + 4);
    put<uint32_t>(out, kVersion);
    put<uint32_t>(out, static_cast<uint32_t>(parameters.size()));
    for (const Parameter& p : parameters) {
        put<uint16_t>(out, p.engineId);
        put<uint16_t>(out, 0);
        put<float>(out, p.value);
    }
    put<uint32_t>(out, static_cast<uint32_t>(records.size()));
    for (const Record& r : records) {
        size_t n = r.bytes.size();
        while (n > 0 && r.bytes[n - 1] == 0) --n;
        put<uint32_t>(out, r.extensionId);
        put<uint32_t>(out, static_cast<uint32_t>(n));
        put<uint64_t>(out, r.commandField);
        out.insert(out.end(), r.bytes.begin(), r.bytes.begin() + static_cast<std::ptrdiff_t>(n));
    }
    return out;
}

bool EngineStateChunk::readWith(const uint8_t* bytes, size_t size, uint32_t idCount,
                                size_t (*capacity)(void*, uint32_t, uint64_t), void* context,
                                std::string& error) {
    if (!bytes) {
        error = "no state";
        return false;
    }
    Reader in(bytes, size);
    char magic[4];
    uint32_t version = 0, count = 0;
    if (!in.get(magic) || std::memcmp(magic, kMagic, 4) != 0) {
        error = "not an engine state";
        return false;
    }
    if (!in.get(version) || version == 0 || version > kVersion) {
        error = "engine state version " + std::to_string(version) + " cannot be read";
        return false;
    }
    if (!in.get(count) || count > idCount || count > in.remaining() / 8) {
        error = "engine state: bad parameter count";
        return false;
    }
    std::vector<Parameter> readParameters(count);
    for (Parameter& p : readParameters) {
        uint16_t reserved = 0;
        in.get(p.engineId), in.get(reserved), in.get(p.value);
        if (p.engineId >= idCount) {
            error = "engine state: engine id " + std::to_string(p.engineId) + " out of range";
            return false;
        }
    }
    if (!in.get(count) || count > kMaxRecords) {
        error = "engine state: bad record count";
        return false;
    }
    std::vector<Record> readRecords(count);
    for (Record& r : readRecords) {
        uint32_t n = 0;
        const uint8_t* data = nullptr;
        if (!in.get(r.extensionId) || !in.get(n) || !in.get(r.commandField) || !in.take(n, data)) {
            error = "engine state: truncated record";
            return false;
        }
        const size_t room = capacity(context, r.extensionId, r.commandField);
        if (room == 0 || n > room) {
            error = "engine state: record " + std::to_string(r.extensionId) + " does not fit";
            return false;
        }
        r.bytes.assign(data, data + n);
    }
    if (in.remaining() != 0) {
        error = "engine state: bytes after the end";
        return false;
    }
    parameters = std::move(readParameters);
    records = std::move(readRecords);
    return true;
}

} // namespace morvane
