// The render command: its arguments and note phrases, and the built command
// run from the build tree (HOME and the XDG folders pointed at a private
// folder) on short phrases, with the WAV read back.
#include "enginehost/NotePhrase.h"
#include "enginehost/RenderCommand.h"
#include "vgm/support/VgmFixtures.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

using morvane::NotePhrase;
using morvane::RenderCommand;
using morvane::RenderOptions;

namespace {

// ---- Arguments and phrases ------------------------------------------------------------

TEST(RenderCommand, ArgumentsWithinTheirBounds) {
    const struct {
        std::vector<const char*> args;
        bool ok;
        uint32_t rate, block;
        bool pcm16;
    } cases[] = {
        {{}, true, 48000, 256, false},
        {{"--rate", "44100", "--block", "64", "--pcm16"}, true, 44100, 64, true},
        {{"--rate", "8000", "--block", "1"}, true, 8000, 1, false},
        {{"--rate", "384000", "--block", "4096"}, true, 384000, 4096, false},
        {{"--rate", "7999"}, false, 0, 0, false},
        {{"--rate", "384001"}, false, 0, 0, false},
        {{"--rate", "48k"}, false, 0, 0, false},
        {{"--rate", "-48000"}, false, 0, 0, false},
        {{"--rate", "99999999999999999999999"}, false, 0, 0, false},
        {{"--rate"}, false, 0, 0, false},
        {{"--block", "0"}, false, 0, 0, false},
        {{"--block", "4097"}, false, 0, 0, false},
        {{"--block", ""}, false, 0, 0, false},
        {{"-o", ""}, false, 0, 0, false},
        {{"--loud"}, false, 0, 0, false},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv = {"morvane-render"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        RenderOptions options;
        std::string error;
        const bool ok = RenderCommand::parseArguments(static_cast<int>(argv.size()), argv.data(),
                                                      options, error);
        std::string line;
        for (const char* a : c.args) line += std::string(a) + " ";
        EXPECT_EQ(ok, c.ok) << line;
        EXPECT_EQ(error.empty(), c.ok) << line << error;
        if (!ok || !c.ok) continue;
        EXPECT_EQ(options.rate, c.rate) << line;
        EXPECT_EQ(options.block, c.block) << line;
        EXPECT_EQ(options.pcm16, c.pcm16) << line;
    }
}

TEST(NotePhrase, KeysFromNamesAndNumbers) {
    const struct {
        const char* text;
        int key;
    } cases[] = {
        {"C4", 60},   {"A4", 69},  {"a4", 69},   {"C#4", 61},  {"Db4", 61},
        {"B3", 59},   {"Cb4", 59}, {"C-1", 0},   {"G9", 127},  {"G#9", -1},
        {"Cb-1", -1}, {"0", 0},    {"127", 127}, {"128", -1},  {"H4", -1},
        {"C", -1},    {"C4x", -1}, {"", -1},     {"1000", -1}, {"C1000", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(NotePhrase::keyFromText(c.text), c.key) << c.text;
}

TEST(NotePhrase, ParsesLengthsAndRefusesBadTokens) {
    NotePhrase phrase;
    std::string error;
    ASSERT_TRUE(phrase.parse("  C4 r:0.5\tE4:1 64 ", error)) << error;
    ASSERT_EQ(phrase.notes().size(), 4u);
    EXPECT_EQ(phrase.notes()[1].key, -1);
    EXPECT_EQ(phrase.notes()[1].seconds, 0.5);
    EXPECT_EQ(phrase.notes()[3].key, 64);
    EXPECT_DOUBLE_EQ(phrase.seconds(), 2.0);
    ASSERT_TRUE(phrase.parse(morvane::kDefaultPhrase, error)) << error;

    std::string many;
    for (size_t i = 0; i <= NotePhrase::kMaxNotes; ++i) many += "C4 ";
    for (const std::string& bad :
         {std::string(""), std::string("   "), std::string("C4:0"), std::string("C4:-1"),
          std::string("C4:11"), std::string("C4:"), std::string("C4:1s"), std::string("C4:nan"),
          std::string("X4"), many}) {
        error.clear();
        EXPECT_FALSE(phrase.parse(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// ---- The command as a process ------------------------------------------------------------

int removeEntry(const char* path, const struct stat*, int type, struct FTW*) {
    return type == FTW_DP ? ::rmdir(path) : ::unlink(path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A render command started with its standard error on a pipe this test
// reads (standard output to /dev/null when asked), in the test's folder.
struct Spawned {
    pid_t pid = -1;
    int errors = -1;
    // What it writes to standard error until `marker` shows (or it closes
    // the pipe); with no marker, everything to the end.
    std::string readUntil(const char* marker) {
        std::string text;
        char buffer[256];
        while (!marker || text.find(marker) == std::string::npos) {
            const ssize_t n = ::read(errors, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, size_t(n));
        }
        return text;
    }
    void closeErrors() {
        if (errors >= 0) ::close(errors);
        errors = -1;
    }
};

Spawned spawnReadingErrors(const std::string& folder, const char* path, const char* const* argv,
                           bool quietOutput) {
    Spawned s;
    int errPipe[2];
    if (::pipe(errPipe) != 0) return s;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quietOutput) posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (posix_spawn(&s.pid, path, &actions, nullptr, const_cast<char**>(argv), environ) != 0)
        s.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(errPipe[1]);
    s.errors = errPipe[0];
    return s;
}

struct Outcome {
    int status = -1;
    std::string out, err;
};

// A private folder for HOME, XDG_* and TMPDIR of the command.
class RenderRun : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "sx-render-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        for (const char* d : {"/home", "/data", "/config", "/tmp"})
            ASSERT_EQ(::mkdir((root + d).c_str(), 0700), 0);
    }
    void TearDown() override { ::nftw(root.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS); }

    // Runs the built command with `args`; stdout and stderr are captured.
    Outcome run(const std::vector<std::string>& args) {
        const std::string program = SX_PRODUCT_DIR "/morvane-render";
        std::vector<std::string> env = {"HOME=" + root + "/home", "XDG_DATA_HOME=" + root + "/data",
                                        "XDG_CONFIG_HOME=" + root + "/config",
                                        "TMPDIR=" + root + "/tmp"};
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("HOME=", 0) && entry.rfind("XDG_", 0) && entry.rfind("TMPDIR=", 0))
                env.push_back(entry);
        }
        std::vector<char*> argv = {const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);

        const std::string outPath = root + "/stdout", errPath = root + "/stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addchdir_np(&actions, root.c_str());
        Outcome result;
        pid_t pid = 0;
        const int spawned =
            posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return result;
        // A command that hangs (on a FIFO, say) is a failure, not a hanging test.
        int status = 0;
        for (int waited = 0; ::waitpid(pid, &status, WNOHANG) == 0; ++waited) {
            if (waited == 600) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                ADD_FAILURE() << "the command did not end within 60 s";
                break;
            }
            ::usleep(100000);
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = readFile(outPath);
        result.err = readFile(errPath);
        return result;
    }

    bool exists(const std::string& path) const {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0;
    }

    // Hidden files left in the private folder (a WAV's temporary would be one).
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(root.c_str())) {
            while (const dirent* e = ::readdir(d))
                if (e->d_name[0] == '.' && std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                    names.push_back(e->d_name);
            ::closedir(d);
        }
        return names;
    }

    std::string root;
};

uint32_t u32(const std::string& b, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
uint16_t u16(const std::string& b, size_t at) {
    uint16_t v = 0;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}

// The WAV's format and sample bytes, walking its chunks.
struct Wav {
    uint16_t tag = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    std::string data;
    bool ok = false;
};

Wav readWav(const std::string& bytes) {
    Wav w;
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") || bytes.compare(8, 4, "WAVE")) return w;
    if (u32(bytes, 4) != bytes.size() - 8) return w;
    size_t at = 12;
    bool haveFormat = false;
    while (at + 8 <= bytes.size()) {
        const std::string id = bytes.substr(at, 4);
        const uint32_t size = u32(bytes, at + 4);
        if (at + 8 + size > bytes.size()) return w;
        if (id == "fmt " && size >= 16) {
            w.tag = u16(bytes, at + 8);
            w.channels = u16(bytes, at + 10);
            w.rate = u32(bytes, at + 12);
            w.bits = u16(bytes, at + 22);
            haveFormat = true;
        } else if (id == "data") {
            w.data = bytes.substr(at + 8, size);
            w.ok = haveFormat;
        }
        at += 8 + size + (size & 1);
    }
    return w;
}

// A PSG tone of period 254 (440.4 Hz) for `seconds`; with `loopAt` >= 0 the
// loop point sits that many seconds in.
vgmtest::Bytes psgSong(double seconds, double loopAt = -1.0) {
    vgmtest::VgmFile v;
    v.set32(0x0C, 3579545);
    v.op({0x50, 0x8E}).op({0x50, 0x0F}).op({0x50, 0x90});
    double at = 0.0;
    if (loopAt >= 0.0) {
        v.wait(uint16_t(loopAt * 44100)).loopHere();
        at = loopAt;
    }
    v.wait(uint16_t((seconds - at) * 44100));
    return v.end().bytes();
}

void writeBytes(const std::string& path, const vgmtest::Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TEST_F(RenderRun, WritesAFloatWavOfThePhrase) {
    // 0.25 s of phrase and the 0.5 s tail at 32000 Hz, in blocks of 77 frames.
    const Outcome r = run({"-o", "phrase.wav", "--rate", "32000", "--block", "77", "--phrase",
                           "C4:0.1 r:0.05 E4:0.1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote phrase.wav"), std::string::npos) << r.out;
    const Wav w = readWav(readFile(root + "/phrase.wav"));
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.tag, 3);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, 32000u);
    EXPECT_EQ(w.bits, 32);
    ASSERT_EQ(w.data.size(), 24000u * 2 * 4);
    std::vector<float> samples(w.data.size() / 4);
    std::memcpy(samples.data(), w.data.data(), w.data.size());
    for (float s : samples) ASSERT_TRUE(std::isfinite(s));
    // The notes are played at a musical velocity, not the quietest one: the
    // phrase peaks within 12 dB of full scale.
    float peak = 0.0f;
    for (float s : samples) peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.25f);
}

TEST_F(RenderRun, Writes16BitPcmAndCountsClipping) {
    const Outcome r = run({"-o", "default.wav", "--pcm16"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" clipped samples"), std::string::npos) << r.out;
    const Wav w = readWav(readFile(root + "/default.wav"));
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.tag, 1);
    EXPECT_EQ(w.bits, 16);
    EXPECT_EQ(w.rate, 48000u);
    // The built-in phrase lasts 2.25 s, then the 0.5 s tail.
    EXPECT_EQ(w.data.size(), 132000u * 2 * 2);
}

TEST_F(RenderRun, LongRendersReportProgress) {
    const Outcome r = run(
        {"-o", "long.wav", "--rate", "8000", "--block", "256", "--phrase", "r:10 r:10 r:10 r:10"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("morvane-render: 50% ("), std::string::npos) << r.err;
}

// Every failure is one line that says why, with exit status 1 (2 for bad
// arguments), and leaves neither the WAV nor a temporary behind; nothing that
// can block (a FIFO) is opened.
TEST_F(RenderRun, FailuresExitNonZeroWithOneLineAndNoFile) {
    std::string hourAndHalf; // 5400 s of 32-bit stereo at 384000 Hz: over 4 GB
    for (int i = 0; i < 540; ++i) hourAndHalf += "r:10 ";
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--plugin", "missing/Brevado.so"},
         1,
         "cannot load the engine plug-in missing/Brevado.so: no such file"},
        {{"--plugin", "fifo"}, 1, "cannot load the engine plug-in fifo: not a regular file"},
        {{"--plugin", "notes.txt"}, 1, "cannot load the engine plug-in notes.txt: "},
        {{"--rate", "0"}, 2, "bad sample rate \"0\" (8000-384000 Hz); see morvane-render --help"},
        {{"--block", "100000"}, 2, "bad block size \"100000\""},
        {{"--load", "missing.tfi"}, 1, "could not load missing.tfi: no such file"},
        {{"--load", "fifo.tfi"}, 1, "could not load fifo.tfi: not a regular file"},
        {{"--load", "folder.opm"}, 1, "could not load folder.opm: a folder, not a file"},
        {{"--load", "notes.txt"},
         1,
         "could not load notes.txt: a kind of file the instrument does not read"},
        {{"--load", "short.dmp"},
         1,
         "could not load short.dmp: a DMP patch is 49 or 51 bytes, this file has 10"},
        {{"--load", "a.morvanep"}, 1, "could not load a.morvanep: a morvanep patch is read into"},
        {{"--load", "song.vgm"}, 2, "song.vgm is a media file: play it with --media song.vgm"},
        {{"--load", std::string(512, 'x')}, 2, "bad file path"},
        {{"--load", "a", "--load", "b", "--load", "c"}, 2, "at most two --load files"},
        {{"--matrix", std::string(32256, 'M')}, 2, "modulation matrix longer than"},
        {{"--phrase", "C4 Q4"}, 2, "bad note \"Q4\""},
        {{"-o", "no/such/folder/out.wav"}, 1, "cannot write no/such/folder/out.wav"},
        {{"-o", "fifo"}, 1, "cannot write fifo: not a regular file"},
        {{"-o", "folder.opm"}, 1, "cannot write folder.opm: a folder, not a file"},
        {{"--frobnicate"}, 2, "unknown argument \"--frobnicate\""},
        {{"--rate", "384000", "--phrase", hourAndHalf}, 2, "the phrase is too long for one WAV"},
    };
    { std::ofstream(root + "/notes.txt") << "neither an instrument nor media"; }
    { std::ofstream(root + "/short.dmp") << "0123456789"; }
    { std::ofstream(root + "/a.morvanep") << "<patch/>"; }
    writeBytes(root + "/song.vgm", psgSong(0.2));
    ASSERT_EQ(::mkfifo((root + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((root + "/fifo.tfi").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir((root + "/folder.opm").c_str(), 0700), 0);
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        if (std::find(args.begin(), args.end(), "-o") == args.end())
            args.insert(args.end(), {"-o", "failed.wav"});
        const Outcome r = run(args);
        EXPECT_EQ(r.status, c.status) << c.message;
        EXPECT_NE(r.err.find(std::string("morvane-render: ") + c.message), std::string::npos)
            << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(exists(root + "/failed.wav")) << c.message;
        EXPECT_TRUE(leftovers().empty()) << c.message;
    }
}

// A render stopped by a signal leaves the previous WAV as it was and no
// temporary; a finished one replaces it.
TEST_F(RenderRun, AnInterruptedRenderLeavesThePreviousFile) {
    writeBytes(root + "/song.vgm", psgSong(0.5, 0.0));
    { std::ofstream(root + "/out.wav") << "the previous render"; }
    const std::string program = SX_PRODUCT_DIR "/morvane-render";
    const char* argv[] = {program.c_str(), "-o",      "out.wav",     "--media", "song.vgm",
                          "--seconds",     "600",     "--rate",      "8000",    nullptr};
    Spawned render = spawnReadingErrors(root, program.c_str(), argv, false);
    ASSERT_GT(render.pid, 0);
    // Waits (bounded by the render itself ending) for the first progress line.
    std::string err = render.readUntil("10% (");
    const pid_t pid = render.pid;
    ::kill(pid, SIGTERM);
    render.closeErrors();
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_NE(err.find("10% ("), std::string::npos) << err;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(readFile(root + "/out.wav"), "the previous render");
    EXPECT_TRUE(leftovers().empty());

    const Outcome r = run({"-o", "out.wav", "--media", "song.vgm", "--rate", "8000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(readWav(readFile(root + "/out.wav")).ok);
    EXPECT_TRUE(leftovers().empty());
}

// Under nohup (SIGHUP ignored) a render goes on when its terminal hangs up,
// and writes its WAV with the permissions the umask leaves.
TEST_F(RenderRun, ARenderUnderNohupOutlivesAHangUpAndFollowsTheUmask) {
    writeBytes(root + "/song.vgm", psgSong(0.5, 0.0));
    const std::string program = SX_PRODUCT_DIR "/morvane-render";
    // sh sets the umask, nohup ignores SIGHUP, then the command runs.
    const char* argv[] = {"/bin/sh", "-c", "umask 027 && exec nohup \"$0\" \"$@\"",
                          program.c_str(), "-o", "out.wav", "--media", "song.vgm",
                          "--seconds", "20", "--rate", "8000", nullptr};
    Spawned render = spawnReadingErrors(root, "/bin/sh", argv, true);
    ASSERT_GT(render.pid, 0);
    std::string err = render.readUntil("10% (");
    const pid_t pid = render.pid;
    ::kill(pid, SIGHUP);
    err += render.readUntil(nullptr); // the rest of its messages, to the end
    render.closeErrors();
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_NE(err.find("10% ("), std::string::npos) << err;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << (WIFSIGNALED(status) ? "stopped by signal " + std::to_string(WTERMSIG(status)) : err);
    EXPECT_TRUE(readWav(readFile(root + "/out.wav")).ok);
    struct stat st;
    ASSERT_EQ(::stat((root + "/out.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_TRUE(leftovers().empty());
}

// A plug-in named without a folder is the file in the current folder.
TEST_F(RenderRun, APluginNamedWithoutAFolderIsAFileHere) {
    const std::string plugin = readFile(SX_PRODUCT_DIR "/Brevado.so");
    ASSERT_FALSE(plugin.empty());
    writeBytes(root + "/Brevado.so", vgmtest::Bytes(plugin.begin(), plugin.end()));
    ::chmod((root + "/Brevado.so").c_str(), 0700);
    const Outcome r = run({"--plugin", "Brevado.so", "-o", "here.wav", "--phrase", "C4:0.1"});
    ASSERT_EQ(r.status, 0) << r.err;
    // No model profiles beside this copy: the command says so.
    EXPECT_NE(r.err.find("morvane-render: no model profiles at ./"), std::string::npos) << r.err;
    EXPECT_TRUE(readWav(readFile(root + "/here.wav")).ok);
}

TEST_F(RenderRun, LoadsAnInstrumentAndAMatrixBeforeRendering) {
    // A TFI instrument: algorithm 4, feedback 5, four alike operators.
    std::string tfi = {4, 5};
    for (int op = 0; op < 4; ++op) tfi += std::string{1, 3, 20, 0, 31, 5, 2, 7, 1, 0};
    { std::ofstream(root + "/voice.tfi", std::ios::binary) << tfi; }
    const std::vector<std::string> common = {"--rate", "22050", "--phrase", "A4:0.1"};
    auto with = [&](std::vector<std::string> extra, const char* out) {
        extra.insert(extra.end(), common.begin(), common.end());
        extra.insert(extra.end(), {"-o", out});
        return run(extra);
    };
    const Outcome plain = with({}, "plain.wav");
    const Outcome loaded = with(
        {"--load", "voice.tfi", "--matrix", "SOURCE=CC1;DESTINATION=L01 DETUNE"}, "loaded.wav");
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(loaded.status, 0) << loaded.err;
    const Wav a = readWav(readFile(root + "/plain.wav"));
    const Wav b = readWav(readFile(root + "/loaded.wav"));
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(a.data.size(), b.data.size());
    EXPECT_NE(a.data, b.data); // the instrument changed the sound
}

TEST_F(RenderRun, PrintsTheProductFolderOfTheInstall) {
    const Outcome r = run({"--print-data-folder"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, root + "/data/sondrix-md\n");
}

// ---- Media files ------------------------------------------------------------------------

std::vector<float> leftChannel(const Wav& w) {
    std::vector<float> all(w.data.size() / 4);
    std::memcpy(all.data(), w.data.data(), all.size() * 4);
    std::vector<float> left;
    for (size_t i = 0; i < all.size(); i += w.channels) left.push_back(all[i]);
    return left;
}

TEST_F(RenderRun, PlaysAMediaFileForItsLengthWithProgress) {
    writeBytes(root + "/song.vgm", psgSong(0.5));
    const Outcome r =
        run({"-o", "song.wav", "--rate", "22050", "--block", "100", "--media", "song.vgm"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("morvane-render: loaded song.vgm: VGM; SN76489 at 3579545 Hz; 0:00.5 "
                         "long, no loop\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("morvane-render: 50% ("), std::string::npos) << r.err;
    const Wav w = readWav(readFile(root + "/song.wav"));
    ASSERT_TRUE(w.ok);
    ASSERT_EQ(w.data.size(), 11025u * w.channels * 4);
    // The tone's pitch from its rising zero crossings, past the start.
    const std::vector<float> x = leftChannel(w);
    double mean = 0.0;
    for (float s : x) mean += s;
    mean /= double(x.size());
    double first = -1.0, last = 0.0;
    int crossings = 0;
    for (size_t i = 2000; i < x.size(); ++i)
        if (x[i - 1] - mean < 0.0 && x[i] - mean >= 0.0) {
            if (first < 0.0) first = double(i);
            last = double(i);
            ++crossings;
        }
    ASSERT_GT(crossings, 10);
    EXPECT_NEAR((crossings - 1) * 22050.0 / (last - first), 440.4, 3.0);
}

// The render lasts the track's length with its loop played as often as
// asked, the given time, or the length of the archive member asked for; the
// loaded line says how the loop is played.
TEST_F(RenderRun, MediaRenderLengths) {
    writeBytes(root + "/loop.vgm", psgSong(0.3, 0.1));
    writeBytes(root + "/once.vgm", psgSong(0.3));
    writeBytes(root + "/songs.zip",
               vgmtest::zipBytes(root + "/tmp/scratch.zip",
                                 {{"a.vgm", psgSong(0.3)}, {"b.vgm", psgSong(0.4)}}));
    const struct {
        std::vector<std::string> args;
        size_t frames;       // at 8000 Hz
        const char* loopText; // the end of the loaded line
    } cases[] = {
        {{"--media", "loop.vgm"}, 2400, "long, loops from 0:00.1\n"},
        {{"--media", "loop.vgm", "--loops", "3"}, 5600, "long, loops from 0:00.1\n"},
        {{"--media", "loop.vgm", "--seconds", "0.25"}, 2000, "long, loops from 0:00.1\n"},
        {{"--media", "once.vgm", "--loops", "3"}, 2400,
         "long, no loop: the song has no loop and plays once, not 3 times\n"},
        {{"--media", "songs.zip"}, 2400, "long, no loop\n"},
        {{"--media", "songs.zip", "--member", "2"}, 3200, "long, no loop\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--rate", "8000", "-o", "out.wav"});
        const Outcome r = run(args);
        ASSERT_EQ(r.status, 0) << c.args[1] << r.err;
        EXPECT_NE(r.err.find(c.loopText), std::string::npos) << r.err;
        const Wav w = readWav(readFile(root + "/out.wav"));
        ASSERT_TRUE(w.ok);
        EXPECT_EQ(w.data.size() / (4u * w.channels), c.frames) << c.args.back();
    }
}

// The loaded line says which chip, or which part of one, the media unit
// does not play: its one PSG output goes to the first chip that needs it.
TEST_F(RenderRun, SaysWhichChipsTheMediaUnitDoesNotPlay) {
    auto song = [](uint32_t ym2203Clock, uint32_t ayClock) {
        vgmtest::VgmFile v;
        v.set32(0x44, ym2203Clock);
        if (ayClock) v.set32(0x74, ayClock);
        // A tone on channel A of each SSG (a chip with fewer writes is
        // dropped as unused).
        for (const auto& [reg, value] : {std::pair<uint8_t, uint8_t>{0x07, 0x3E},
                                         {0x08, 0x0F}, {0x00, 0xFE}, {0x01, 0x00}}) {
            v.op({0x55, reg, value});
            if (ayClock) v.op({0xA0, reg, value});
            if (ym2203Clock & 0x40000000) v.op({0xA5, reg, value});
        }
        v.wait(4410);
        return v.end().bytes();
    };
    const struct {
        const char* name;
        vgmtest::Bytes bytes;
        const char* loaded;
    } cases[] = {
        {"ym-ay.vgm", song(3993600, 1773400),
         "VGM; YM2203 at 3993600 Hz, AY8910 at 1773400 Hz; not played: AY8910 (its part plays "
         "the YM2203); 0:00.1 long"},
        {"two-ym.vgm", song(3993600 | 0x40000000, 0),
         "not played: second YM2203's SSG (its part plays the YM2203); 0:00.1 long"},
    };
    for (const auto& c : cases) {
        writeBytes(root + "/" + c.name, c.bytes);
        const Outcome r = run({"--media", c.name, "--rate", "8000", "-o", "out.wav"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(c.loaded), std::string::npos) << r.err;
    }
}

TEST_F(RenderRun, MediaFailuresExitNonZeroWithOneLineAndNoFile) {
    writeBytes(root + "/song.vgm", psgSong(0.2));
    const vgmtest::Bytes song = psgSong(0.2);
    writeBytes(root + "/tiny.vgm", vgmtest::Bytes(song.begin(), song.begin() + 100));
    { std::ofstream(root + "/notes.txt") << "not a song"; }
    ASSERT_EQ(::mkfifo((root + "/fifo.vgm").c_str(), 0600), 0);
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--media", "missing.vgm"}, 1, "could not load missing.vgm: no such file"},
        {{"--media", "fifo.vgm"}, 1, "could not load fifo.vgm: not a regular file"},
        {{"--media", "notes.txt"}, 1, "could not load notes.txt: not a media file"},
        {{"--media", "tiny.vgm"}, 1, "could not load tiny.vgm: its reader says: "},
        {{"--media", "song.vgm", "--member", "2"}, 1, "song.vgm holds 1 song member"},
        {{"--loops", "2"}, 2, "--loops needs --media"},
        {{"--member", "0", "--media", "song.vgm"}, 2, "bad member number \"0\""},
        {{"--media", "song.vgm", "--seconds", "0"}, 2, "bad play time \"0\""},
        {{"--media", "song.vgm", "--seconds", "nan"}, 2, "bad play time \"nan\""},
        {{"--media", "song.vgm", "--loops", "101"}, 2, "bad loop count \"101\""},
        {{"--media", ""}, 2, "bad media path"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", "failed.wav"});
        const Outcome r = run(args);
        EXPECT_EQ(r.status, c.status) << c.message;
        EXPECT_NE(r.err.find(std::string("morvane-render: ") + c.message), std::string::npos)
            << r.err;
        EXPECT_FALSE(exists(root + "/failed.wav")) << c.message;
    }
}

} // namespace

// A YM song as it comes in the wild (an LHA archive named .ym) plays on the
// AY part of the media unit.
TEST_F(RenderRun, PlaysAnLhaPackedYmSong) {
    const char* source = std::getenv("SX_SOURCE_DIR");
    if (!source) GTEST_SKIP() << "SX_SOURCE_DIR names the checked-in fixtures (set by ctest)";
    const std::string packed = readFile(std::string(source) + "/tests/vgm/fixtures/ym5.lzh");
    ASSERT_FALSE(packed.empty());
    writeBytes(root + "/song.ym", vgmtest::Bytes(packed.begin(), packed.end()));
    const Outcome r = run({"-o", "ym.wav", "--media", "song.ym", "--seconds", "0.5"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Wav w = readWav(readFile(root + "/ym.wav"));
    ASSERT_TRUE(w.ok);
    ASSERT_EQ(w.data.size(), 24000u * w.channels * 4);
    std::vector<float> x(w.data.size() / 4);
    std::memcpy(x.data(), w.data.data(), w.data.size());
    float peak = 0.0f;
    for (float s : x) peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.05f);
}

// ---- Timing -----------------------------------------------------------------------------

TEST_F(RenderRun, ANoteStartsAtTheSameTimeAtEveryRate) {
    // The plug-in's latency is left out of the WAV: a note 50 ms into the
    // phrase sounds at the same moment at every rate, whether the chain runs
    // at the host rate or is upsampled to it.
    double reference = -1.0;
    for (const char* rate : {"48000", "44100", "96000", "192000"}) {
        const Outcome r = run({"-o", "onset.wav", "--rate", rate, "--phrase", "r:0.05 A4:0.1"});
        ASSERT_EQ(r.status, 0) << r.err;
        const Wav w = readWav(readFile(root + "/onset.wav"));
        ASSERT_TRUE(w.ok);
        const std::vector<float> left = leftChannel(w);
        size_t first = 0;
        while (first < left.size() && std::fabs(left[first]) < 0.01f) ++first;
        ASSERT_LT(first, left.size()) << rate;
        const double ms = 1000.0 * double(first) / w.rate - 50.0;
        if (reference < 0.0) reference = ms;
        // Within a frame at 44.1 kHz and the FM chip's own sample step.
        EXPECT_NEAR(ms, reference, 0.045) << rate << " Hz";
        EXPECT_LT(ms, 0.5) << rate << " Hz";
    }
}
