// The transport face of a media player as the chip controller drives it:
// open a file, select a track, play and stop, speed, rewind, and put the
// player's timers on the controller's sample-time queue or take them off. A
// player is itself a timer of that queue, but one that never fires: its
// per-chip streamers do the work.
#pragma once

#include <cstdint>
#include <string>

#include "engine-support/QuantumManager.h"
#include "engine-support/QuantumTimer.h"

class MediaReader : public vantor::QuantumTimer {
public:
    ~MediaReader() override = default;

    uint64_t onQuantum(double /*sampleRate*/) override { return INT64_MAX; }
    // Marks the player playing or stopped. Always true.
    virtual bool play() = 0;
    virtual bool stop() = 0;
    // Loads a media file; true when it holds at least one track.
    virtual bool open(const std::string& path) = 0;
    virtual bool mediaReaderReserved8() { return false; }
    // Builds the streamers of track `index`; true when it has a chip to play.
    virtual bool selectTrack(uint64_t index) = 0;
    // Only 0.0 acts: every stream goes back to its first command.
    virtual void seek(double seconds) = 0;
    virtual void mediaReaderReserved11() {}
    // Unloads the file; the streams forget their commands.
    virtual void close() = 0;
    // Playback speed factor; values of 0.001 and below, and endless ones, are
    // ignored.
    virtual void setSpeed(double factor) = 0;
    virtual bool restartTrack() { return selectTrack(currentTrack()); }
    virtual void mediaReaderReserved15() {}
    virtual void setDisplayPage(uint32_t page) = 0;
    virtual uint64_t getTrackCount() const = 0;
    virtual uint64_t currentTrack() const = 0;
    // Title of the selected track; null without a loaded file.
    virtual const char* getTitle() const = 0;
    virtual uint64_t mediaReaderReserved20() { return 0; }
    virtual uint64_t mediaReaderReserved21() { return 0; }
    virtual uint64_t mediaReaderReserved22() { return 0; }
    virtual uint64_t mediaReaderReserved23() { return 0; }
    virtual uint64_t mediaReaderReserved24() { return 1; }
    virtual bool mediaReaderReserved25() { return true; }
    virtual uint64_t mediaReaderReserved26() { return 0; }
    // Host timing values (not owned), or null.
    virtual void setSyncInfo(const void* sync) = 0;
    // Takes every streamer off the queue; what each had left to wait is kept.
    virtual void detachStreamers(vantor::QuantumManager& queue) = 0;
    // Puts every streamer that has commands on the queue.
    virtual void attachStreamers(vantor::QuantumManager& queue) = 0;
};
