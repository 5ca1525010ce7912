// Small chunk files for the model-profile tests: RIFF (little-endian sizes)
// or IFF "FORM" (big-endian sizes) trees of profiles, written to the test's
// temporary folder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace profilefiles {

using Bytes = std::vector<uint8_t>;

inline void putU32(Bytes& out, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 8 * (3 - i) : 8 * i;
        out.push_back(uint8_t(v >> shift));
    }
}

// Little-endian floats, as the profile chunks hold them.
inline Bytes floats(const std::vector<float>& values) {
    Bytes out;
    for (float f : values) {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        putU32(out, bits, false);
    }
    return out;
}

inline Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// A chunk with its header and a pad byte after an odd body (unless `pad` is false).
inline Bytes chunk(const char* id, const Bytes& body, bool bigEndian = false, bool pad = true) {
    Bytes out(id, id + 4);
    putU32(out, uint32_t(body.size()), bigEndian);
    out.insert(out.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) out.push_back(0);
    return out;
}

// A container ("RIFF", "LIST", "FORM") of the given type holding `children`
// (each a complete chunk).
inline Bytes container(const char* id, const char* type, const std::vector<Bytes>& children,
                       bool bigEndian = false, bool pad = true) {
    Bytes body(type, type + 4);
    for (const Bytes& c : children) body.insert(body.end(), c.begin(), c.end());
    return chunk(id, body, bigEndian, pad);
}

// RIFF "MDPF" of LIST "PROF" profiles, each given as its list of sub-chunks.
inline Bytes riffFile(const std::vector<std::vector<Bytes>>& profiles) {
    std::vector<Bytes> lists;
    for (const auto& subChunks : profiles) lists.push_back(container("LIST", "PROF", subChunks));
    return container("RIFF", "MDPF", lists);
}

// A folder of this test process's own, removed at exit: ctest runs every test
// in a process of its own, in parallel, so fixed names in the shared temporary
// folder would race.
inline const std::string& processTempDir() {
    struct Folder {
        std::string path;
        Folder() {
            std::string tmpl = ::testing::TempDir() + "/md_profiles_XXXXXX";
            path = mkdtemp(tmpl.data()) ? tmpl : ::testing::TempDir();
        }
        ~Folder() {
            if (path != ::testing::TempDir()) {
                std::error_code ec;
                std::filesystem::remove_all(path, ec);
            }
        }
    };
    static const Folder folder;
    return folder.path;
}

inline std::string writeFile(const std::string& name, const Bytes& bytes) {
    const std::string path = processTempDir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (!f) return path;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

} // namespace profilefiles
