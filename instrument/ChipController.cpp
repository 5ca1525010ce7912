#include "instrument/ChipController.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "instrument/ChipControllerListener.h"
#include "vantor/PlatformTools.h"
#include "vgm/Reader.h"
#include "vgm/Visualizer.h"

namespace {

// The product the idle page names.
constexpr const char* kProductName = "sondrix MD";


// The chip type that stands for every chip of a track.
constexpr uint32_t kAllChips = 101;

uint32_t truncToU32(double v) {
    return uint32_t(std::clamp<int64_t>(PSaturateToInt64(v), 0, UINT32_MAX));
}

} // namespace

ChipController::ChipController(std::vector<ChipEmu*>* units, ChipControllerListener* listener)
    : vantor::QuantumManager(32), units(units), listener(listener) {}

ChipController::~ChipController() {
    if (player) {
        player->detachStreamers(*this);
        player.reset();
    }
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
    case kPlay:
        if (value > 0.0 && player) {
            player->detachStreamers(*this);
            if (player->selectionSucceeded()) {
                player->play();
                restartTransport();
            }
        }
        break;
    case kStop:
        if (value > 0.0 && player) {
            player->detachStreamers(*this);
            player->stop();
        }
        // Without a player the media unit is silenced all the same.
        mediaChipReset(kAllChips);
        mediaActiveOff();
        break;
    case kSelectTrack:
        selectMediaTrack(truncToU32(value));
        break;
    case kSpeed: {
        if (std::isnan(value)) break;
        const bool changed = value != speed;
        speed = value;
        if (!player) break;
        player->setSpeed(value);
        // Streamers on the queue wait at the old speed: they come off with
        // what they had left and go back on rescaled.
        if (changed && player->isAttached()) {
            player->detachStreamers(*this);
            player->attachStreamers(*this);
        }
        break;
    }
    case kSeek:
        if (!player) break;
        if (value == 0.0 && player->isAttached()) {
            // Every stream starts again from its first command at once.
            player->detachStreamers(*this);
            player->seek(value);
            player->attachStreamers(*this);
        } else {
            player->seek(value);
        }
        break;
    case kPreviousTrack:
        if (value > 0.0 && player)
            selectMediaTrack(player->currentTrack() > 0 ? player->currentTrack() - 1 : 0);
        break;
    case kNextTrack:
        if (value > 0.0 && player) {
            const uint64_t next = player->currentTrack() + 1;
            selectMediaTrack(next < player->getTrackCount() ? next : 0);
        }
        break;
    case kSameTrack:
        if (value > 0.0 && player) selectMediaTrack(player->currentTrack());
        break;
    case kDisplayPage:
        displayPage = truncToU32(value);
        if (player) {
            player->setDisplayPage(displayPage);
            showIdlePage(); // a closed file's display keeps its pages: the idle page stays
        }
        break;
    case kBeatTicks:
        if (value > 0.0) sync.beatTicks = truncToU32(value);
        break;
    case kHostSync:
        if (player) player->setSyncInfo(value > 0.0 ? &sync : nullptr);
        break;
    case kBarStart:
        sync.barStart = float(value);
        break;
    case kClose:
        if (value > 0.0 && player) {
            // The streamers leave the queue before their commands go.
            player->detachStreamers(*this);
            player->stop();
            player->close();
            mediaChipReset(kAllChips);
            mediaActiveOff();
            unitEnabled[kMediaUnit] = 0;
            showIdlePage();
        }
        break;
    case kLoopForever:
        loopStopEnabled = value == 0.0;
        break;
    default: // 11, 14, 17, 18
        break;
    }
}

void ChipController::selectMediaTrack(uint64_t index) {
    if (!player) return;
    mediaChipReset(kAllChips);
    player->detachStreamers(*this);
    const bool selected = player->selectTrack(index);
    // The same track again (a song that ends and starts over) is old news,
    // told without allocating.
    if (int64_t(player->currentTrack()) != reportedTrack) reportMedia();
    if (selected) restartTransport();
}

namespace {

// A value kept on its line, and short enough that a long name or message
// never pushes the lines after it out of the name text the report goes in.
std::string oneLine(std::string text) {
    constexpr size_t kLongest = 1024;
    if (text.size() > kLongest) {
        size_t end = kLongest; // not inside a UTF-8 sequence
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
        text.resize(end);
    }
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

} // namespace

std::string ChipController::mediaInfoText() const {
    if (!player) return openFailure.empty() ? std::string() : "why " + oneLine(openFailure) + "\n";
    VGM::VGMX* collection = player->mediaCollection();
    if (!collection) return {};
    std::string text = "tracks " + std::to_string(player->getTrackCount()) + "\ntrack " +
                       std::to_string(player->currentTrack()) + "\nplayable " +
                       (player->selectionSucceeded() ? "1" : "0") + "\n";
    const auto& songs = collection->songMembers();
    if (collection->container() && player->currentTrack() < songs.size())
        text += "member " + oneLine(songs[player->currentTrack()].displayName) + "\n";
    const VGM::MediaTrack& track = collection->track();
    for (const auto& [type, record] : track.chips)
        text += "chip " + std::to_string(type) + " " + std::to_string(record.clock) + " " +
                std::to_string(record.commandRate) + " " + std::to_string(record.totalLength) +
                " " + oneLine(record.name) + "\n";
    if (track.loop.marker >= 0) text += "loop " + std::to_string(track.loop.startTicks) + "\n";
    const std::string unplayed = player->selectionSucceeded() ? mediaUnplayed(track) : "";
    if (!unplayed.empty()) text += "unplayed " + oneLine(unplayed) + "\n";
    const std::string why = collection->lastLogLine();
    if (!why.empty()) text += "why " + oneLine(why) + "\n";
    return text;
}

void ChipController::reportMedia() {
    if (player && player->selectionSucceeded()) {
        if (VGM::VGMX* collection = player->mediaCollection()) {
            const std::string unplayed = mediaUnplayed(collection->track());
            if (!unplayed.empty() && unplayed != unplayedLogged)
                collection->appendLog("Media unit: not played: " + unplayed + "\n");
            unplayedLogged = unplayed;
        }
    }
    reportedTrack = player ? int64_t(player->currentTrack()) : -1;
    if (listener) listener->setNameText0(mediaInfoText().c_str());
}

double ChipController::getSyncValue(uint32_t id, uint32_t /*arg*/) {
    switch (id) {
    case kTempo:
        return sync.tempo;
    case kSpeed:
        return player ? player->speedFactor() : 1.0;
    case kSingleTrack:
        return player && player->getTrackCount() == 1 ? 1.0 : 0.0;
    case kLoopForever:
        return loopStopEnabled ? 0.0 : 1.0;
    default:
        return 0.0;
    }
}

bool ChipController::openMedia(uint32_t /*slot*/, const std::string& path, uint64_t first) {
    resetMediaUnit();
    if (player) {
        player->detachStreamers(*this);
        player.reset();
        unitEnabled[kMediaUnit] = 0;
    }
    unplayedLogged.clear();
    player = std::make_unique<VGM::Reader>(this, playerCanvas);
    if (!player->open(path, first)) {
        openFailure = player->openFailure();
        player.reset();
        showIdlePage(); // the last file's page goes
        reportMedia();
        return false;
    }
    openFailure.clear();
    mediaPath = path;
    player->setDisplayPage(displayPage);
    player->selectTrack(first < player->getTrackCount() ? first : 0);
    reportMedia();
    if (listener) {
        // The host learns what it plays: the title, whether there is one
        // track only, and the picture the file came with (none: empty).
        listener->setNameText1(player->getTitle());
        listener->syncValue(kSingleTrack, 0, player->getTrackCount() == 1 ? 1.0f : 0.0f);
        const std::vector<uint8_t>& picture = player->mediaCollection()->pictureBuffer();
        listener->publishImageFile(picture.data(), picture.size());
    }
    player->setSpeed(speed);
    showIdlePage(); // a first track that cannot be played draws no page
    return true;
}

void ChipController::setConsoleModel(const char* name) {
    if (!name) name = "";
    if (std::strncmp(consoleModel, name, sizeof consoleModel - 1) == 0) return;
    std::snprintf(consoleModel, sizeof consoleModel, "%s", name);
    showIdlePage();
}

void ChipController::showIdlePage() {
    if (!trackShown()) VGM::Visualizer::drawIdlePage(playerCanvas, kProductName, consoleModel);
}

bool ChipController::trackShown() const {
    return player && player->isLoaded() && player->display();
}

uint64_t ChipController::advance(uint64_t frames) {
    takeSongEnd();
    if (frames == 0) return 0;
    uint32_t dueRuns = 0;
    for (;;) {
        if (fired) {
            // The timer that fell due runs alone, time standing still, so
            // that a song it ends makes way for the next track at that very
            // sample, wherever the render's pieces happen to end.
            vantor::QuantumManager::advance(0);
            takeSongEnd();
            if (++dueRuns >= kMaxDueRunsPerSample) {
                // Timers keep falling due at this same sample: every entry
                // due now waits one sample, so time moves on.
                for (Entry& e : queue)
                    if (e.due <= now) e.due = now + 1;
                fired = false;
                dueRuns = 0;
            }
            continue;
        }
        const uint64_t n = vantor::QuantumManager::advance(frames);
        if (n != 0) return std::min(n, frames);
        // A timer is due now: it runs on the next turn.
    }
}

void ChipController::takeSongEnd() {
    if (!songFinished) return;
    songFinished = false;
    setSyncValue(kNextTrack, 0, 1.0);
}

uint64_t ChipController::step(uint64_t frames) {
    const uint64_t n = advance(frames);
    return n == 0 || n > frames ? frames : n;
}

void ChipController::render(int32_t** outputs, uint32_t channels, uint64_t frames) {
    renderSpans(outputs, channels, frames, nullptr);
}

bool ChipController::renderRows(int32_t** outputs, uint32_t channels, uint64_t frames,
                                SpreadRows& rows) {
    return renderSpans(outputs, channels, frames, &rows);
}

uint64_t ChipController::nextSpan(uint64_t remaining) {
    if (shortcut.owedFrames == 0) return step(remaining);
    // Time has passed over these already.
    const uint64_t n = std::min(shortcut.owedFrames, remaining);
    shortcut.owedFrames -= n;
    return n;
}

bool ChipController::renderSpans(int32_t** outputs, uint32_t channels, uint64_t frames,
                                 SpreadRows* rows) {
    if (frames < 1 || !outputs) return false;
    const uint64_t n = nextSpan(frames);
    // The usual block: no timer falls due inside it, one span.
    if (n == frames) return renderUnits(outputs, frames, rows);
    return renderCutSpans(outputs, channels, frames, n, rows);
}

bool ChipController::renderCutSpans(int32_t** outputs, uint32_t channels, uint64_t frames,
                                    uint64_t n, SpreadRows* rows) {
    // The units add into moving copies of the caller's pointers.
    int32_t* spans[16] = {};
    const uint32_t moved = std::min<uint32_t>(channels, 16);
    std::copy(outputs, outputs + moved, spans);
    int32_t** target = channels ? spans : outputs;

    bool touched = false;
    SpreadRows span;
    if (rows) span = *rows;
    for (uint64_t remaining = frames;;) {
        touched = renderUnits(target, n, rows ? &span : nullptr) || touched;
        for (uint32_t c = 0; c < moved; ++c) spans[c] += n;
        span.offset += n;
        remaining -= n;
        if (remaining == 0) break;
        n = nextSpan(remaining);
    }
    // A silent unit keeps the frames it owes across calls and pays for them
    // in one step when it is next used (written, set or found sounding), so
    // short host blocks do not pay once per block for units that stay silent.
    return touched;
}

bool ChipController::renderUnits(int32_t** outputs, uint64_t frames, SpreadRows* rows) {
    if (!units) return false;
    // A silent unit would add zeros: it only moves on.
    const bool fast = shortcuts;
    bool touched = false;
    // Rendering leaves the list of units as it is.
    ChipEmu* const* list = units->data();
    const size_t count = units->size();
    for (size_t i = 0; i < count; ++i) {
        ChipEmu* unit = list[i];
        if (!unit) continue;
        if (!unitEnabled[i & 15]) {
            // Skipped: what it added past the last block is not heard now.
            // Once taken back nothing is left until it renders again.
            if (spreadCarryRoom && (i >= 16 || shortcut.carryOut[i])) {
                touched = unit->retractCarry(outputs) || touched;
                if (i < 16) shortcut.carryOut[i] = 0;
            }
            continue;
        }
        if (fast && unit->knownSilent) {
            unit->oweSilent(frames); // as renderSpan would, without the call
        } else {
            shortcut.carryOut[i & 15] = 1; // (a unit past 16 is always told)
            touched = unit->renderSpan(outputs, frames, rows, fast, spreadCarryRoom) || touched;
        }
    }
    return touched;
}

bool ChipController::unitsSilent() {
    if (units)
        for (size_t i = 0; i < units->size(); ++i)
            if (unitEnabled[i & 15] && (*units)[i] && !(*units)[i]->isSilent()) return false;
    return true;
}

uint64_t ChipController::skipSilent(uint64_t frames) {
    uint64_t done = 0;
    while (done < frames && shortcut.owedFrames == 0) {
        // As render: the timers due now run, then time moves to the next.
        const uint64_t n = step(frames - done);
        if (!unitsSilent()) {
            shortcut.owedFrames = n;
            break;
        }
        if (units)
            for (size_t i = 0; i < units->size(); ++i)
                if (unitEnabled[i & 15] && (*units)[i]) (*units)[i]->advanceSilent(n);
        done += n;
    }
    return done;
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
    if (!player) return;
    player->setSpeed(speed);
    if (listener) listener->setNameText1(player->getTitle());
    if (player->isPlaying()) {
        player->attachStreamers(*this);
        unitEnabled[kMediaUnit] = 1;
    }
}
