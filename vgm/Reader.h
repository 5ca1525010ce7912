// The media player of one media file. It loads the file into a media
// collection and, for the selected track, builds one streamer per chip of the
// track (a DAC streamer for the PCM streams, types 84-99, a chip streamer
// for every other chip) in ascending chip-type order. The streamers are
// timers of the chip controller's sample-time queue (cookie 35607); the
// controller advances the queue while it renders, and each firing sends the
// commands that fell due to the listeners (the controller's media side).
//
// The reader remembers the queue its streamers are on and takes them off
// before anything they read goes away or is rebuilt: a new selection, close,
// destruction. Selecting the track that is already built, as the controller
// does when a song ends, sets its streamers up again in place without
// allocating.
//
// When the host has given a pixel canvas, each selection builds a fresh
// display (VGM::Visualizer) for the track and makes it the second listener.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vgm/ChipStreamer.h"
#include "vgm/MediaCallback.h"
#include "vgm/MediaReader.h"
#include "vgm/PixelCanvas.h"
#include "vgm/VGMX.h"
#include "vgm/Visualizer.h"

namespace VGM {

class Reader : public MediaReader {
public:
    // `canvas` (may be null: no display) and `renderer` (may be null) are not owned.
    explicit Reader(MediaCallback* mainListener, CanvasRecord* canvas = nullptr,
                    ExtraPageRenderer* renderer = nullptr);
    ~Reader() override;
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool play() override;
    bool stop() override;
    // Loads the file at `path` by its extension; false when it does not
    // exist, cannot be read or holds no track.
    bool open(const std::string& path) override { return open(path, 0); }
    // As open; of an archive, song member `first` (from 0) is unpacked and
    // parsed on the opening walk, so selecting it then costs nothing more.
    bool open(const std::string& path, uint64_t first);
    // The reader's last log line when the last open failed (empty else).
    const std::string& openFailure() const { return failure; }
    // Loads a copy of `collection`. Always true.
    bool openCollection(const VGMX& collection);
    // Sends the track's data blocks, then builds a streamer per chip and
    // announces each chip (set-up, then clock). False (old streams kept, unless the track's data
    // was replaced) for an index past the end, a track without chips or one
    // that cannot be played.
    bool selectTrack(uint64_t index) override;
    void seek(double seconds) override;
    void close() override;
    void setSpeed(double factor) override;
    // Stores the page and shows it on the display, when there is one.
    void setDisplayPage(uint32_t page) override;
    uint64_t getTrackCount() const override;
    // Index of the last track selected (successfully or not).
    uint64_t currentTrack() const override { return selectedIndex; }
    const char* getTitle() const override;
    void setSyncInfo(const void* sync) override { syncInfo = sync; }
    void detachStreamers(vantor::QuantumManager& queue) override;
    void attachStreamers(vantor::QuantumManager& queue) override;

    bool isPlaying() const { return playing; }
    bool isLoaded() const { return loaded; }
    // Whether the last selection succeeded.
    bool selectionSucceeded() const { return selectedOk; }
    // Whether the streamers are on a queue.
    bool isAttached() const { return attachedTo != nullptr; }
    double speedFactor() const { return speed; }
    uint32_t page() const { return displayPage; }
    VGMX* mediaCollection() { return collection.get(); }
    // The display of the selected track; null without a canvas.
    Visualizer* display() { return visualizer.get(); }
    const std::vector<std::unique_ptr<ChipStreamer>>& chipStreamers() const { return streamers; }

private:
    // Takes the streamers off the queue they are on, if any.
    void leaveQueue();
    // Every streamer forgets its chip record.
    void releaseStreamers();

    bool playing = false;
    bool active = true; // cleared by close; read nowhere
    double speed = 1.0;
    const void* syncInfo = nullptr;
    double frameTime = 1.0 / 60.0;
    bool loaded = false;
    int64_t positionMarker = -1;
    MediaCallback* mainListener; // not owned
    uint64_t spare = 0;
    std::unique_ptr<VGMX> collection;
    std::unique_ptr<Visualizer> visualizer;
    ExtraPageRenderer* pageRenderer;       // not owned, may be null
    CanvasRecord* canvas;                  // not owned; null = no display
    std::vector<MediaCallback*> listeners; // main listener first
    std::vector<std::unique_ptr<ChipStreamer>> streamers;
    uint32_t displayPage = 0;
    std::string title;
    uint64_t selectedIndex = 0;
    bool selectedOk = false;
    int64_t titleTrack = -1; // track whose title is held; -1 none
    std::string failure;     // see openFailure
    vantor::QuantumManager* attachedTo = nullptr;
};

} // namespace VGM
