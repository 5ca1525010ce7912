// The render command: arguments, the host's drive of one plug-in object, and
// the WAV.
#include "enginehost/RenderCommand.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "engine-support/WaveFileWriter.h"
#include "enginehost/EnginePluginInstance.h"
#include "enginehost/InstallLayout.h"
#include "enginehost/RenderFiles.h"

using namespace vantor::EnginePluginSDK;

namespace morvane {

namespace {

constexpr const char* kUsage =
    "usage: morvane-render [-o FILE] [--rate HZ] [--block FRAMES] [--phrase TEXT]\n"
    "                      [--matrix TEXT] [--load FILE]... [--pcm16] [--plugin FILE]\n"
    "                      [--media FILE [--member N] [--seconds S] [--loops N]]\n"
    "                      [--print-data-folder]\n"
    "  -o, --output FILE    the WAV to write (default brevado-render.wav)\n"
    "  --rate HZ            sample rate, 8000-384000 (default 48000)\n"
    "  --block FRAMES       host block size, 1-4096 (default 256)\n"
    "  --phrase TEXT        notes NOTE[:SECONDS], e.g. \"C4 E4:0.5 r G4\"\n"
    "  --matrix TEXT        a modulation matrix, e.g. \"SOURCE=CC1;DESTINATION=L01 DETUNE\"\n"
    "  --load FILE          an instrument patch (TFI, DMP, Y12, OPM); slot 0, then slot 1\n"
    "  --pcm16              16-bit PCM instead of 32-bit float; clipped samples are counted\n"
    "  --plugin FILE        the engine plug-in (default Brevado.so beside this program)\n"
    "  --media FILE         play a VGM, VGZ, VGMX, YM, DRO, raw log, zip or 7z through the transport\n"
    "  --member N           the archive's song member N, from 1 (default 1)\n"
    "  --seconds S          play S seconds (default the track's length)\n"
    "  --loops N            play the track's loop N times, 1-100 (default 1)\n"
    "  --print-data-folder  print the product folder the install uses and stop\n";

// A whole decimal number within [low, high].
bool readCount(const char* text, uint32_t low, uint32_t high, uint32_t& value) {
    if (!text || !*text) return false;
    for (const char* p = text; *p; ++p)
        if (*p < '0' || *p > '9') return false;
    errno = 0;
    const unsigned long long v = std::strtoull(text, nullptr, 10);
    if (errno != 0 || v < low || v > high) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

// A decimal number of seconds within (0, high].
bool readSeconds(const char* text, double high, double& value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !(v > 0.0) || v > high) return false;
    value = v;
    return true;
}

// Transport ids of the plug-in, sent as parameter events 384 + id.
enum : int32_t { kTransportPlay = 2, kTransportSelect = 4, kTransportLoopForever = 19 };

vantor::HDMIDIEvent transportEvent(int32_t id, float value) {
    vantor::HDMIDIEvent e = {};
    e.kind = 176;
    e.id = 384 + id;
    e.value = value;
    e.tuning = std::numeric_limits<float>::infinity();
    return e;
}

// Every note gives two events, so a whole phrase fits one block's list.
static_assert(2 * NotePhrase::kMaxNotes <= vantor::kEventListCapacity);

// The most sample bytes a WAV's 32-bit sizes can describe, with room for the header.
constexpr uint64_t kMaxWavDataBytes = 0xFFFFFFFFull - 1024;

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The velocity of every note of a phrase, on the MIDI scale.
constexpr float kPhraseVelocity = 100.0f;

// One event of the phrase at an absolute frame.
struct TimedEvent {
    uint64_t frame;
    vantor::HDMIDIEvent event;
};

vantor::HDMIDIEvent noteEvent(int32_t kind, int key, int32_t noteId, float velocity) {
    vantor::HDMIDIEvent e = {};
    e.kind = kind;
    e.id = key;
    e.value = velocity;
    e.noteId = noteId;
    return e;
}

// Note-on and note-off events of the phrase, in time order; the phrase's end.
uint64_t phraseEvents(const NotePhrase& phrase, double rate, std::vector<TimedEvent>& events) {
    double at = 0.0;
    int32_t noteId = 0;
    for (const PhraseNote& n : phrase.notes()) {
        const uint64_t start = static_cast<uint64_t>(std::llround(at * rate));
        at += n.seconds;
        const uint64_t end = static_cast<uint64_t>(std::llround(at * rate));
        if (n.key < 0 || end <= start) continue;
        // The engine plug-in takes note velocities on the MIDI scale 0-127 (the
        // engine host converts a VST3 host's 0-1 before it hands them on).
        events.push_back({start, noteEvent(912, n.key, noteId, kPhraseVelocity)});
        events.push_back({end, noteEvent(1152, n.key, noteId, 0.0f)});
        ++noteId;
    }
    // A note-off and the next note-on on one frame: the off goes first.
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedEvent& x, const TimedEvent& y) { return x.frame < y.frame; });
    return static_cast<uint64_t>(std::llround(at * rate));
}

// One extension command (opcode 20); the plug-in's answer.
int32_t extension(EnginePluginInstance& instance, void* record, uint64_t size, uint64_t action) {
    ExtensionCommand command = {};
    command.record = record;
    command.size = size;
    command.action = action;
    int32_t result = -1;
    instance.dispatch(PLUGIN_OP_EXTENSION, &command, &result);
    return result;
}

} // namespace

bool RenderCommand::parseArguments(int argc, const char* const* argv, RenderOptions& options,
                                   std::string& error) {
    std::string mediaOption; // a media option given, for the check below
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char*& v) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            v = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--pcm16") {
            options.pcm16 = true;
        } else if (arg == "--print-data-folder") {
            options.printDataFolder = true;
        } else if (arg == "-o" || arg == "--output") {
            if (!value(v)) return false;
            options.output = v;
        } else if (arg == "--plugin") {
            if (!value(v)) return false;
            options.plugin = v;
        } else if (arg == "--phrase") {
            if (!value(v)) return false;
            options.phrase = v;
            options.phraseGiven = true;
        } else if (arg == "--media") {
            if (!value(v)) return false;
            if (!*v || std::strlen(v) > RenderOptions::kMaxPath) {
                error = std::string("bad media path \"") + v + "\" (1-511 characters)";
                return false;
            }
            options.media = v;
        } else if (arg == "--member") {
            if (!value(v)) return false;
            if (!readCount(v, 1, RenderOptions::kMaxMember, options.member)) {
                error = std::string("bad member number \"") + v + "\" (1-65535)";
                return false;
            }
            mediaOption = arg;
        } else if (arg == "--seconds") {
            if (!value(v)) return false;
            if (!readSeconds(v, RenderOptions::kMaxSeconds, options.seconds)) {
                error = std::string("bad play time \"") + v + "\" (above 0, at most 86400 s)";
                return false;
            }
            mediaOption = arg;
        } else if (arg == "--loops") {
            if (!value(v)) return false;
            if (!readCount(v, 1, RenderOptions::kMaxLoops, options.loops)) {
                error = std::string("bad loop count \"") + v + "\" (1-100)";
                return false;
            }
            mediaOption = arg;
        } else if (arg == "--matrix") {
            if (!value(v)) return false;
            options.matrix = v;
            if (options.matrix.size() > RenderOptions::kMaxMatrix) {
                error = "modulation matrix longer than 32255 characters";
                return false;
            }
        } else if (arg == "--load") {
            if (!value(v)) return false;
            if (options.loads.size() >= RenderOptions::kMaxLoads) {
                error = "at most two --load files";
                return false;
            }
            if (!*v || std::strlen(v) > RenderOptions::kMaxPath) {
                error = std::string("bad file path \"") + v + "\" (1-511 characters)";
                return false;
            }
            options.loads.push_back(v);
        } else if (arg == "--rate") {
            if (!value(v)) return false;
            if (!readCount(v, RenderOptions::kMinRate, RenderOptions::kMaxRate, options.rate)) {
                error = std::string("bad sample rate \"") + v + "\" (8000-384000 Hz)";
                return false;
            }
        } else if (arg == "--block") {
            if (!value(v)) return false;
            if (!readCount(v, 1, RenderOptions::kMaxBlock, options.block)) {
                error = std::string("bad block size \"") + v + "\" (1-4096 frames)";
                return false;
            }
        } else {
            error = "unknown argument \"" + arg + "\"";
            return false;
        }
    }
    if (!mediaOption.empty() && options.media.empty()) {
        error = mediaOption + " needs --media";
        return false;
    }
    if (options.output.empty()) {
        error = "empty output path";
        return false;
    }
    return true;
}

int RenderCommand::fail(const std::string& message, int status) {
    err << "morvane-render: " << message << "\n";
    return status;
}

int RenderCommand::run(int argc, const char* const* argv) {
    RenderOptions options;
    std::string error;
    if (!parseArguments(argc, argv, options, error))
        return fail(error + "; see morvane-render --help", 2);
    if (options.help) {
        out << kUsage;
        return 0;
    }
    if (options.printDataFolder) {
        out << productDataFolder() << "\n";
        return 0;
    }
    return render(options);
}

int RenderCommand::render(const RenderOptions& options) {
    std::string error;
    NotePhrase phrase;
    const bool media = !options.media.empty();
    // With media, notes play only when a phrase was asked for.
    if ((!media || options.phraseGiven) && !phrase.parse(options.phrase, error))
        return fail(error, 2);

    // The files named on the command line, before anything is loaded.
    for (const std::string& path : options.loads) {
        if (inputKind(path) == InputKind::Media)
            return fail(path + " is a media file: play it with --media " + path, 2);
        std::string why = inputProblem(path);
        if (why.empty() && inputKind(path) == InputKind::Unknown)
            why = std::string("a kind of file the instrument does not read (") + kPatchKinds +
                  "; " + kMediaKinds + ")";
        if (why.empty()) why = patchProblem(path);
        if (!why.empty()) return fail("could not load " + path + ": " + why);
    }
    if (media) {
        std::string why = inputProblem(options.media);
        if (why.empty() && inputKind(options.media) != InputKind::Media)
            why = std::string("not a media file the instrument plays (") + kMediaKinds + ")";
        if (!why.empty()) return fail("could not load " + options.media + ": " + why);
    }

    // The plug-in, as a host loads it.
    const std::string pluginPath = options.plugin.empty() ? brevadoBesideHost() : options.plugin;
    EnginePluginLibrary library;
    if (!library.open(pluginPath, error)) return fail(error);
    if (library.pluginCount() < 1)
        return fail("the engine plug-in " + pluginPath + " holds no plug-in");
    PluginInfo info;
    if (!library.readInfo(0, info)) return fail("the engine plug-in refused to describe plug-in 0");
    // Extension records stay attached to the plug-in object: they outlive it.
    auto matrixRecord = std::make_unique<TextRecord>();
    auto loadRecord = std::make_unique<LoadFileRecord>();
    auto mediaInfoRecord = std::make_unique<TextRecord>(); // name text 0: what media loaded
    EnginePluginInstance instance(library);
    if (!instance.create(info.identifier))
        return fail(std::string("the engine plug-in refused to create \"") + info.identifier +
                    "\"");
    const uint32_t channels = instance.outputCount();
    if (channels < 1 || channels > 8)
        return fail("the engine plug-in reports " + std::to_string(channels) + " output channels");
    instance.setProcessing(options.rate, options.block);
    const std::string profiles = folderOf(pluginPath) + "/" + kModelProfileFileName;
    const bool haveProfiles = isRegularFile(profiles);
    if (!haveProfiles)
        err << "morvane-render: no model profiles at " << profiles
            << ": the instrument plays with its built-in console model\n";
    if (instance.activate(haveProfiles ? profiles.c_str() : nullptr, 0) == 0)
        return fail("the engine plug-in did not activate at " + std::to_string(options.rate) +
                    " Hz with blocks of " + std::to_string(options.block) + " frames");

    for (size_t slot = 0; slot < options.loads.size(); ++slot) {
        const std::string& path = options.loads[slot];
        std::memset(loadRecord.get(), 0, sizeof *loadRecord);
        loadRecord->header.id = EXT_LOAD_FILE;
        std::memcpy(loadRecord->path, path.data(), path.size());
        if (extension(instance, loadRecord.get(), slot, 1) != 0)
            return fail("could not load " + path + ": the patch reader refused it");
    }
    if (!options.matrix.empty()) {
        std::memset(matrixRecord.get(), 0, sizeof *matrixRecord);
        matrixRecord->header.id = EXT_MOD_MATRIX;
        const bool attached = extension(instance, matrixRecord.get(), sizeof *matrixRecord, 0) == 1;
        std::memcpy(matrixRecord->text, options.matrix.data(), options.matrix.size());
        if (!attached || extension(instance, matrixRecord.get(), sizeof *matrixRecord, 2) != 1)
            return fail("the engine plug-in refused the modulation matrix");
    }
    double mediaSeconds = 0.0;
    if (media) {
        // The plug-in tells what it opened in name text 0.
        std::memset(mediaInfoRecord.get(), 0, sizeof *mediaInfoRecord);
        mediaInfoRecord->header.id = EXT_NAME_TABLE;
        extension(instance, mediaInfoRecord.get(), 0, 0);
        std::memset(loadRecord.get(), 0, sizeof *loadRecord);
        loadRecord->header.id = EXT_LOAD_FILE;
        loadRecord->firstMember = options.member;
        std::memcpy(loadRecord->path, options.media.data(), options.media.size());
        const bool loaded = extension(instance, loadRecord.get(), 0, 1) == 0;
        const std::string info(mediaInfoRecord->text,
                               strnlen(mediaInfoRecord->text, sizeof mediaInfoRecord->text));
        if (!loaded)
            return fail("could not load " + options.media +
                        ": its reader says: " + mediaRefusal(options.media, info));
        MediaDescription description;
        if (!describeMedia(options.media, info, options.member - 1, options.loops, description,
                           error))
            return fail(error);
        err << "morvane-render: loaded " << options.media << ": " << description.line << "\n";
        mediaSeconds = options.seconds > 0.0 ? options.seconds : description.seconds;
    }

    std::vector<TimedEvent> events;
    const uint64_t phraseEnd = phraseEvents(phrase, options.rate, events);
    uint64_t total = 0;
    if (!media || options.phraseGiven)
        total = phraseEnd + static_cast<uint64_t>(RenderOptions::kTailSeconds * options.rate);
    if (media) {
        // The transport plays the member from the first frame, looping for
        // ever: the render's length decides where it stops.
        events.insert(events.begin(),
                      {{0, transportEvent(kTransportLoopForever, 1.0f)},
                       {0, transportEvent(kTransportSelect, float(options.member - 1))},
                       {0, transportEvent(kTransportPlay, 1.0f)}});
        total = std::max(total, static_cast<uint64_t>(std::llround(mediaSeconds * options.rate)));
    }
    const uint32_t bits = options.pcm16 ? 16 : 32;
    if (total * channels * (bits / 8) > kMaxWavDataBytes)
        return fail(std::string(media ? "the media render" : "the phrase") +
                        " is too long for one WAV file at this rate (4 GB at most)",
                    2);

    // The output, opened only once the plug-in stands: a temporary beside the
    // target until the WAV is complete.
    WavOutput output;
    if (!output.open(options.output, error))
        return fail("cannot write " + options.output + ": " + error);
    vantor::WaveFileWriter writer(output.path());
    if (!writer.isOpen())
        return fail("cannot write " + options.output + ": " + std::strerror(errno));
    auto abandon = [&](const std::string& message) {
        writer.finish();
        output.discard();
        return fail(message);
    };
    if (!writer.beginData(options.rate, channels, bits, options.pcm16 ? 0 : 1))
        return abandon("cannot write " + options.output);

    const uint32_t block = options.block;
    std::vector<std::vector<float>> buffers(channels, std::vector<float>(block));
    std::vector<float*> outputs(channels);
    for (uint32_t c = 0; c < channels; ++c) outputs[c] = buffers[c].data();
    auto in = std::make_unique<EventList>();
    auto outList = std::make_unique<EventList>();
    std::vector<float> interleaved(static_cast<size_t>(block) * channels);
    std::vector<int16_t> pcm(options.pcm16 ? interleaved.size() : 0);
    uint64_t clipped = 0;
    float peak = 0.0f;
    size_t next = 0;
    const bool showProgress = media || total > RenderOptions::kProgressSeconds * options.rate;
    int shownTenth = 0;
    // The plug-in's sound comes `latency` frames after its events: that many
    // frames are rendered past the end and left out at the start, so the WAV
    // keeps time with the phrase and its length.
    const uint64_t latency = instance.latency();
    const uint64_t rendered = total + latency;

    for (uint64_t at = 0; at < rendered; at += block) {
        const uint32_t frames = static_cast<uint32_t>(std::min<uint64_t>(block, rendered - at));
        const uint32_t early =
            at < latency ? static_cast<uint32_t>(std::min<uint64_t>(latency - at, frames)) : 0;
        in->count = 0;
        while (next < events.size() && events[next].frame < at + frames &&
               in->count < vantor::kEventListCapacity) {
            vantor::HDMIDIEvent& e = in->events[in->count++];
            e = events[next].event;
            e.frameOffset = static_cast<int32_t>(events[next].frame - at);
            ++next;
        }
        outList->count = 0;
        TimeRecord time = {};
        time.samplePosition = static_cast<double>(at);
        time.sampleRate = options.rate;
        time.tempo = 120.0;
        time.ppqPosition = static_cast<double>(at) / options.rate * (time.tempo / 60.0);
        time.barStartPpq = std::floor(time.ppqPosition / 4.0) * 4.0;
        instance.process(outputs.data(), static_cast<int32_t>(frames), in.get(), outList.get(),
                         &time);

        const size_t n = static_cast<size_t>(frames - early) * channels;
        for (uint32_t f = early; f < frames; ++f)
            for (uint32_t c = 0; c < channels; ++c) {
                const float s = buffers[c][f];
                interleaved[static_cast<size_t>(f - early) * channels + c] = s;
                if (std::fabs(s) > peak) peak = std::fabs(s);
            }
        bool written;
        if (options.pcm16) {
            for (size_t i = 0; i < n; ++i) {
                const float s = interleaved[i];
                double v = std::isnan(s) ? 0.0 : std::nearbyint(static_cast<double>(s) * 32768.0);
                if (v > 32767.0 || v < -32768.0) {
                    ++clipped;
                    v = std::clamp(v, -32768.0, 32767.0);
                }
                pcm[i] = static_cast<int16_t>(v);
            }
            written = writer.writeData(pcm.data(), n * sizeof(int16_t));
        } else {
            written = writer.writeData(interleaved.data(), n * sizeof(float));
        }
        if (!written)
            return abandon("cannot write " + options.output + ": " + std::strerror(errno));

        if (showProgress && at + frames > latency) {
            const uint64_t done = at + frames - latency;
            const int tenth = static_cast<int>(done * 10 / total);
            if (tenth > shownTenth && tenth < 10) {
                shownTenth = tenth;
                char line[96];
                std::snprintf(line, sizeof line, "%d%% (%.1f of %.1f s)", tenth * 10,
                              static_cast<double>(done) / options.rate,
                              static_cast<double>(total) / options.rate);
                err << "morvane-render: " << line << "\n";
            }
        }
    }
    if (!writer.finish()) return abandon("cannot write " + options.output);
    if (!output.commit(error)) return fail("cannot write " + options.output + ": " + error);

    char summary[160];
    std::snprintf(summary, sizeof summary, "%llu frames, %u channels, %u Hz, %s, peak %.3f",
                  static_cast<unsigned long long>(total), channels, options.rate,
                  options.pcm16 ? "16-bit PCM" : "32-bit float", static_cast<double>(peak));
    out << "morvane-render: wrote " << options.output << " (" << summary << ")\n";
    if (options.pcm16) out << "morvane-render: " << clipped << " clipped samples\n";
    return 0;
}

} // namespace morvane
