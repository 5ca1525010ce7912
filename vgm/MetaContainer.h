// An archive held in a file or in a memory buffer: lists its members and
// unpacks one into memory. The kind is recognised from the first bytes, never
// from the name: zip ("PK" 3 4, through minizip), 7z (37 7A BC AF) and LHA
// ("-lh?-" or "-lz?-" method id at byte 2 of the first member header), both
// through libarchive, and gzip (1F 8B 08, raw deflate through zlib; the gzip
// members of one file, RFC 1952, unpack as one, each checked against its
// CRC-32 and size). Sizes the archive claims are checked against the bytes present before
// anything is allocated for them, and no member is unpacked beyond the media
// bound (vgm/MediaFile.h).
//
// Work stays linear in what is used: a zip member is reached through the
// directory position noted while listing, not by a name search from the first
// entry. libarchive reads in order only, so the container keeps one reader
// open and walks on from the member it unpacked last; members asked for in
// ascending order cost one walk, and only going back starts a new one. In a
// 7z every member before the wanted one is decompressed on the way (in a solid
// block there is no other way to it), so a member is refused when reaching it
// would unpack more than kMaxWalkBytes. The work counters let callers (and tests) see what was done.
#pragma once

#include "vgm/MediaFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct archive;

namespace vantor {

struct MetaMember {
    std::string displayName; // UTF-8
    uint64_t size = 0;       // unpacked size in bytes
    uint64_t packedSize = 0; // stored size when the archive tells it, else 0
    uint64_t index = 0;      // position in the archive
    uint32_t encoding = 0;   // CHARACTER_ENCODING the stored name was read in
    std::string storedName;  // the name bytes as the archive stores them
};

// Inflates a raw deflate stream into exactly the output buffer's room; true
// when the stream ended inside it.
bool inflateRawBuffer(const uint8_t* input, uint64_t inputLength, uint8_t* output,
                      uint64_t outputLength);

class MetaContainer {
public:
    enum Kind : uint32_t { kNotOpen = 0, kZip = 1, kGzip = 2, k7z = 4, kLha = 8 };
    enum Source : uint32_t { kSourcePath = 2, kSourceMemory = 3 };

    // No member is ever unpacked beyond this size.
    static constexpr uint64_t kMaxMemberSize = VGM::kMaxMediaBytes;
    // 7z and LHA: the most one walk may unpack to reach a member and read it.
    static constexpr uint64_t kMaxWalkBytes = 4 * VGM::kMaxMediaBytes;

    // What the container has done since it was made.
    struct Work {
        uint64_t entriesVisited = 0; // directory entries or member headers looked at to reach members
        uint64_t bytesUnpacked = 0;  // bytes decompressed (for 7z and LHA: skipped members included)
        uint64_t walks = 0;          // libarchive readers opened (the listing included)
    };

    explicit MetaContainer(const std::string& path);
    MetaContainer(const uint8_t* data, uint64_t size); // caller keeps the buffer alive
    MetaContainer();
    virtual ~MetaContainer();
    MetaContainer(const MetaContainer&) = delete;
    MetaContainer& operator=(const MetaContainer&) = delete;

    // Recognises the kind and lists the members.
    bool open();
    // Unpacks a member into `destination`, which holds at least its size.
    bool extractToMemory(const MetaMember& member, uint8_t* destination);
    // Resizes `out` to the member's size and unpacks into it; size 0 fails.
    bool extractToVector(const MetaMember& member, std::vector<uint8_t>& out);
    // Writes a zip, 7z or LHA member to directory + "/" + its display name.
    bool extractToFile(const MetaMember& member, const std::string& directory);

    Kind kind() const { return archiveKind; }
    const Work& work() const { return done; }
    // Why the last extraction was refused when the member's size or the work
    // to reach it passed a bound (empty when it failed for another reason).
    const std::string& refusal() const { return refusalText; }
    // The refusal, or `fallback` when the last extraction failed for another reason.
    std::string failureText(const std::string& fallback) const {
        return refusalText.empty() ? fallback : refusalText;
    }
    uint32_t magic() const { return magicWord; }
    const std::string& path() const { return sourcePath; }

    std::vector<MetaMember> members;

private:
    struct GzipState;

    bool readMagicFromPath();
    // The refusal of an archive listing more than kMaxArchiveEntries entries.
    static std::string tooManyEntries();
    bool openZip();
    // 7z and LHA: listed and unpacked by walking a libarchive reader.
    bool openWalk(Kind kind);
    // One listing walk; false when a header stopped it short of the end.
    bool listWalk(Kind kind);
    bool openGzip();
    bool extractZip(const MetaMember& member, uint8_t* destination);
    bool extractWalk(const MetaMember& member, std::vector<uint8_t>& out);
    bool readWalkEntry(uint64_t size, std::vector<uint8_t>* out);
    // Goes to the zip entry of the member: by its noted directory position, or
    // by name for a record this container did not list.
    bool locateZip(const MetaMember& member);
    // Refuses a member whose size passes the bound; sets the refusal text.
    bool refuseLarge(const MetaMember& member);
    // gzip (MetaContainerGzip.cpp): inflates every member of the file into
    // `out`, which holds `room` bytes (null: counts the bytes only, up to the
    // member bound), checking each member's CRC-32 and ISIZE. kNoRoom: the
    // data goes on past `room`; kRefused: damaged or past the bound, with the
    // refusal text set.
    enum class GzipResult { kDone, kNoRoom, kRefused };
    GzipResult inflateGzip(uint8_t* out, uint64_t room, uint64_t& total);
    bool extractGzip(const MetaMember& member, std::vector<uint8_t>& out);
    // Opens a libarchive reader for `kind` on the source; null on failure.
    ::archive* openWalkReader(Kind kind);
    bool isWalkKind() const { return archiveKind == k7z || archiveKind == kLha; }
    void closeArchive();
    void closeWalker();
    void removeTempCopy();

    Source source;
    const uint8_t* sourceData = nullptr;
    uint64_t sourceSize = 0;
    std::string sourcePath;
    Kind archiveKind = kNotOpen;
    uint32_t magicWord = 0;
    uint8_t head[8] = {};       // the first bytes of the data, zero past its end
    bool wroteTempCopy = false; // sourcePath is our own copy of a zip held in memory
    void* zipHandle = nullptr;
    std::vector<std::pair<uint64_t, uint64_t>> zipPositions; // per member: directory offset, entry number
    std::unique_ptr<GzipState> gzip;
    ::archive* walker = nullptr;       // the open libarchive reader of a 7z or LHA
    uint64_t walkNext = 0;             // index of the entry header it reads next
    std::vector<uint64_t> entrySizes;  // 7z and LHA: the stated size of every entry by index
    bool lhaNamesAsLatin1 = false;     // LHA names read byte for byte (not UTF-8)
    Work done;
    std::string refusalText;
};

} // namespace vantor
