#include "instrument/ChipController.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "vantor/PlatformTools.h"

namespace {

// The ids of setSyncValue / getSyncValue.
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

// The chip type that stands for every chip of a track.
constexpr uint32_t kAllChips = 101;

uint32_t truncToU32(double v) {
    return uint32_t(std::clamp<int64_t>(PSaturateToInt64(v), 0, UINT32_MAX));
}

} // namespace

ChipController::ChipController(std::vector<ChipEmu*>* units, ChipControllerListener* listener)
    : vantor::QuantumManager(32), units(units), listener(listener) {}

ChipController::~ChipController() {
    if (registerMonitor) registerMonitor->refresh(0);
}

bool ChipController::setClock(uint64_t index, double r, double ref) {
    rate = r;
    reference = ref;
    clockIndex = index;
    return true;
}

void ChipController::setSyncValue(uint32_t id, uint32_t /*arg*/, double value) {
    switch (id) {
    case kTempo:
        if (value > 0.0) sync.tempo = float(value);
        break;
    case kPosition:
        sync.position = float(value);
        break;
    case kStop:
        // Without a player there are no streamers to take off the queue;
        // the media unit is silenced all the same.
        mediaChipReset(kAllChips);
        mediaActiveOff();
        break;
    case kSpeed:
        if (!std::isnan(value)) speed = value;
        break;
    case kDisplayPage:
        displayPage = truncToU32(value);
        break;
    case kBeatTicks:
        if (value > 0.0) sync.beatTicks = truncToU32(value);
        break;
    case kBarStart:
        sync.barStart = float(value);
        break;
    case kLoopForever:
        loopStopEnabled = value == 0.0;
        break;
    // Play, track selection, seek, host sync and close act on the media
    // player only.
    default:
        break;
    }
}

double ChipController::getSyncValue(uint32_t id, uint32_t /*arg*/) {
    switch (id) {
    case kTempo:
        return sync.tempo;
    case kSpeed:
        return 1.0; // the player's speed factor; 1 without a player
    case kLoopForever:
        return loopStopEnabled ? 0.0 : 1.0;
    default:
        return 0.0; // id 18: a single-track file needs a player
    }
}

uint64_t ChipController::advance(uint64_t frames) {
    if (songFinished) {
        songFinished = false;
        setSyncValue(kNextTrack, 0, 1.0);
    }
    if (frames == 0) return 0;
    uint32_t dueRuns = 0;
    uint64_t n;
    while ((n = vantor::QuantumManager::advance(frames)) == 0) {
        if (++dueRuns < kMaxDueRunsPerSample) continue;
        // Timers keep falling due at this same sample: every entry due now
        // waits one sample, so time moves on.
        for (Entry& e : queue)
            if (e.due <= now) e.due = now + 1;
        fired = false;
        dueRuns = 0;
    }
    return std::min(n, frames);
}

void ChipController::render(int32_t** outputs, uint32_t channels, uint64_t frames) {
    if (frames < 1 || !outputs) return;
    // The units add into moving copies of the caller's pointers.
    int32_t* spans[16] = {};
    const uint32_t moved = std::min<uint32_t>(channels, 16);
    std::copy(outputs, outputs + moved, spans);
    int32_t** target = channels ? spans : outputs;

    uint64_t remaining = frames;
    while (remaining > 0) {
        uint64_t n = advance(remaining);
        if (n == 0 || n > remaining) n = remaining;
        if (units)
            for (size_t i = 0; i < units->size(); ++i)
                if (unitEnabled[i & 15] && (*units)[i]) (*units)[i]->render32(target, n);
        for (uint32_t c = 0; c < moved; ++c) spans[c] += n;
        remaining -= n;
    }
}

void ChipController::loopReached(uint32_t chipType) {
    if (!loopStopEnabled) return;
    uint8_t& count = loopCounters[chipType & 255];
    if (count < 255) ++count;
    if (count >= 2) songFinished = true;
}

void ChipController::endReached() {
    if (loopStopEnabled) songFinished = true;
}

void ChipController::restartTransport() {
    std::memset(loopCounters, 0, sizeof loopCounters);
    mediaActiveOn();
}
