// The media collection built from one media file: the track the player
// replays (chip records with their command lists, PCM data blocks, loop point,
// tags, playable flag), the log text every reader appends its diagnostics to,
// and for an archive the container with its song members and the raw bytes of
// its text, playlist and picture members. Files are opened by extension; the
// readers fill the track through the append operations below, so the player
// never sees the file format.
#pragma once

#include "vgm/MediaFile.h"
#include "vgm/MediaTrack.h"
#include "vgm/MetaContainer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantor {
class VirtualFile;
class XMLFile;
} // namespace vantor

namespace VGM {

// Type of a chip name used by the VGMX document reader; 100 for an unknown or
// empty name. Names are compared case-sensitively.
MediaChipType chipTypeForName(const std::string& name);

// The ticks each chip has waited since its previous command. The song clock
// only moves forward, so a chip's wait is the distance from its last command.
class PendingWaits {
public:
    void advance(uint64_t ticks) { now += ticks; }
    uint64_t elapsed() const { return now; }
    uint64_t peek(MediaChipType type) const { return now - last[type % kChipNone]; }
    // The chip's wait, which then starts again from 0.
    uint64_t take(MediaChipType type) {
        const uint64_t wait = peek(type);
        last[type % kChipNone] = now;
        return wait;
    }

private:
    uint64_t now = 0;
    uint64_t last[kChipNone] = {};
};

class VGMX {
public:
    // The log text stops growing here; a broken file cannot fill memory with lines.
    static constexpr size_t kMaxLogText = 64 * 1024;

    VGMX() = default;
    VGMX(const VGMX& other); // takes the other collection's track only
    VGMX& operator=(const VGMX&) = delete;
    virtual ~VGMX() = default;

    static constexpr uint64_t kNoMember = UINT64_MAX;
    // Opens a media file by its extension (compared in lower case). Of an
    // archive, song member `member` (from 0, when there is one) is unpacked
    // and parsed on the same walk as the text, playlist and picture members.
    bool openFile(const std::string& path, uint64_t member = kNoMember);
    // 1 without an archive, else the number of song members.
    uint64_t getTrackCount() const;
    // Unpacks and parses song member i of the archive, unless the track
    // holds it already; its result is the track's playable flag.
    MediaTrack& loadMember(uint64_t index);
    // Song members unpacked and parsed so far (0 without an archive).
    uint64_t membersParsed() const { return memberParses; }
    // Parses a VGM held in memory, gzip-compressed or plain.
    bool parseVgmBuffer(const uint8_t* data, uint64_t size);
    // Reads a VGMX document held in memory (the file opener's work without a file).
    bool parseVgmxBuffer(const uint8_t* data, uint64_t size);

    // ---- what the readers fill the track with ----------------------------------
    // Stores a copy of the record under its type; `start` appends the 'S' command.
    void addChipRecord(const MediaChipRecord& record, bool start);
    // Appends through the budget: once it is spent, commands are dropped.
    void appendCommand(MediaChipRecord& record, uint64_t delta, uint8_t value, uint8_t port,
                       uint8_t reg, uint8_t kind) {
        if (!buildBudget.makeRoom(record.commands, 1)) return;
        record.totalLength += delta;
        record.hasPort |= port != 0;
        record.hasRegister |= reg != 0;
        record.commands.push_back({static_cast<uint32_t>(delta), kind, reg, value, port});
    }
    // Appends to the chip's record (made empty when missing) with its pending wait.
    void appendToChip(MediaChipType type, PendingWaits& waits, uint8_t value, uint8_t port,
                      uint8_t reg, uint8_t kind);
    void appendToChipDirect(MediaChipType type, uint64_t delta, uint8_t value, uint8_t port,
                            uint8_t reg, uint8_t kind);
    // Every record gets a command of `kind` with its pending wait.
    void closeAll(PendingWaits& waits, uint8_t kind);
    // DAC stream records 84 .. 84 + count - 1 for one PCM chip.
    void buildPcmStreamRecords(uint32_t clock, uint32_t count, const std::string& chipName,
                               uint32_t chipFlags);
    MediaChipRecord& chipRecord(MediaChipType type);

    void appendLog(const std::string& text);
    void setTag(TagIndex tag, const std::string& utf8);
    // The YM2612 PCM data position moves to `offset`, which the first data
    // block remembers as a seek target (the smallest kMaxSeekOffsets only).
    void pcmSeek(uint32_t offset);
    // The YM2612 PCM bank (every YM2612 data block in file order); null, with
    // a log line, when the file has none.
    const uint8_t* ym2612PcmData(uint64_t& size);
    std::vector<uint8_t>& ym2612PcmBank() { return pcmBank; }
    // The bound on what the reader builds from the file it reads now; every
    // reader starts it with the file's size (unpacked) before it builds.
    MediaBudget& budget() { return buildBudget; }
    // True, with the reader's refusal logged, when the budget was spent.
    bool budgetRefused(const std::string& reader);
    // Sets and returns the playable flag when the track has chips.
    bool playable();
    // Empties the track and the reader state before a parse.
    void reset();

    MediaTrack& track() { return mediaTrack; }
    const MediaTrack& track() const { return mediaTrack; }
    const std::string& logText() const { return log; }
    // The log's last non-empty line: why an open or a selection failed.
    std::string lastLogLine() const;
    const std::string& path() const { return filePath; }
    void setPath(const std::string& path) { filePath = path; }
    const std::vector<vantor::MetaMember>& songMembers() const { return songs; }
    const std::vector<uint8_t>& textBuffer() const { return text; }
    const std::vector<uint8_t>& playlistBuffer() const { return playlist; }
    const std::vector<uint8_t>& pictureBuffer() const { return picture; }
    uint64_t pictureSize() const { return picture.size(); }
    vantor::MetaContainer* container() { return archive.get(); }

    uint32_t pcmPosition = 0; // YM2612 PCM data position

private:
    bool openArchive(const std::string& path, uint64_t member);
    // Parses song member `index` from its unpacked bytes into the track.
    void parseSong(uint64_t index, const std::vector<uint8_t>& bytes);
    bool openVgm(const std::string& path);
    bool openVgmx(const std::string& path);
    // Parses the document the reader was opened on and takes its track.
    bool readVgmx(vantor::XMLFile& xml, uint64_t tokenRoom, uint64_t documentBytes);
    bool parseMember(vantor::MetaContainer& box);
    // Logs why an archive member could not be unpacked.
    void appendUnpackFailure(const vantor::MetaMember& member);

    std::string log;
    std::unique_ptr<vantor::MetaContainer> archive;
    std::vector<uint8_t> text;     // "txt" member plus a terminating zero
    std::vector<uint8_t> playlist; // "m3u" member plus a terminating zero
    std::vector<uint8_t> picture;  // "png" member
    std::string filePath;
    std::vector<vantor::MetaMember> songs;
    std::vector<uint8_t> pcmBank;
    bool pcmMissingLogged = false;
    MediaBudget buildBudget;
    MediaTrack mediaTrack;
    int64_t trackMember = -1; // the song member the track holds; -1 none
    uint64_t memberParses = 0;
};

// Reads one VGM register log into the collection's track; false with log
// lines when the file cannot be played.
bool parseVgmFile(VGMX& collection, vantor::VirtualFile& file, bool readTags);

} // namespace VGM
