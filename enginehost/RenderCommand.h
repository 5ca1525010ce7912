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
//                  [--media FILE [--member N] [--seconds S] [--loops N]]
//                  [--print-data-folder]
//
// Before rendering, a modulation-matrix text goes to the plug-in through its
// modulation-matrix extension, and up to two instrument patches through its
// load-file extension, into slots 0 and 1 in order (a media file given there
// is refused with a pointer to --media).
//
// A media file (VGM, VGZ, or an archive whose song member N, counted from 1,
// is played) goes in through the load-file extension after them; the
// transport selects the member and plays it, looping for ever, for the
// track's length with its loop played `loops` times (or for the given
// seconds). The load names the member, so the plug-in opens the archive at
// it; the track's length, chips and loop come from what the plug-in reports
// after the load (its name text 0): the file is read once, by the plug-in.
// Without --phrase no notes are played with it.
//
// The plug-in's reported latency (opcode 18) is taken out of the WAV: its
// frame 0 is the phrase's (and the transport's) start.
//
// Before a media render one line says what was loaded. The WAV is written
// beside its target under a temporary name and renamed into place when it is
// complete (see RenderFiles.h).
//
// Exit status 0 when the WAV was written, 1 when the plug-in, an input file or
// the output failed, 2 for bad arguments; every failure prints one line on
// stderr that says why.
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
    bool phraseGiven = false;
    std::string media;    // empty: none
    uint32_t member = 1;  // song member of an archive, from 1
    double seconds = 0.0; // 0: the track's length
    uint32_t loops = 1;   // passes through the track's loop

    static constexpr uint32_t kMinRate = 8000;
    static constexpr uint32_t kMaxRate = 384000;
    static constexpr uint32_t kMaxBlock = 4096;
    static constexpr size_t kMaxLoads = 2;
    static constexpr size_t kMaxPath = 511;     // the load-file record's path field
    static constexpr size_t kMaxMatrix = 32255; // the matrix record's text field
    // Silence rendered after the phrase for the release.
    static constexpr double kTailSeconds = 0.5;
    // Renders longer than this print progress lines (media renders always do).
    static constexpr double kProgressSeconds = 30.0;
    static constexpr uint32_t kMaxMember = 65535;
    static constexpr uint32_t kMaxLoops = 100;
    static constexpr double kMaxSeconds = 86400.0;
};

// What a media load loaded: the play time of the chosen song member (its
// length with the loop played `loops` times) and one line for the user
// (format, chips with their clocks, length, loop).
struct MediaDescription {
    double seconds = 0.0;
    std::string line;
};

// Describes song member `member` (from 0) of the media file at `path` from
// `info`, what the plug-in reported after opening it (name text 0: lines of a
// key and a value; see ChipController::mediaInfoText). False with `error` set
// when the file holds no such playable track.
bool describeMedia(const std::string& path, const std::string& info, uint64_t member,
                   uint32_t loops, MediaDescription& d, std::string& error);

// The media reader's reason for refusing the file at `path`, from the
// plug-in's report `info` (or the format it expected when it gave none).
std::string mediaRefusal(const std::string& path, const std::string& info);

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
