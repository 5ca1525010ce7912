// Listener through which the media player hands register writes, chip set-up,
// data blocks and transport news to whoever plays a media file. Every call
// carries the media chip type (0 SN76489, 5 YM2612, 31 AY family, 44 NES APU,
// 84 and above DAC streams, 101 every chip), so one listener serves all chips
// of a track. Every operation but the register write has an empty default.
// There is no virtual destructor: listeners are owned and destroyed through
// their own classes.
//
// Callers: the media reader when it selects a track (track, data blocks, chip
// set-up and clock), its chip streamers (register writes, elapsed time, loop and end),
// its DAC streamers (PCM samples), and the chip controller (active on and off,
// chip reset on stop). Operations 7-12 and 19-21 have no caller; they keep
// the places of the others.
#pragma once

#include <cstdint>
#include <vector>

namespace VGM {
struct DataBlock; // one PCM data-block record of a track
}

class MediaCallback {
public:
    virtual void mediaResetTime() {}
    virtual void mediaChipReset(uint32_t /*chipType*/) {}
    virtual void mediaLoopReached(uint32_t /*chipType*/) {}
    virtual void mediaEndReached(uint32_t /*chipType*/, uint32_t /*unused*/) {}
    virtual void mediaChipSetup(uint32_t /*chipType*/, uint32_t /*variant*/,
                                int64_t /*commandRate*/) {}
    // One register write. `delta` is the number of command-rate ticks since
    // the chip's previous command; the register is wide enough for the NES
    // APU's 0x4000-0x4017 addresses.
    virtual void mediaRegisterWrite(uint32_t chipType, uint64_t delta, uint32_t port, uint32_t reg,
                                    uint32_t value) = 0;
    // One PCM sample of a DAC stream for `channel`, already scaled by the
    // stream's gains.
    virtual void mediaDacWrite(uint32_t /*chipType*/, uint8_t /*channel*/, int16_t /*left*/,
                               int16_t /*right*/) {}
    virtual void mediaReserved7() {}
    virtual uint32_t mediaReserved8() { return 255; }
    virtual uint32_t mediaReserved9() { return 255; }
    virtual void mediaReserved10() {}
    virtual void mediaReserved11() {}
    virtual void mediaReserved12() {}
    // The track's PCM data blocks; owned by the media collection and valid
    // while the track stays loaded.
    virtual void mediaDataBlock(const std::vector<VGM::DataBlock>* /*blocks*/) {}
    virtual void mediaTrackSelected(uint32_t /*trackIndex*/) {}
    virtual void mediaActiveOn() {}
    // Command-rate ticks the calling stream has played.
    virtual void mediaElapsed(uint64_t /*ticks*/) {}
    virtual void mediaActiveOff() {}
    // The play position jumped (loop, end, restart), in seconds.
    virtual void mediaSetTime(double /*seconds*/) {}
    virtual void mediaReserved19() {}
    virtual void mediaReserved20() {}
    virtual void mediaReserved21() {}
    // The clock the track states for a chip, in Hz (0: none stated); it
    // follows the chip's set-up.
    virtual void mediaChipClock(uint32_t /*chipType*/, uint32_t /*clockHz*/) {}

protected:
    ~MediaCallback() = default;
};
