// The engine host's state chunk: what a song stores for one engine instance,
// in a format of our own, little-endian, versioned.
//
//   0   "MVST"
//   4   u32 version (1)
//   8   u32 parameter count P, then P entries {u16 engine id, u16 0, f32 value}
//   ..  u32 record count R, then R extension records
//       {u32 extension id, u32 byte count n, u64 command field, n bytes}
//
// The parameters are every engine id that holds a setting; the records are
// the extension records the engine keeps, as their bytes (trailing zero bytes
// left out) with the command field they were attached with (the name-table
// key, the load-file slot). A reader accepts version 1 and refuses anything it
// cannot read whole: a short or over-long chunk, a count that runs past the
// end, an engine id outside the id space, a record id it does not know.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vst3/MorvaneInterface.h"

namespace morvane {

struct EngineStateChunk {
    // The tag and version the plug-in checks before it takes a state.
    static constexpr const char (&kMagic)[4] = vantor::kEngineChunkTag;
    static constexpr uint32_t kVersion = vantor::kEngineChunkVersion;
    static constexpr uint32_t kMaxRecords = vantor::kEngineChunkMaxRecords;

    struct Parameter {
        uint16_t engineId;
        float value;
    };
    struct Record {
        uint32_t extensionId;
        uint64_t commandField;
        std::vector<uint8_t> bytes;
    };

    std::vector<Parameter> parameters;
    std::vector<Record> records;

    // The chunk's bytes.
    std::vector<uint8_t> write() const;
    // Reads a chunk; false with `error` set (and this record untouched) when
    // it is not one this reader can take. `idCount` bounds the engine ids,
    // `knownRecord` says which extension ids may appear and how many bytes
    // each may hold (0: not known).
    template <typename KnownRecord>
    bool read(const uint8_t* bytes, size_t size, uint32_t idCount, KnownRecord knownRecord,
              std::string& error);

private:
    bool readWith(const uint8_t* bytes, size_t size, uint32_t idCount,
                  size_t (*capacity)(void*, uint32_t, uint64_t), void* context, std::string& error);
};

template <typename KnownRecord>
bool EngineStateChunk::read(const uint8_t* bytes, size_t size, uint32_t idCount,
                            KnownRecord knownRecord, std::string& error) {
    return readWith(
        bytes, size, idCount,
        [](void* context, uint32_t id, uint64_t field) -> size_t {
            return (*static_cast<KnownRecord*>(context))(id, field);
        },
        &knownRecord, error);
}

} // namespace morvane
