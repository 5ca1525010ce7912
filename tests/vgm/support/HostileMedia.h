// Hostile media files, generated: each multiplies its size in some reader
// (decoded samples, one command per write, seek targets, member records) or
// holds what is not a song at all, and one DAC-heavy song that is accepted.
// A file unpacks to N bytes; opening it, accepted or refused, may cost at
// most 2 N + 64 MB and about a second of CPU per 100 MB. The cost table
// (tests/vgm/MediaCost_test.cpp) checks the bound on small files and the cost
// benchmark (bench/media_cost_bench.cpp) states the figures per row.
#pragma once

#include "vgm/support/VgmFixtures.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vgmtest {

struct HostileFile {
    Bytes bytes;
    uint64_t unpacked = 0; // the size the bound counts from
};

struct HostileRow {
    const char* what;
    const char* name; // file name, by whose extension it is read
    const char* line; // the log line that says why it is refused; null: accepted
    // The file of about `size` unpacked bytes (rows of many members have a
    // fixed count).
    std::function<HostileFile(uint64_t size)> make;
};

const std::vector<HostileRow>& hostileRows();

// What a child that opens one of these files measures of itself: a field of
// /proc/self/status in bytes ("VmHWM:", "VmRSS:", "VmSize:"), and the CPU
// seconds (user and system) it has used.
uint64_t statusBytes(const char* field);
double cpuSeconds();

// What one open in a child reports through its pipe.
struct OpenCost {
    bool opened = false;
    bool said = false;  // the log holds the expected line (or none was expected)
    double cpu = 0.0;   // seconds
    uint64_t grown = 0; // peak resident bytes over those at the start
    char log[512] = {};
};

// Opens `path` the way the player does (VGM::VGMX::openFile) in a child of
// its own, so its peak resident size and CPU time are its own. A `cap` other
// than 0 limits the child's address space to that many bytes over what it
// has at the start; `line` is the log line the open should write (null: any).
// False when the child did not report: it crashed, threw or passed the cap.
bool openInChild(const std::string& path, uint64_t cap, const char* line, OpenCost& cost);

} // namespace vgmtest
