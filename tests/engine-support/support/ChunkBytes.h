// Builder of chunk-file bytes for the chunk-tree and WAV tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct ChunkBytes {
    std::vector<uint8_t> bytes;

    ChunkBytes& tag(const std::string& text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    ChunkBytes& fill(size_t n, uint8_t value = 0) {
        bytes.insert(bytes.end(), n, value);
        return *this;
    }
    ChunkBytes& le(uint64_t value, int width) {
        for (int i = 0; i < width; ++i) bytes.push_back(uint8_t(value >> (8 * i)));
        return *this;
    }
    ChunkBytes& be(uint64_t value, int width) {
        for (int i = width - 1; i >= 0; --i) bytes.push_back(uint8_t(value >> (8 * i)));
        return *this;
    }
    ChunkBytes& le32(uint64_t v) { return le(v, 4); }
    ChunkBytes& be32(uint64_t v) { return be(v, 4); }
    ChunkBytes& le64(uint64_t v) { return le(v, 8); }
    ChunkBytes& be64(uint64_t v) { return be(v, 8); }
    ChunkBytes& append(const std::vector<uint8_t>& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    // A 16-byte Wave64 identifier: four letters and twelve fixed bytes.
    ChunkBytes& guid(const std::string& four) {
        tag(four);
        for (int i = 0; i < 12; ++i) bytes.push_back(uint8_t(0xA0 + i));
        return *this;
    }
    size_t size() const { return bytes.size(); }
};

} // namespace testsupport
