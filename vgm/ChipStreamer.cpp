#include "vgm/ChipStreamer.h"

#include <algorithm>
#include <cmath>

namespace VGM {

void ChipStreamer::setup(const MediaChipRecord* record, const MediaLoop& trackLoop,
                         const std::vector<MediaCallback*>& callers,
                         const std::vector<DataBlock>* blocks) {
    chip = record;
    dataBlocks = blocks;
    listeners.assign(callers.begin(), callers.end());
    loop = trackLoop;
    previousTickSeconds = tickSeconds;
    rewindAndForgetList();
    if (!chip || chip->commands.empty() || chip->commandRate <= 0) return;
    tickSeconds = 1.0 / chip->commandRate;

    const GrowList<MediaCommand>& list = chip->commands;
    uint64_t total = 0, longest = 0;
    forEachWait(*chip, 0, [&](uint64_t delta) {
        total += delta;
        longest = std::max(longest, delta);
    });
    // A list without time in it is sent once, then the stream parks.
    canPlay = true;
    timeless = longest == 0;
    if (timeless) return;

    // Regular period: the shortest of the deltas near the longest one, when
    // those make up nearly all of the song (a player that writes once a frame).
    uint64_t count = 0, shortest = kNoPeriod;
    forEachWait(*chip, 0, [&](uint64_t delta) {
        if (std::floor(double(delta) / double(longest) + 0.5) != 1.0) return;
        ++count;
        shortest = std::min(shortest, delta);
    });
    const double length = chip->totalLength ? double(chip->totalLength) : double(total);
    if (count && double(longest) * double(count) / length > 0.9) period = shortest;

    // A loop goes on after the loop command; one whose commands take no time
    // would send them for ever without moving on, so it counts as no loop.
    // A chip first heard after the loop point has no loop command: it goes
    // on from its first command, whose wait then counts from the loop point.
    if (loop.marker != -1) {
        const int64_t count = int64_t(list.size());
        resumeIndex = chip->loopIndex >= 0 && chip->loopIndex + 1 < count ? chip->loopIndex + 1 : 0;
        resumeDelta = list[size_t(resumeIndex)].delta;
        if (chip->loopIndex < 0) resumeDelta -= std::min(resumeDelta, loop.startTicks);
        // The waits from the resumed command on, its own delta replaced.
        uint64_t loopTicks = resumeDelta - list[size_t(resumeIndex)].delta;
        forEachWait(*chip, size_t(resumeIndex), [&](uint64_t delta) { loopTicks += delta; });
        loopsBack = loopTicks > 0;
    }
}

void ChipStreamer::release() {
    chip = nullptr;
    dataBlocks = nullptr;
    loop = MediaLoop{};
    rewindAndForgetList();
}

void ChipStreamer::rewindAndForgetList() {
    rewind();
    period = kNoPeriod;
    canPlay = false;
    timeless = false;
    loopsBack = false;
    resumeIndex = 0;
    resumeDelta = 0;
}

void ChipStreamer::rewind() {
    currentDelta = 0;
    elapsed = 0;
    carry = 0.0;
    pendingWait = 0.0;
    position = 0;
    runWrite = 0;
    started = false;
}

void ChipStreamer::setSpeed(double speed) {
    previousTickSeconds = tickSeconds;
    if (chip && chip->commandRate > 0) tickSeconds = 1.0 / (chip->commandRate * speed);
}

uint64_t ChipStreamer::takePendingWait() {
    if (!(pendingWait > 0.0)) return 0;
    const double scaled = pendingWait * (tickSeconds / previousTickSeconds);
    pendingWait = 0.0;
    // The rescale applies once: a later detach counts at this speed.
    previousTickSeconds = tickSeconds;
    return scaled >= double(kParked) ? kParked : uint64_t(scaled);
}

uint64_t ChipStreamer::roundWait(double samples) {
    const double x = samples + carry;
    if (!(x < double(kParked))) return kParked;
    const int64_t n = int64_t(std::floor(x + 0.5));
    carry = x - double(n);
    return n > 0 ? uint64_t(n) : 0;
}

uint64_t ChipStreamer::leadIn(double sampleRate) {
    const uint64_t delta = chip->commands[size_t(position)].delta;
    return delta ? roundWait(double(delta) * tickSeconds * sampleRate) : 0;
}

uint64_t ChipStreamer::onQuantum(double sampleRate) {
    if (!chip || !canPlay) return kParked;
    if (const uint64_t wait = takePendingWait()) return wait;
    const GrowList<MediaCommand>& list = chip->commands;
    if (position < 0 || size_t(position) >= list.size()) {
        position = 0;
        runWrite = 0;
    }

    // A stream whose first command comes later (a chip first heard
    // mid-song) waits for it, so every stream keeps the song's time.
    if (!started) {
        started = true;
        if (const uint64_t wait = leadIn(sampleRate)) return wait;
    }

    const MediaCommand& c = list[size_t(position)];
    uint64_t delta = c.delta;
    if (const PcmRun* run = pcmRunOf(*chip, c)) {
        if (runWrite) delta = chip->pcmWaits[run->waitStart + runWrite - 1];
        const uint8_t value = chip->pcmBank[run->first + runWrite];
        for (MediaCallback* l : listeners)
            l->mediaRegisterWrite(chip->type, delta, 0, kPcmRegister, value);
        if (++runWrite == run->count) {
            runWrite = 0;
            ++position;
        }
    } else {
        if (c.kind == kCommandWrite)
            for (MediaCallback* l : listeners)
                l->mediaRegisterWrite(chip->type, c.delta, c.port, c.reg, c.value);
        ++position;
    }
    elapsed += delta;
    if (period <= delta)
        for (MediaCallback* l : listeners) l->mediaElapsed(elapsed);

    if (size_t(position) == list.size()) {
        if (!loopsBack) {
            position = 0;
            started = false;
            for (MediaCallback* l : listeners) {
                l->mediaEndReached(chip->type, 0);
                l->mediaChipReset(chip->type);
                l->mediaSetTime(0.0);
            }
            if (timeless) return kParked;
            return uint64_t(sampleRate * 0.5);
        }
        for (MediaCallback* l : listeners) {
            l->mediaLoopReached(chip->type);
            l->mediaSetTime(double(loop.startTicks) / chip->commandRate);
        }
        position = resumeIndex;
        currentDelta = resumeDelta;
    } else if (runWrite) {
        currentDelta =
            chip->pcmWaits[pcmRunOf(*chip, list[size_t(position)])->waitStart + runWrite - 1];
    } else {
        currentDelta = list[size_t(position)].delta;
    }
    return roundWait(double(currentDelta) * tickSeconds * sampleRate);
}

} // namespace VGM
