// The render command "morvane-render": the engine host's way to hear the
// engine plug-in without a DAW. It loads "Brevado" as a host does (dlopen, the
// four exports, one instance), sets it up at the given rate and block size,
// plays a note phrase through the event lists, renders through the process
// entry in host-sized blocks and writes a WAV: 32-bit float by default (console
// music peaks above full scale), 16-bit PCM on request with the clipped
// samples counted.
//
//   morvane-render [-o FILE] [--rate HZ] [--block FRAMES] [--phrase TEXT]
//                  [--matrix TEXT] [--load FILE]... [--pcm16] [--plugin FILE]
//                  [--print-data-folder]
//
// Before rendering, a modulation-matrix text goes to the plug-in through its
// modulation-matrix extension, and up to two files (instrument patches or
// media) through its load-file extension, into slots 0 and 1 in order.
//
// Exit status 0 when the WAV was written, 1 when the plug-in or the output
// failed, 2 for bad arguments; every failure prints one line on stderr.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "enginehost/NotePhrase.h"

namespace morvane {

struct RenderOptions {
    std::string output = "brevado-render.wav";
    std::string plugin; // empty: Brevado.so beside the program
    std::string phrase = kDefaultPhrase;
    std::string matrix;             // empty: none
    std::vector<std::string> loads; // slot 0, then slot 1
    uint32_t rate = 48000;
    uint32_t block = 256;
    bool pcm16 = false;
    bool printDataFolder = false;
    bool help = false;

    static constexpr uint32_t kMinRate = 8000;
    static constexpr uint32_t kMaxRate = 384000;
    static constexpr uint32_t kMaxBlock = 4096;
    static constexpr size_t kMaxLoads = 2;
    static constexpr size_t kMaxPath = 511;     // the load-file record's path field
    static constexpr size_t kMaxMatrix = 32255; // the matrix record's text field
    // Silence rendered after the phrase for the release.
    static constexpr double kTailSeconds = 0.5;
    // Renders longer than this print progress lines.
    static constexpr double kProgressSeconds = 30.0;
};

class RenderCommand {
public:
    RenderCommand(std::ostream& out, std::ostream& err) : out(out), err(err) {}

    // Reads the arguments (argv[0] is the program); false with `error` set.
    static bool parseArguments(int argc, const char* const* argv, RenderOptions& options,
                               std::string& error);
    // Parses and runs; the exit status.
    int run(int argc, const char* const* argv);
    // Renders with the given options; the exit status.
    int render(const RenderOptions& options);

private:
    int fail(const std::string& message, int status = 1);

    std::ostream& out;
    std::ostream& err;
};

} // namespace morvane
