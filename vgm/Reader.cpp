#include "vgm/Reader.h"

#include <cmath>

#include "vantor/PlatformToolsFiles.h"
#include "vantor/VNTRConv.h"
#include "vgm/DACStreamer.h"

namespace VGM {

namespace {

bool isDacStream(MediaChipType type) {
    return type >= kChipDacStream0 && type < kChipDacStream0 + kChipDacStreamCount;
}

} // namespace

Reader::Reader(MediaCallback* main, CanvasRecord* target, ExtraPageRenderer* renderer)
    : mainListener(main), pageRenderer(renderer), canvas(target) {
    listeners.reserve(4);
}

Reader::~Reader() {
    leaveQueue();
}

bool Reader::play() {
    playing = true;
    return true;
}

bool Reader::stop() {
    playing = false;
    return true;
}

bool Reader::open(const std::string& path, uint64_t first) {
    failure.clear();
    if (!fileExists(path)) return false;
    close();
    collection = std::make_unique<VGMX>();
    if (!collection->openFile(path, first)) {
        failure = collection->lastLogLine();
        collection.reset();
        return false;
    }
    loaded = true;
    return getTrackCount() != 0;
}

bool Reader::openCollection(const VGMX& other) {
    close();
    collection = std::make_unique<VGMX>(other);
    loaded = true;
    return true;
}

uint64_t Reader::getTrackCount() const {
    return collection ? collection->getTrackCount() : 0;
}

const char* Reader::getTitle() const {
    return collection ? title.c_str() : nullptr;
}

bool Reader::selectTrack(uint64_t index) {
    if (!collection || index >= getTrackCount()) return false;
    selectedIndex = index;
    selectedOk = false;
    // An archive member is parsed into the one track the streamers read.
    const bool fromArchive = collection->container() != nullptr;
    if (fromArchive) {
        leaveQueue();
        releaseStreamers();
        titleTrack = -1;
    }
    MediaTrack& track = fromArchive ? collection->loadMember(index) : collection->track();
    if (track.chips.empty() || !track.playable) {
        if (!track.dataBlocks.empty() && mainListener)
            mainListener->mediaDataBlock(&track.dataBlocks);
        return false;
    }

    listeners.clear();
    if (mainListener) listeners.push_back(mainListener);
    for (MediaCallback* l : listeners) {
        l->mediaTrackSelected(uint32_t(index));
        l->mediaDataBlock(&track.dataBlocks);
    }
    leaveQueue();

    // The streamers are off the queue: none of them can call the old display.
    bool describable = true;
    if (canvas) {
        visualizer.reset();
        visualizer = std::make_unique<Visualizer>(canvas, pageRenderer);
        visualizer->showPage(displayPage);
        describable = visualizer->describeTrack(index + 1, getTrackCount(), track);
        listeners.push_back(visualizer.get());
    }

    if (titleTrack != int64_t(index)) {
        title = VNTRConv(track.tags[kTagGameName], 0) + " - " +
                (describable ? VNTRConv(track.tags[kTagTrackName], 0)
                             : std::string(Visualizer::kNoSuitableData));
        titleTrack = int64_t(index);
    }

    // Streamers of the right kind are set up again in place.
    size_t k = 0;
    for (const auto& [type, record] : track.chips) {
        const bool dac = isDacStream(type);
        if (k == streamers.size()) streamers.emplace_back();
        std::unique_ptr<ChipStreamer>& s = streamers[k++];
        if (!s || (dynamic_cast<DACStreamer*>(s.get()) != nullptr) != dac)
            s = dac ? std::make_unique<DACStreamer>() : std::make_unique<ChipStreamer>();
        s->setup(&record, track.loop, listeners, &track.dataBlocks);
        s->setSpeed(speed);
        for (MediaCallback* l : listeners) {
            l->mediaChipSetup(type, record.variant, record.commandRate);
            l->mediaChipClock(type, record.clock);
        }
    }
    streamers.resize(k);
    selectedOk = !streamers.empty();
    return selectedOk;
}

void Reader::seek(double seconds) {
    if (seconds != 0.0) return;
    for (auto& s : streamers) s->rewind();
}

void Reader::close() {
    leaveQueue();
    collection.reset();
    releaseStreamers();
    titleTrack = -1;
    selectedOk = false;
    playing = false;
    active = false;
    speed = 1.0;
    spare = 0;
    syncInfo = nullptr;
    loaded = false;
}

void Reader::setDisplayPage(uint32_t page) {
    displayPage = page;
    if (visualizer) visualizer->showPage(page);
}

void Reader::setSpeed(double factor) {
    // An endless factor would make every wait 0.
    if (factor > 0.001 && std::isfinite(factor)) speed = factor;
    for (auto& s : streamers) s->setSpeed(speed);
}

void Reader::detachStreamers(vantor::QuantumManager& queue) {
    for (auto& s : streamers) s->addPendingWait(queue.unschedule(s.get()));
    if (attachedTo == &queue) attachedTo = nullptr;
}

void Reader::attachStreamers(vantor::QuantumManager& queue) {
    // A second attach would queue every streamer twice.
    leaveQueue();
    for (auto& s : streamers)
        if (s->record()) queue.schedule(s.get(), ChipStreamer::kCookie);
    attachedTo = &queue;
}

void Reader::leaveQueue() {
    if (attachedTo) detachStreamers(*attachedTo);
}

void Reader::releaseStreamers() {
    for (auto& s : streamers) s->release();
}

} // namespace VGM
