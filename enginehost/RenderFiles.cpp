// The render command's input checks and its WAV output (see RenderFiles.h).
#include "enginehost/RenderFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <random>

#include "vantor/PlatformTools.h"
#include "vantor/PlatformToolsFiles.h"

namespace morvane {

namespace {

struct PatchKind {
    const char* extension;
    const char* name;
    uint64_t size1, size2; // the sizes the instrument reads; 0: any
};
constexpr PatchKind kPatchFormats[] = {
    {"tfi", "a TFI patch", 42, 42},   {"dmp", "a DMP patch", 49, 51},
    {"y12", "a Y12 patch", 128, 128}, {"opm", "an OPM text", 0, 0},
    {"morvanep", "a morvanep patch", 0, 0},
};
constexpr const char* kMediaExtensions[] = {"vgm", "vgz", "gz",  "vgmx",  "vgx", "ym",
                                            "dro", "bin", "zip", "7z", "vgm7z", "rar"};

std::string extensionOf(const std::string& path) {
    return lowercase(getFileExtension(path));
}

// The one temporary file a signal may have to remove, and the handlers it
// replaced. A signal the process was started with ignored (SIGHUP under
// nohup, say) is left ignored.
char pendingTemporary[4096];
volatile sig_atomic_t temporaryArmed = 0;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr size_t kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];
struct sigaction previousActions[kStopSignalCount];
bool replaced[kStopSignalCount];

void removeTemporaryAndStop(int sig) {
    if (temporaryArmed) ::unlink(pendingTemporary);
    temporaryArmed = 0;
    // The action the signal had before takes it, once this handler returns.
    for (size_t i = 0; i < kStopSignalCount; ++i)
        if (kStopSignals[i] == sig) ::sigaction(sig, &previousActions[i], nullptr);
    ::raise(sig);
}

void armSignals(const std::string& path) {
    std::snprintf(pendingTemporary, sizeof pendingTemporary, "%s", path.c_str());
    temporaryArmed = 1;
    struct sigaction action = {};
    action.sa_handler = removeTemporaryAndStop;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kStopSignalCount; ++i) {
        replaced[i] = false;
        if (::sigaction(kStopSignals[i], nullptr, &previousActions[i]) != 0 ||
            previousActions[i].sa_handler == SIG_IGN)
            continue;
        replaced[i] = ::sigaction(kStopSignals[i], &action, nullptr) == 0;
    }
}

void disarmSignals() {
    temporaryArmed = 0;
    for (size_t i = 0; i < kStopSignalCount; ++i)
        if (replaced[i]) ::sigaction(kStopSignals[i], &previousActions[i], nullptr);
    std::fill(std::begin(replaced), std::end(replaced), false);
}

// Creates a file named `pattern` with its last six characters (XXXXXX)
// replaced, as mkstemp does, but with the permissions a newly created file
// gets (0666 less the umask, applied by the kernel). -1 with errno set.
int createUniqueFile(std::string& pattern) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    if (pattern.size() < 6) {
        errno = EINVAL;
        return -1;
    }
    const size_t at = pattern.size() - 6;
    std::random_device device;
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (size_t i = at; i < pattern.size(); ++i) pattern[i] = kLetters[pick(device)];
        const int fd = ::open(pattern.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

} // namespace

const char* const kPatchKinds = "instrument patches are .tfi, .dmp, .y12 or .opm files";
const char* const kMediaKinds =
    "media files are .vgm, .vgz, .gz, .vgmx, .ym, .dro, a raw register log .bin, or a .zip or "
    ".7z archive of them";

InputKind inputKind(const std::string& path) {
    const std::string ext = extensionOf(path);
    for (const PatchKind& k : kPatchFormats)
        if (ext == k.extension) return InputKind::Patch;
    for (const char* e : kMediaExtensions)
        if (ext == e) return InputKind::Media;
    return InputKind::Unknown;
}

std::string inputProblem(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "no such file" : std::string(std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return "a folder, not a file";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (st.st_size == 0) return "the file is empty";
    return {};
}

std::string patchProblem(const std::string& path) {
    const std::string ext = extensionOf(path);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return {};
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (ext == "morvanep")
        return "a morvanep patch is read into instruments C to P only, and --load fills "
               "instruments A and B";
    for (const PatchKind& k : kPatchFormats) {
        if (ext != k.extension || k.size1 == 0 || size == k.size1 || size == k.size2) continue;
        std::string sizes = std::to_string(k.size1);
        if (k.size2 != k.size1) sizes += " or " + std::to_string(k.size2);
        return std::string(k.name) + " is " + sizes + " bytes, this file has " +
               std::to_string(size);
    }
    return {};
}

WavOutput::~WavOutput() { discard(); }

bool WavOutput::open(const std::string& path, std::string& error) {
    discard();
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? "a folder, not a file"
                                    : "not a regular file (the WAV is written to a file)";
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    const int fd = createUniqueFile(pattern);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    ::close(fd);
    target = path;
    temporary = pattern;
    armSignals(temporary);
    return true;
}

bool WavOutput::commit(std::string& error) {
    if (temporary.empty()) return false;
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        error = std::strerror(errno);
        discard();
        return false;
    }
    disarmSignals();
    temporary.clear();
    return true;
}

void WavOutput::discard() {
    if (temporary.empty()) return;
    ::unlink(temporary.c_str());
    disarmSignals();
    temporary.clear();
}

} // namespace morvane
