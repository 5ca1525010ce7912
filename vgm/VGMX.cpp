#include "vgm/VGMX.h"

#include "engine-support/VNTFile.h"
#include "engine-support/VirtualRAMFile.h"
#include "engine-support/XMLFile.h"
#include "vantor/PlatformTools.h"
#include "vantor/PlatformToolsFiles.h"
#include "vgm/DroReader.h"
#include "vgm/MediaFile.h"
#include "vgm/RawLogReader.h"
#include "vgm/VGMXVisitor.h"
#include "vgm/YmReader.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

namespace VGM {

namespace {

const std::map<std::string, MediaChipType>& chipNameMap() {
    static const std::map<std::string, MediaChipType> map = {
        {"YM2413", 4},     {"OPLL", 4},     {"YM2420", 30},  {"YMF271", 29},  {"YM2612", 5},
        {"OPN2", 5},       {"YM2151", 6},   {"OPM", 6},      {"YM3526", 12},  {"YM3812", 11},
        {"YMF262", 15},    {"YM2203", 7},   {"YM2608", 8},   {"YM2610", 9},   {"YM2610B", 10},
        {"Y8950", 13},     {"YMF278B", 28}, {"YMZ280B", 14}, {"OPSEGS", 71},  {"YM2164", 69},
        {"OPP", 69},       {"YM2414B", 70}, {"OPZ", 70},     {"YM7129", 60},  {"OPK2", 60},
        {"YMXXXX", 6},     {"SN76489", 0},  {"DCSG", 0},     {"PSSJ", 72},    {"AY8910", 31},
        {"AY-3-8910", 31}, {"PSG", 31},     {"AY8930", 68},  {"EPSG", 68},    {"SAA1099", 53},
        {"RP2A0X", 44},    {"NESAPU", 44},  {"RP2C33", 41},  {"FDS", 41},     {"POKEY", 36},
        {"TIA", 38},       {"MIKEY", 39},   {"VIC1", 77},    {"AMY", 40},     {"SCC", 59},
        {"GBDMG", 48},     {"D1771C", 61},  {"SDSP", 62},    {"TMS51XX", 64}, {"TMS5200", 65},
        {"6581", 77},      {"SID", 77},     {"CEM3394", 81}, {"CEM3396", 82}, {"DAC", 84},
        {"L431C", 83},     {"6526", 102},   {"CIA", 102},
    };
    return map;
}

// Built before any file is opened.
const bool chipNameMapReady = !chipNameMap().empty();

// UTF-8 to UTF-16 code units; a malformed byte stands for itself.
std::u16string utf16FromUtf8(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        const uint8_t c = static_cast<uint8_t>(s[i]);
        uint32_t cp = c;
        size_t n = 1;
        if (c >= 0xF0 && i + 3 < s.size()) {
            cp = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
                 (s[i + 3] & 0x3F);
            n = 4;
        } else if (c >= 0xE0 && i + 2 < s.size()) {
            cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            n = 3;
        } else if (c >= 0xC0 && i + 1 < s.size()) {
            cp = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F);
            n = 2;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += n;
    }
    return out;
}

} // namespace

MediaChipType chipTypeForName(const std::string& name) {
    (void)chipNameMapReady;
    const auto& map = chipNameMap();
    const auto it = map.find(name);
    return it == map.end() ? kChipNone : it->second;
}

VGMX::VGMX(const VGMX& other) : mediaTrack(other.mediaTrack) {}

// ---- opening ----------------------------------------------------------------------

bool VGMX::openFile(const std::string& path, uint64_t member) {
    if (!fileExists(path, true)) return false;
    const std::string ext = lowercase(getFileExtension(path));
    if (ext == "dro") return readDroFile(*this, path);
    if (ext == "ym") return readYmFile(*this, path);
    if (ext == "vgmx" || ext == "vgx") return openVgmx(path);
    if (ext == "zip" || ext == "7z" || ext == "vgm7z" || ext == "rar")
        return openArchive(path, member);
    if (ext == "vgm" || ext == "vgz" || ext == "gz") return openVgm(path);
    if (ext == "bin") return readRawLogFile(*this, path);
    return false;
}

bool VGMX::openVgmx(const std::string& path) {
    filePath = path;
    // The document has no tag to check first: its size is bounded, then it
    // is read whole in one go and parsed where it lies.
    std::vector<uint8_t> bytes;
    uint64_t size = 0;
    const MediaRead read = readMediaFile(path, "", bytes, size);
    if (read == MediaRead::kTooLarge) {
        appendLog(tooLargeLine("VGMX", "the document", size));
        return false;
    }
    if (read != MediaRead::kRead) {
        appendLog("VGMX: the document cannot be read\n");
        return mediaTrack.playable;
    }
    // XML text holds no zero byte: a file that does is not a document.
    if (const void* zero = std::memchr(bytes.data(), 0, bytes.size())) {
        const auto at = static_cast<const uint8_t*>(zero) - bytes.data();
        appendLog("VGMX: the file is not a document: it holds a zero byte at offset " +
                  std::to_string(at) + "\n");
        return false;
    }
    vantor::VirtualRAMFile file(bytes.data(), bytes.size());
    vantor::XMLFile xml;
    if (!xml.open(&file)) {
        appendLog("VGMX: the document cannot be read\n");
        return mediaTrack.playable;
    }
    return readVgmx(xml, 4096, bytes.size());
}

bool VGMX::parseVgmxBuffer(const uint8_t* data, uint64_t size) {
    vantor::VirtualRAMFile file(data, size);
    vantor::XMLFile xml;
    if (!xml.open(&file)) {
        appendLog("VGMX: the document cannot be read\n");
        return mediaTrack.playable;
    }
    return readVgmx(xml, 64, size);
}

bool VGMX::readVgmx(vantor::XMLFile& xml, uint64_t tokenRoom, uint64_t documentBytes) {
    buildBudget.start(documentBytes);
    VGMXVisitor visitor(filePath, &buildBudget);
    xml.parse(&visitor, tokenRoom);
    appendLog(visitor.diagnostics());
    if (budgetRefused("VGMX") || visitor.refused()) return false;
    mediaTrack = std::move(visitor.track());
    setTag(kTagTrackName, filePath);
    for (auto& [type, record] : mediaTrack.chips)
        for (const MediaCommand& c : record.commands) record.totalLength += c.delta;
    if (mediaTrack.chips.empty()) appendLog("VGMX: the document declares no chip\n");
    return playable();
}

bool VGMX::openArchive(const std::string& path, uint64_t member) {
    filePath = path;
    archive = std::make_unique<vantor::MetaContainer>(path);
    if (!archive->open()) {
        appendLog(
            archive->failureText("Archive: not a zip, 7z, LHA or gzip archive, or damaged\n"));
        return false;
    }
    if (archive->members.empty()) {
        appendLog("Archive: the archive holds no song (no .vgm, .vgz or .gz member)\n");
        return false;
    }
    // A later text, playlist or picture member replaces an earlier one, so
    // only the last of each kind is unpacked; songs wait for loadMember.
    const vantor::MetaMember* last[3] = {};
    static const char* const kSideKinds[3] = {"txt", "m3u", "png"};
    for (const vantor::MetaMember& m : archive->members) {
        const std::string ext = getFileExtension(m.displayName);
        if (ext == "vgm" || ext == "vgz" || ext == "gz") songs.push_back(m);
        for (int k = 0; k < 3; ++k)
            if (ext == kSideKinds[k]) last[k] = &m;
    }
    // In archive order with the song asked for (kind 3), so a 7z or LHA
    // reader walks once and every member is unpacked once.
    const vantor::MetaMember* wanted[4] = {last[0], last[1], last[2],
                                           member < songs.size() ? &songs[member] : nullptr};
    std::vector<int> order;
    for (int k = 0; k < 4; ++k)
        if (wanted[k]) order.push_back(k);
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return wanted[a]->index < wanted[b]->index; });
    std::vector<uint8_t>* buffers[3] = {&text, &playlist, &picture};
    std::vector<uint8_t> song;
    bool songUnpacked = false;
    for (int k : order) {
        std::vector<uint8_t> bytes;
        if (!archive->extractToVector(*wanted[k], bytes)) {
            appendUnpackFailure(*wanted[k]);
            continue;
        }
        if (k == 3) {
            song.swap(bytes);
            songUnpacked = true;
            continue;
        }
        if (k != 2) bytes.push_back(0);
        buffers[k]->swap(bytes);
    }
    // Parsed last: the parse starts the log afresh.
    if (songUnpacked) parseSong(member, song);
    if (songs.empty())
        appendLog("Archive: the archive holds no song (no .vgm, .vgz or .gz member)\n");
    return !songs.empty();
}

void VGMX::parseSong(uint64_t index, const std::vector<uint8_t>& bytes) {
    ++memberParses;
    mediaTrack.playable = parseVgmBuffer(bytes.data(), bytes.size());
    trackMember = int64_t(index); // the parse forgot the member the track held
}

void VGMX::appendUnpackFailure(const vantor::MetaMember& member) {
    const std::string fallback = "Archive: cannot unpack " + member.displayName + "\n";
    appendLog(archive ? archive->failureText(fallback) : fallback);
}

// Unpacks the first member of a recognised container and parses it.
bool VGMX::parseMember(vantor::MetaContainer& box) {
    if (box.members.empty()) return false;
    std::vector<uint8_t> bytes;
    if (!box.extractToVector(box.members.front(), bytes)) {
        appendLog(box.failureText("VGM: cannot unpack the compressed file\n"));
        return false;
    }
    vantor::VirtualRAMFile file(bytes.data(), bytes.size());
    return parseVgmFile(*this, file, true);
}

bool VGMX::openVgm(const std::string& path) {
    filePath = path;
    vantor::MetaContainer box(path);
    if (box.open()) return parseMember(box);
    // The parser checks the length, the marker and the size bound before it
    // reads the file whole.
    vantor::VNTFile file(path);
    if (!file.isOpen()) return false;
    return parseVgmFile(*this, file, true);
}

uint64_t VGMX::getTrackCount() const {
    return archive ? songs.size() : 1;
}

MediaTrack& VGMX::loadMember(uint64_t index) {
    if (!archive || index >= songs.size()) return mediaTrack;
    if (trackMember == int64_t(index)) return mediaTrack;
    std::vector<uint8_t> bytes;
    if (archive->extractToVector(songs[index], bytes)) {
        parseSong(index, bytes);
    } else {
        appendUnpackFailure(songs[index]);
        trackMember = -1;
        mediaTrack.playable = false;
    }
    return mediaTrack;
}

bool VGMX::parseVgmBuffer(const uint8_t* data, uint64_t size) {
    vantor::MetaContainer box(data, size);
    if (box.open()) return parseMember(box);
    vantor::VirtualRAMFile file(data, size);
    return parseVgmFile(*this, file, true);
}

// ---- the track --------------------------------------------------------------------

void VGMX::addChipRecord(const MediaChipRecord& record, bool start) {
    MediaChipRecord& stored = mediaTrack.chips[record.type];
    stored = record;
    if (start) stored.commands.push_back({0, kCommandStart, 0, 0, 0});
}

MediaChipRecord& VGMX::chipRecord(MediaChipType type) {
    auto it = mediaTrack.chips.find(type);
    if (it == mediaTrack.chips.end()) {
        it = mediaTrack.chips.emplace(type, MediaChipRecord{}).first;
        it->second.type = type;
    }
    return it->second;
}

void VGMX::appendToChip(MediaChipType type, PendingWaits& waits, uint8_t value, uint8_t port,
                        uint8_t reg, uint8_t kind) {
    appendCommand(chipRecord(type), waits.take(type), value, port, reg, kind);
}

void VGMX::appendToChipDirect(MediaChipType type, uint64_t delta, uint8_t value, uint8_t port,
                              uint8_t reg, uint8_t kind) {
    appendCommand(chipRecord(type), delta, value, port, reg, kind);
}

void VGMX::closeAll(PendingWaits& waits, uint8_t kind) {
    for (auto& [type, record] : mediaTrack.chips)
        appendCommand(record, waits.take(type), 0, 0, 0, kind);
}

void VGMX::buildPcmStreamRecords(uint32_t clock, uint32_t count, const std::string& chipName,
                                 uint32_t chipFlags) {
    for (uint32_t i = 0; i < count && i < kChipDacStreamCount; ++i) {
        MediaChipRecord r;
        r.type = kChipDacStream0 + i;
        r.name = "DAC";
        r.shortName = chipName;
        r.clock = clock;
        r.commandRate = 44100;
        r.chipFlags = chipFlags;
        r.variant = chipFlags;
        addChipRecord(r, true);
    }
}

std::string VGMX::lastLogLine() const {
    size_t end = log.size();
    while (end > 0 && (log[end - 1] == '\n' || log[end - 1] == '\r')) --end;
    const size_t start = end ? log.rfind('\n', end - 1) : std::string::npos;
    const size_t from = start == std::string::npos ? 0 : start + 1;
    return log.substr(from, end - from);
}

void VGMX::appendLog(const std::string& line) {
    if (log.size() >= kMaxLogText) return;
    log += line;
    if (log.size() >= kMaxLogText) log += "(log text cut here)\n";
}

void VGMX::setTag(TagIndex tag, const std::string& utf8) {
    if (tag >= 0 && tag < kTagCount) mediaTrack.tags[tag] = utf16FromUtf8(utf8);
}

void VGMX::pcmSeek(uint32_t offset) {
    pcmPosition = offset;
    if (mediaTrack.dataBlocks.empty()) return;
    std::vector<uint32_t>& seeks = mediaTrack.dataBlocks.front().seekOffsets;
    if (seeks.size() == kMaxSeekOffsets && offset > seeks.back()) return;
    if (seeks.capacity() < kMaxSeekOffsets) seeks.reserve(kMaxSeekOffsets);
    const auto at = std::lower_bound(seeks.begin(), seeks.end(), offset);
    if (at != seeks.end() && *at == offset) return;
    if (seeks.size() == kMaxSeekOffsets) seeks.pop_back();
    seeks.insert(at, offset);
}

const uint8_t* VGMX::ym2612PcmData(uint64_t& size) {
    size = 0;
    if (pcmBank.empty()) {
        if (!pcmMissingLogged) appendLog("OPN2 Data needed but no PCM data in file?\n");
        pcmMissingLogged = true;
        return nullptr;
    }
    size = pcmBank.size();
    return pcmBank.data();
}

bool VGMX::budgetRefused(const std::string& reader) {
    if (!buildBudget.spent) return false;
    appendLog(budgetLine(reader, buildBudget));
    mediaTrack.playable = false;
    return true;
}

bool VGMX::playable() {
    if (!mediaTrack.chips.empty()) mediaTrack.playable = true;
    return mediaTrack.playable;
}

void VGMX::reset() {
    mediaTrack.dataBlocks.clear();
    mediaTrack.chips.clear();
    mediaTrack.loop = MediaLoop{};
    for (auto& tag : mediaTrack.tags) tag.clear();
    mediaTrack.playable = false;
    mediaTrack.volumeGain = 1.0f;
    pcmPosition = 0;
    trackMember = -1;
    pcmBank.clear();
    pcmMissingLogged = false;
    log.clear();
}

} // namespace VGM
