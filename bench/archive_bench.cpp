// Opening media archives with many members: a zip of 5,000 small text members
// and one song (the song list, and the text kept, come from one pass over the
// directory), and a solid 7z of 200 text members of 64 KiB and one song. Each
// iteration opens the file the way the player does (VGM::VGMX::openFile) and
// loads the song. The archives are written once into a temporary folder.

#include "vgm/VGMX.h"

#include <archive.h>
#include <archive_entry.h>
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Members = std::vector<std::pair<std::string, Bytes>>;

// Two PSG writes a frame apart, end.
Bytes song() {
    Bytes b(0x100, 0);
    auto at32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    std::memcpy(b.data(), "Vgm ", 4);
    at32(0x08, 0x171);
    at32(0x0C, 3579545);
    at32(0x34, 0x100 - 0x34);
    for (uint8_t op : {0x50, 0x9F, 0x62, 0x50, 0x80, 0x66}) b.push_back(op);
    at32(0x04, static_cast<uint32_t>(b.size() - 4));
    at32(0x18, 735);
    return b;
}

Bytes text(size_t n, size_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>('a' + (i * 7 + seed) % 26);
    return b;
}

void put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// A zip with stored (uncompressed) members: local headers with the data, the
// central directory, its end record.
Bytes storedZip(const Members& members) {
    Bytes out, directory;
    for (const auto& [name, data] : members) {
        const uint32_t offset = static_cast<uint32_t>(out.size());
        const uint32_t crc = static_cast<uint32_t>(crc32(0, data.data(), data.size()));
        const uint32_t size = static_cast<uint32_t>(data.size());
        put32(out, 0x04034B50);
        for (uint32_t v : {10u, 0u, 0u, 0u, 0u})
            put16(out, v); // version, flags, method, time, date
        put32(out, crc);
        put32(out, size);
        put32(out, size);
        put16(out, static_cast<uint32_t>(name.size()));
        put16(out, 0);
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), data.begin(), data.end());

        put32(directory, 0x02014B50);
        for (uint32_t v : {10u, 10u, 0u, 0u, 0u, 0u}) put16(directory, v);
        put32(directory, crc);
        put32(directory, size);
        put32(directory, size);
        put16(directory, static_cast<uint32_t>(name.size()));
        for (uint32_t v : {0u, 0u, 0u, 0u}) put16(directory, v); // extra, comment, disk, attributes
        put32(directory, 0);
        put32(directory, offset);
        directory.insert(directory.end(), name.begin(), name.end());
    }
    const uint32_t start = static_cast<uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint32_t>(members.size()));
    put16(out, static_cast<uint32_t>(members.size()));
    put32(out, static_cast<uint32_t>(directory.size()));
    put32(out, start);
    put16(out, 0);
    return out;
}

Bytes solidSevenZip(const Members& members) {
    Bytes out(8 << 20);
    size_t used = 0;
    struct archive* a = archive_write_new();
    archive_write_set_format_7zip(a);
    archive_write_open_memory(a, out.data(), out.size(), &used);
    for (const auto& [name, data] : members) {
        struct archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, name.c_str());
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
        archive_write_header(a, e);
        archive_write_data(a, data.data(), data.size());
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
    out.resize(used);
    return out;
}

// The archive written to a temporary file, removed at exit.
struct TempArchive {
    std::string path;
    TempArchive(const char* suffix, const Bytes& bytes) {
        char name[] = "/tmp/archive_bench_XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) ::close(fd);
        path = std::string(name) + suffix;
        std::rename(name, path.c_str());
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
    ~TempArchive() { std::remove(path.c_str()); }
};

void openAndLoad(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        VGM::VGMX vgm;
        if (!vgm.openFile(path) || !vgm.loadMember(0).playable) {
            state.SkipWithError(("the archive did not open: " + vgm.logText()).c_str());
            break;
        }
        benchmark::DoNotOptimize(vgm.textBuffer().data());
    }
}

void BM_OpenZipOf5000TextMembers(benchmark::State& state) {
    Members members;
    for (size_t i = 0; i < 5000; ++i)
        members.push_back({"notes" + std::to_string(i) + ".txt", text(120, i)});
    members.push_back({"song.vgm", song()});
    static const TempArchive zip(".zip", storedZip(members));
    openAndLoad(state, zip.path);
    state.counters["members"] = static_cast<double>(members.size());
}
BENCHMARK(BM_OpenZipOf5000TextMembers)->Unit(benchmark::kMillisecond);

void BM_OpenSolid7zOf200TextMembers(benchmark::State& state) {
    Members members;
    for (size_t i = 0; i < 200; ++i)
        members.push_back({"notes" + std::to_string(i) + ".txt", text(64 << 10, i)});
    members.push_back({"song.vgm", song()});
    static const TempArchive sevenZip(".7z", solidSevenZip(members));
    openAndLoad(state, sevenZip.path);
    state.counters["members"] = static_cast<double>(members.size());
}
BENCHMARK(BM_OpenSolid7zOf200TextMembers)->Unit(benchmark::kMillisecond);

} // namespace
