// The base of the console instrument and the face the plug-in object drives
// once per audio block. It renders the emulator units in spans cut at the due
// times of its sample-time timer queue, so every timer action (a DAC sample,
// a media register write, a layer tick) lands at its exact sample inside a
// block; it keeps the host's transport values that the synth framework asks
// for (tempo, song position, bar start) and the media transport (play, stop,
// track selection, speed, loop stop), and it listens to the media player.
//
// A media file plays through a VGM::Reader whose chip streamers sit on this
// controller's timer queue; the transport ids that need a player do nothing
// without one, and stop still silences the media unit. The unit that plays
// media (unit 6) renders from transport play until the file is closed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emulators/ChipEmu.h"
#include "engine-support/QuantumManager.h"
#include "synth/SyncProvider.h"
#include "vgm/MediaCallback.h"

class ChipControllerListener;
struct CanvasRecord;
namespace VGM {
class Reader;
struct MediaTrack;
} // namespace VGM
namespace vantor {
class VirtualFile;
}

class ChipController : public VSX::SyncProvider,
                       public MediaCallback,
                       public vantor::QuantumManager {
public:
    // The ids of setSyncValue / getSyncValue (a host sends id n as
    // parameter 384 + n).
    enum SyncId : uint32_t {
        kTempo = 0,
        kPosition = 1,
        kPlay = 2,
        kStop = 3,
        kSelectTrack = 4,
        kSpeed = 5,
        kSeek = 6,
        kPreviousTrack = 7,
        kNextTrack = 8,
        kSameTrack = 9,
        kDisplayPage = 10,
        kBeatTicks = 12,
        kHostSync = 13,
        kBarStart = 15,
        kClose = 16,
        kSingleTrack = 18,
        kLoopForever = 19,
    };
    // A viewer of one unit's register mirror, told about every byte.
    class RegisterMonitor {
    public:
        virtual void clear() = 0;
        virtual void refresh(int32_t how) = 0;
        virtual void registerValue(uint32_t reg, uint32_t value, uint32_t port) = 0;

    protected:
        ~RegisterMonitor() = default;
    };

    // Host transport values kept for the media player's host sync.
    struct SyncRecord {
        float tempo = 120.0f;    // id 0, beats per minute
        float position = 0.0f;   // id 1, quarter notes
        float barStart = 0.0f;   // id 15, quarter notes
        uint32_t beatTicks = 24; // id 12
    };

    // The most timers that may fall due at one sample before the render loop
    // makes them wait a sample: a timer that keeps asking to run again at
    // once cannot hold the loop.
    static constexpr uint32_t kMaxDueRunsPerSample = 1024;
    // The emulator unit that plays media files.
    static constexpr uint32_t kMediaUnit = 6;

    ChipController(std::vector<ChipEmu*>* units, ChipControllerListener* listener);
    virtual ~ChipController();
    ChipController(const ChipController&) = delete;
    ChipController& operator=(const ChipController&) = delete;

    // ---- VSX::SyncProvider
    double getFreeTempo() override { return syncValueA; }
    double getHostTempo() override { return sync.tempo; }
    double getHostPosition() override { return sync.position; }
    double getHostBarStart() override { return sync.barStart; }

    virtual void resetForVersion(uint32_t version) = 0;
    virtual bool isReady() { return true; }
    virtual bool releaseAllParts() { return true; }
    // Resets the unit that plays media.
    virtual void resetMediaUnit() {}
    // The chip's output sample rate (the timer queue's rate), a reference
    // rate and the unit's clock choice. Always true.
    virtual bool setClock(uint64_t index, double rate, double reference);
    // Reads instrument `instrument` from an open patch file.
    virtual bool importPatch(int32_t /*instrument*/, vantor::VirtualFile* /*file*/) {
        return false;
    }
    virtual uint32_t reserved13(uint8_t& out) {
        out = 0;
        return 0;
    }
    virtual bool reserved14() { return true; }
    virtual bool reserved15() { return true; }
    // Writes instrument `instrument` to a patch file at `path`.
    virtual bool exportPatch(int32_t /*instrument*/, const char* /*path*/) { return false; }
    // Transport and host time, ids 0-19.
    virtual void setSyncValue(uint32_t id, uint32_t arg, double value);
    virtual double getSyncValue(uint32_t id, uint32_t arg);
    // How many frames may be rendered before the next timer falls due (at
    // most `frames`; more than 0 for frames > 0). Runs the timers due now.
    virtual uint64_t advance(uint64_t frames);
    // Adds `frames` frames of every enabled unit into the 32-bit buffers,
    // cut at timer due times. The caller's pointer array is left as it was.
    virtual void render(int32_t** outputs, uint32_t channels, uint64_t frames);
    // As render, handing whole FM samples on the grid of `rows` over as rows
    // where the units can (SpreadRows); returns whether anything was added
    // into outputs.
    bool renderRows(int32_t** outputs, uint32_t channels, uint64_t frames, SpreadRows& rows);
    // Moves time and the enabled units up to `frames` frames on without
    // rendering while every enabled unit is silent, running the timers that
    // fall due as render does; returns the frames passed. When a unit sounds
    // after a timer, the frames up to the next timer are owed: the next
    // render renders them first, without moving time again.
    uint64_t skipSilent(uint64_t frames);
    virtual void reserved21() {}
    virtual void reserved22() {}
    // A register write of the media player's stream.
    virtual void writeMediaRegister(uint32_t /*chipType*/, uint64_t /*delta*/, uint32_t /*port*/,
                                    uint32_t /*reg*/, uint32_t /*value*/) {}
    virtual uint64_t reserved24() { return 0; }
    // The media stream of `chipType` came back to its loop point.
    virtual void loopReached(uint32_t chipType);
    // The media stream ended.
    virtual void endReached();
    virtual void attachCanvas(CanvasRecord* /*canvas*/) {}
    // Option handed to every new media player.
    virtual uint64_t playerOption() { return 0; }
    virtual void reserved29() {}
    virtual void reserved30() {}
    virtual uint64_t reserved31() { return 0; }
    virtual void reserved32() {}
    virtual void reserved33() {}
    // The console model the idle page names (cut to fit); shown at once when
    // it changed.
    void setConsoleModel(const char* name);
    // Unless a track is on display, draws the idle page into the canvas: what
    // the window is and which console model plays. Allocates nothing.
    void showIdlePage();
    // A media track is on display: a player holds a file and has drawn it.
    bool trackShown() const;

    // What of the track's chips the media unit does not play, said in a
    // few words; empty when it plays them all.
    virtual std::string mediaUnplayed(const VGM::MediaTrack& /*track*/) const { return {}; }

    // Starts the transport from the current track: loop counts cleared,
    // media active, the track's title to the listener, and when the player
    // plays its streamers on the queue.
    virtual void restartTransport();

    // Resets the chips, takes the streamers off the queue and selects track
    // `index` of the player; on success the transport restarts.
    void selectMediaTrack(uint64_t index);
    // Replaces the media player with one for the file at `path` and selects
    // its track `first` (from 0; the first track when the file has no such
    // track), then tells the listener its title, whether it is the only track
    // and the file's picture; false (no player) when the file cannot be
    // played. An archive member is unpacked on the way through the archive's
    // other members, once.
    bool openMedia(uint32_t slot, const std::string& path, uint64_t first = 0);
    // What the media player holds, as lines of a key and a value, for the
    // host (name text 0, after every open and track selection):
    //   tracks N / track I (from 0) / playable 0|1 / member NAME /
    //   chip TYPE CLOCK RATE TICKS NAME (one per chip) / loop TICKS /
    //   unplayed TEXT / why TEXT (the reader's last complaint)
    std::string mediaInfoText() const;

    // ---- MediaCallback
    void mediaResetTime() override {}
    void mediaLoopReached(uint32_t chipType) override { loopReached(chipType); }
    void mediaEndReached(uint32_t, uint32_t) override { endReached(); }
    void mediaChipSetup(uint32_t, uint32_t, int64_t) override {}
    void mediaRegisterWrite(uint32_t, uint64_t, uint32_t, uint32_t, uint32_t) override {}
    uint32_t mediaReserved8() override { return 0; }
    void mediaReserved10() override {}
    void mediaSetTime(double) override {}

    std::vector<ChipEmu*>* units;     // the plug-in object's units, not owned
    ChipControllerListener* listener; // not owned, may be null
    RegisterMonitor* registerMonitor = nullptr;
    int64_t value0 = 0;
    int64_t valueMinus1 = -1;
    std::string mediaPath;
    double reference = 1000000.0;
    uint64_t clockIndex = 0;
    float syncValueA = 125.0f;
    uint8_t unitEnabled[16] = {};
    // The caller of render keeps ChipEmu::kSpreadCarry frames of room past
    // each block and starts its next block with them: units may add the
    // whole of a chip sample cut by a block's end (with the shortcuts on).
    bool spreadCarryRoom = false;
    // The exact shortcuts (emulators/FastPaths.h) for the renders of this
    // block: the caller sets it once a block from the switch.
    bool shortcuts = true;
    uint8_t loopCounters[256] = {};
    bool loopStopEnabled = true;
    bool songFinished = false;
    uint32_t displayPage = 0;            // transport value 10
    std::unique_ptr<VGM::Reader> player; // the media player, when one is open
    SyncRecord sync;
    CanvasRecord* playerCanvas = nullptr; // the host's display, handed to every new media player
    double speed = 1.0;                   // id 5
    char consoleModel[64] = {};           // what the idle page names

private:
    // Runs the timers due now and returns how many of `frames` frames pass
    // before the next one falls due (all of them when none does).
    uint64_t step(uint64_t frames);
    // A song that ended (loopReached, endReached) makes way for the next
    // track, now.
    void takeSongEnd();
    // The frames of the next span of a render with `remaining` frames left:
    // those owed first, else up to the next timer (run by step).
    uint64_t nextSpan(uint64_t remaining);
    // Adds `frames` frames of every enabled unit (a silent one only moves on).
    // With rows, as renderRows: returns whether anything was added into
    // outputs.
    bool renderSpans(int32_t** outputs, uint32_t channels, uint64_t frames, SpreadRows* rows);
    // renderSpans of a block cut into spans by timers, the first `n` frames
    // long (time has moved over it already).
    bool renderCutSpans(int32_t** outputs, uint32_t channels, uint64_t frames, uint64_t n,
                        SpreadRows* rows);
    bool renderUnits(int32_t** outputs, uint64_t frames, SpreadRows* rows);
    bool unitsSilent();

    // Tells the host what the player holds now (mediaInfoText), and logs
    // what of the selected track the media unit does not play.
    void reportMedia();

    // The shortcut state of the renders, in one record. Both fields are
    // owed work: frames skipSilent passed in time but did not render (the
    // next render renders them first, nextSpan), and units 0-15 that may
    // have added past their last block since they were last told to take
    // it back (only a render adds there; a skipped unit is told once,
    // renderUnits). The units keep their own silence (ChipEmu::knownSilent,
    // owedFrames), paid by the unit itself.
    struct ShortcutState {
        uint64_t owedFrames = 0;
        uint8_t carryOut[16] = {};
    };
    ShortcutState shortcut;
    std::string openFailure; // the reader's last complaint when a file did not open
    std::string unplayedLogged; // the last not-played line logged
    int64_t reportedTrack = -1; // the track last told to the host
};
