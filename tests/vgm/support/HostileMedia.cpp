#include "vgm/support/HostileMedia.h"

#include "vgm/VGMX.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vgm/support/YmFixtures.h"

#include <archive.h>
#include <archive_entry.h>

#include <utility>

namespace vgmtest {

namespace {

constexpr uint64_t kMB = 1ull << 20;

// A VGM of `head`'s header and clocks with `body` as its commands.
Bytes vgmWith(const VgmFile& head, const Bytes& body) {
    Bytes out = head.bytes();
    out.insert(out.end(), body.begin(), body.end());
    out.push_back(0x66);
    const uint32_t eof = uint32_t(out.size() - 4);
    for (int i = 0; i < 4; ++i) out[4 + i] = uint8_t(eof >> (8 * i));
    return out;
}

void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// 0x67 0x66 tt ssssssss payload.
void block(Bytes& body, uint8_t type, const Bytes& payload) {
    body.insert(body.end(), {0x67, 0x66, type});
    put32(body, uint32_t(payload.size()));
    body.insert(body.end(), payload.begin(), payload.end());
}

VgmFile console() {
    VgmFile v;
    v.set32(0x0C, 3579545).set32(0x2C, 7670453).set32(0x84, 1789772);
    return v;
}

// NES delta-modulation blocks: sixteen bytes of samples per byte.
Bytes dpcmBlocks(uint64_t size) {
    Bytes body;
    while (body.size() < size) block(body, 0x07, Bytes(kMB, 0x5A));
    return vgmWith(console(), body);
}

// Bit-packed blocks of one bit per 16-bit sample: sixteen bytes per byte.
Bytes bitPackedBlocks(uint64_t size) {
    Bytes body;
    while (body.size() < size) {
        Bytes b = {0x00};
        put32(b, uint32_t(kMB * 8 * 2)); // unpacked bytes: 8 M samples of 16 bits
        b.insert(b.end(), {16, 1, 0, 0, 0});
        b.resize(b.size() + kMB, 0xA5);
        block(body, 0x40, b);
    }
    return vgmWith(console(), body);
}

// A PCM bank, then five-byte seeks to ever smaller offsets.
Bytes pcmSeeks(uint64_t size) {
    Bytes body;
    block(body, 0x00, Bytes(4096, 0x80));
    for (uint32_t offset = 0xFFFFFFFF; body.size() < size; --offset) {
        body.push_back(0xE0);
        put32(body, offset);
    }
    return vgmWith(console(), body);
}

// Two-byte PSG writes, one command each, packed: a small .vgz.
Bytes psgWrites(uint64_t size) {
    Bytes body;
    body.reserve(size + 2);
    while (body.size() < size) body.insert(body.end(), {0x50, uint8_t(0x80 | (body.size() & 15))});
    return gzipBytes(vgmWith(console(), body), "psg.vgm");
}

// A DAC-heavy song, accepted: a PCM bank and one-byte bank writes (0x80-0x8F),
// a key write now and then, a seek back to the bank's start when it runs out.
Bytes pcmBankWrites(uint64_t size) {
    Bytes bank(64 * 1024);
    for (size_t i = 0; i < bank.size(); ++i) bank[i] = uint8_t(0x80 + (i * 7 % 61) - 30);
    Bytes body;
    body.reserve(size + 16);
    block(body, 0x00, bank);
    body.insert(body.end(), {0x52, 0x2B, 0x80});
    uint32_t position = 0;
    for (uint32_t n = 0; body.size() < size; ++n) {
        if (position == bank.size()) {
            body.push_back(0xE0);
            put32(body, 0);
            position = 0;
        }
        if (n % 256 == 0) body.insert(body.end(), {0x52, 0x28, uint8_t(n & 0x100 ? 0xF0 : 0)});
        body.push_back(uint8_t(0x80 | (n * 5 % 7)));
        ++position;
    }
    return vgmWith(console(), body);
}

Bytes noise(uint64_t n) {
    Bytes b(n);
    uint32_t x = 12345;
    for (uint8_t& v : b) v = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    return b;
}

// A YM3 song in a stored LHA: one command per register byte.
Bytes ymInLha(uint64_t size) {
    Bytes ym = {'Y', 'M', '3', '!'};
    ym.resize(4 + size / 14 * 14, 0x21);
    return lhaStored({{"big.ym", ym}});
}

Bytes lhaOfManyMembers() {
    std::vector<std::pair<std::string, Bytes>> members;
    for (int i = 0; i < 70000; ++i) members.push_back({"m" + std::to_string(i), {1}});
    return lhaStored(members);
}

// 129 members of a megabyte of zeros, each trailer telling of one megabyte.
Bytes gzipBomb() {
    const Bytes one = gzipBytes(Bytes(kMB, 0), "");
    Bytes out;
    for (int i = 0; i < 129; ++i) out.insert(out.end(), one.begin(), one.end());
    return out;
}

// Empty members, each a record of the archive's directory, written with
// libarchive, whose directory end tells their true count (zip64).
Bytes zipOfManyMembers() {
    Bytes out(16 * kMB);
    size_t used = 0;
    struct archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_open_memory(a, out.data(), out.size(), &used);
    for (int i = 0; i < 70000; ++i) {
        struct archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, ("m" + std::to_string(i)).c_str());
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_entry_set_size(e, 0);
        archive_write_header(a, e);
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
    out.resize(used);
    return out;
}

HostileFile whole(Bytes b) {
    const uint64_t n = b.size();
    return {std::move(b), n};
}

} // namespace

const std::vector<HostileRow>& hostileRows() {
    static const std::vector<HostileRow> rows = {
        {"DPCM data blocks", "dpcm.vgm", "VGM: the song needs more than",
         [](uint64_t size) { return whole(dpcmBlocks(size)); }},
        {"bit-packed data blocks", "packed.vgm", "VGM: the song needs more than",
         [](uint64_t size) { return whole(bitPackedBlocks(size)); }},
        {"PCM seeks", "seeks.vgm", "VGM: nothing to play",
         [](uint64_t size) { return whole(pcmSeeks(size)); }},
        {"PCM bank writes (accepted)", "dac.vgm", nullptr,
         [](uint64_t size) { return whole(pcmBankWrites(size)); }},
        {"PSG writes in a .vgz", "psg.vgz", "VGM: the song needs more than",
         [](uint64_t size) {
             return HostileFile{psgWrites(size), size + 0x100};
         }},
        {"raw log of noise", "noise.bin", "Raw log: the file is not a register log",
         [](uint64_t size) { return whole(noise(size)); }},
        {"VGMX of zeros", "zeros.vgmx", "VGMX: the file is not a document",
         [](uint64_t size) { return whole(Bytes(size, 0)); }},
        {"YM song in a stored LHA", "big.ym", "YM: the song needs more than",
         [](uint64_t size) { return whole(ymInLha(size)); }},
        {"LHA of 70,000 members", "many.7z", "Archive: the archive lists more than 65535 entries",
         [](uint64_t) { return whole(lhaOfManyMembers()); }},
        {"zip of 70,000 empty members", "many.zip",
         "Archive: the archive lists more than 65535 entries",
         [](uint64_t) { return whole(zipOfManyMembers()); }},
        // Refused before it unpacks past the bound: it may cost the 64 MB only.
        {"gzip bomb", "bomb.vgz", "Gzip: the data unpacks past 128 MB",
         [](uint64_t) {
             return HostileFile{gzipBomb(), 1};
         }},
    };
    return rows;
}

uint64_t statusBytes(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    uint64_t kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, std::strlen(field)) == 0)
            kb = std::strtoull(line + std::strlen(field), nullptr, 10);
    std::fclose(f);
    return kb * 1024;
}

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

bool openInChild(const std::string& path, uint64_t cap, const char* line, OpenCost& cost) {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::close(fds[0]);
        if (cap != 0) {
            const rlim_t limit = statusBytes("VmSize:") + cap;
            const rlimit r{limit, limit};
            ::setrlimit(RLIMIT_AS, &r);
        }
        ::alarm(60);
        OpenCost c;
        const uint64_t before = statusBytes("VmRSS:");
        const double start = cpuSeconds();
        // A child that runs out of its capped space leaves here, never
        // through its caller, which would go on as a second parent.
        try {
            VGM::VGMX vgm;
            c.opened = vgm.openFile(path);
            c.cpu = cpuSeconds() - start;
            c.said = !line || vgm.logText().find(line) != std::string::npos;
            std::snprintf(c.log, sizeof c.log, "%s", vgm.logText().c_str());
        } catch (...) {
            ::_exit(2);
        }
        const uint64_t peak = statusBytes("VmHWM:");
        c.grown = peak > before ? peak - before : 0;
        const bool sent = ::write(fds[1], &c, sizeof c) == ssize_t(sizeof c);
        ::_exit(sent ? 0 : 1);
    }
    ::close(fds[1]);
    const bool got = ::read(fds[0], &cost, sizeof cost) == ssize_t(sizeof cost);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return got;
}

} // namespace vgmtest
