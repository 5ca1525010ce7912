// The files the render command reads and writes, as a user names them on its
// command line. Inputs are looked at before the engine plug-in sees them, so
// a missing file, a folder, a FIFO or a kind of file the instrument does not
// read is named as such (and nothing that can block is ever opened). The WAV
// is written to a temporary file beside the target and renamed into place
// only when it is complete: an interrupted or failed render leaves the
// previous file as it was and no temporary behind.
#pragma once

#include <cstdint>
#include <string>

namespace morvane {

enum class InputKind { Patch, Media, Unknown };

// The kind of a file by its extension (compared in lower case).
InputKind inputKind(const std::string& path);

// Why the file at `path` cannot be read: empty when it is a non-empty regular file.
std::string inputProblem(const std::string& path);

// Why a patch file cannot be an instrument patch, from its extension and
// size: empty when it may be one.
std::string patchProblem(const std::string& path);

// What the instrument reads, for messages.
extern const char* const kPatchKinds;
extern const char* const kMediaKinds;

// The WAV being written: a temporary file beside the target, made with the
// permissions of a new file (0666 less the umask), removed unless committed,
// also when the process is stopped by SIGINT, SIGTERM, SIGHUP or SIGPIPE
// while it exists. A signal ignored when the temporary is made (SIGHUP under
// nohup) stays ignored.
class WavOutput {
public:
    WavOutput() = default;
    WavOutput(const WavOutput&) = delete;
    WavOutput& operator=(const WavOutput&) = delete;
    ~WavOutput();

    // Creates the temporary beside `target`; false with `error` set when the
    // target is not a regular file (or a new one) or its folder cannot take it.
    bool open(const std::string& target, std::string& error);
    const std::string& path() const { return temporary; }
    // Renames the temporary to the target.
    bool commit(std::string& error);
    // Removes the temporary.
    void discard();

private:
    std::string target;
    std::string temporary;
};

} // namespace morvane
