// What a media file costs to open is bounded by what it holds: a file that
// unpacks to N bytes, accepted or refused, takes at most 2 N + 64 MB of
// memory and about a second of CPU per 100 MB. Each hostile file of the table
// multiplies its size in some reader (decoded samples, one command per write,
// seek targets, member records); the files are small, the ratio is what
// shows. A DAC-heavy song of one-byte PCM bank writes is accepted within the
// same bound. Each is opened in a child process whose address space is capped at
// the bound over what it already has, whose peak resident size is checked
// too, and whose CPU time is measured. Under the sanitizers, which reserve far more address
// space and keep freed memory in quarantine, only the refusal and the CPU
// time (with room for their slower code) are checked.
#include "vgm/VGMX.h"

#include "vantor/support/PrivateHome.h"
#include "vgm/support/VgmFixtures.h"
#include "vgm/support/YmFixtures.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

using vgmtest::Bytes;
using vgmtest::VgmFile;

namespace {

constexpr uint64_t kMB = 1ull << 20;
constexpr uint64_t kSize = 16 * kMB; // the unpacked size of most rows
constexpr uint64_t kAllowance = 64 * kMB;
constexpr uint64_t kSlack = 16 * kMB; // malloc arenas, the log, the test's own work
// About a second per 100 MB on a quiet machine; the check leaves room for a
// busy one, where touching fresh memory costs several times more, and still
// catches a reader that multiplies its input.
constexpr double kCpuPerByte = 4.0 / (100.0 * kMB);
constexpr double kCpuFixed = 1.0; // seconds any file may take (building the fixed allowance)

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
constexpr double kCpuScale = 5.0;
#else
constexpr bool kSanitized = false;
constexpr double kCpuScale = 1.0;
#endif

// A status field of /proc/self/status in bytes ("VmHWM:", "VmRSS:", "VmSize:").
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

// What the child reports through its pipe.
struct Cost {
    bool opened = false;
    bool said = false; // the log holds the expected line
    double cpu = 0.0;
    uint64_t grown = 0; // peak resident bytes over those at the start
    char log[512] = {};
};

// Opens `file` in a child under the memory bound for `unpacked` bytes; false
// when the child did not report (it crashed, or ran out of the capped space).
bool openInChild(const std::string& file, uint64_t unpacked, const char* line, Cost& cost) {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::close(fds[0]);
        const uint64_t bound = 2 * unpacked + kAllowance + kSlack;
        if (!kSanitized) {
            const rlim_t cap = statusBytes("VmSize:") + bound;
            const rlimit limit{cap, cap};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        ::alarm(60);
        Cost c;
        const uint64_t before = statusBytes("VmRSS:");
        const double start = cpuSeconds();
        // A child that runs out of its capped space leaves here, never
        // through the test runner, which would go on as a second parent.
        try {
            VGM::VGMX vgm;
            c.opened = vgm.openFile(file);
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
Bytes dpcmBlocks() {
    Bytes body;
    while (body.size() < kSize) block(body, 0x07, Bytes(kMB, 0x5A));
    return vgmWith(console(), body);
}

// Bit-packed blocks of one bit per 16-bit sample: sixteen bytes per byte.
Bytes bitPackedBlocks() {
    Bytes body;
    while (body.size() < kSize) {
        Bytes b = {0x00};
        put32(b, uint32_t(kMB * 8 * 2)); // unpacked bytes: 8 M samples of 16 bits
        b.insert(b.end(), {16, 1, 0, 0, 0});
        b.resize(b.size() + kMB, 0xA5);
        block(body, 0x40, b);
    }
    return vgmWith(console(), body);
}

// A PCM bank, then five-byte seeks to ever smaller offsets.
Bytes pcmSeeks() {
    Bytes body;
    block(body, 0x00, Bytes(4096, 0x80));
    for (uint32_t offset = 0xFFFFFFFF; body.size() < kSize; --offset) {
        body.push_back(0xE0);
        put32(body, offset);
    }
    return vgmWith(console(), body);
}

// Two-byte PSG writes, one command each, packed: a small .vgz.
Bytes psgWrites() {
    Bytes body;
    body.reserve(kSize + 2);
    while (body.size() < kSize) body.insert(body.end(), {0x50, uint8_t(0x80 | (body.size() & 15))});
    return vgmtest::gzipBytes(vgmWith(console(), body), "psg.vgm");
}

// A DAC-heavy song, accepted: a PCM bank and one-byte bank writes (0x80-0x8F),
// a key write now and then, a seek back to the bank's start when it runs out.
Bytes pcmBankWrites() {
    Bytes bank(64 * 1024);
    for (size_t i = 0; i < bank.size(); ++i) bank[i] = uint8_t(0x80 + (i * 7 % 61) - 30);
    Bytes body;
    body.reserve(kSize + 16);
    block(body, 0x00, bank);
    body.insert(body.end(), {0x52, 0x2B, 0x80});
    uint32_t position = 0;
    for (uint32_t n = 0; body.size() < kSize; ++n) {
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
Bytes ymInLha() {
    Bytes ym = {'Y', 'M', '3', '!'};
    ym.resize(4 + kSize / 14 * 14, 0x21);
    return vgmtest::lhaStored({{"big.ym", ym}});
}

Bytes lhaOfManyMembers() {
    std::vector<std::pair<std::string, Bytes>> members;
    for (int i = 0; i < 70000; ++i) members.push_back({"m" + std::to_string(i), {1}});
    return vgmtest::lhaStored(members);
}

// 129 members of a megabyte of zeros, each trailer telling of one megabyte.
Bytes gzipBomb() {
    const Bytes one = vgmtest::gzipBytes(Bytes(kMB, 0), "");
    Bytes out;
    for (int i = 0; i < 129; ++i) out.insert(out.end(), one.begin(), one.end());
    return out;
}

class MediaCostTest : public testhome::Scratch {};

TEST_F(MediaCostTest, EveryFileCostsAtMostTwiceWhatItUnpacksToPlus64MB) {
    struct Row {
        const char* what;
        const char* name;
        std::function<Bytes()> make;
        uint64_t unpacked; // 0: the file's own size
        const char* line;  // the log line that says why it is refused; null: accepted
    };
    const Row rows[] = {
        {"DPCM data blocks", "dpcm.vgm", dpcmBlocks, 0, "VGM: the song needs more than"},
        {"bit-packed data blocks", "packed.vgm", bitPackedBlocks, 0,
         "VGM: the song needs more than"},
        {"PCM seeks", "seeks.vgm", pcmSeeks, 0, "VGM: nothing to play"},
        {"PCM bank writes (accepted)", "dac.vgm", pcmBankWrites, 0, nullptr},
        {"PSG writes in a .vgz", "psg.vgz", psgWrites, kSize + 0x100,
         "VGM: the song needs more than"},
        {"raw log of noise", "noise.bin", [] { return noise(kSize); }, 0,
         "Raw log: the file is not a register log"},
        {"VGMX of zeros", "zeros.vgmx", [] { return Bytes(kSize, 0); }, 0,
         "VGMX: the file is not a document"},
        {"YM song in a stored LHA", "big.ym", ymInLha, 0, "YM: the song needs more than"},
        {"LHA of 70,000 members", "many.7z", lhaOfManyMembers, 0,
         "Archive: the archive lists more than 65535 entries"},
        {"gzip bomb", "bomb.vgz", gzipBomb, 1, "Gzip: the data unpacks past 128 MB"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const std::string file = path(r.name);
        uint64_t unpacked = r.unpacked;
        {
            const Bytes bytes = r.make();
            vgmtest::writeFile(file, bytes);
            if (!unpacked) unpacked = bytes.size();
        }
        Cost c;
        ASSERT_TRUE(openInChild(file, unpacked, r.line, c))
            << "the child did not report: it crashed or passed the memory bound";
        EXPECT_EQ(c.opened, r.line == nullptr) << c.log;
        EXPECT_TRUE(c.said) << c.log;
        if (!kSanitized) {
            EXPECT_LE(c.grown, 2 * unpacked + kAllowance) << c.grown / kMB << " MB";
        }
        EXPECT_LE(c.cpu, kCpuScale * (kCpuFixed + double(unpacked) * kCpuPerByte)) << c.cpu << " s";
        std::remove(file.c_str());
    }
}

} // namespace
