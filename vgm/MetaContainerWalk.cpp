// The 7z and LHA sides of MetaContainer, read through libarchive. libarchive
// walks an archive in order only: listing is one walk, and unpacking goes on
// from where the open reader stands, starting a new walk only for a member
// behind it.

#include "vgm/MetaContainer.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>

namespace vantor {

namespace {

struct ReaderCloser {
    struct archive* a;
    ~ReaderCloser() {
        if (a) archive_read_free(a);
    }
};

// libarchive gives an entry's name in the calling thread's character set,
// converting a 7z name from the UTF-16 it is stored in: in the "C" locale a
// process starts in, a name beyond ASCII converts to nothing, and the member
// would vanish from the list (moving every member number after it). The
// library is called under a UTF-8 character set, for this thread alone and
// only while it reads.
class Utf8Names {
public:
    Utf8Names() {
        static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
        if (utf8) previous = uselocale(utf8);
    }
    ~Utf8Names() {
        if (previous) uselocale(previous);
    }
    Utf8Names(const Utf8Names&) = delete;
    Utf8Names& operator=(const Utf8Names&) = delete;

private:
    locale_t previous = locale_t(0);
};

// A header read with a warning (a name in an unexpected character set, say)
// still describes its entry. `ended` tells the end of the archive from a
// header that could not be read.
bool nextHeader(struct archive* a, struct archive_entry** entry, bool* ended = nullptr) {
    const int result = archive_read_next_header(a, entry);
    if (ended) *ended = result == ARCHIVE_EOF;
    return result == ARCHIVE_OK || result == ARCHIVE_WARN;
}

// The entry's name in UTF-8 where it converts, else as stored. A name of
// plain ASCII is the same either way and is taken as it stands: the
// conversion sets up a character-set converter for every entry, nearly half
// the cost of listing an archive of many small members.
const char* entryName(struct archive_entry* entry) {
    const char* stored = archive_entry_pathname(entry);
    if (stored) {
        const char* c = stored;
        while (*c && static_cast<unsigned char>(*c) < 0x80) ++c;
        if (!*c) return stored;
    }
    const char* utf8 = archive_entry_pathname_utf8(entry);
    return utf8 ? utf8 : stored;
}

} // namespace

::archive* MetaContainer::openWalkReader(Kind kind) {
    struct archive* a = archive_read_new();
    if (!a) return nullptr;
    ++done.walks;
    if (kind == kLha) {
        archive_read_support_format_lha(a);
        if (lhaNamesAsLatin1) archive_read_set_options(a, "lha:hdrcharset=ISO-8859-1");
    } else
        archive_read_support_format_7zip(a);
    int result = ARCHIVE_FATAL;
    if (source == kSourceMemory)
        result = archive_read_open_memory(a, sourceData, static_cast<size_t>(sourceSize));
    else
        result = archive_read_open_filename(a, sourcePath.c_str(), 16384);
    if (result != ARCHIVE_OK) {
        archive_read_free(a);
        return nullptr;
    }
    return a;
}

void MetaContainer::closeWalker() {
    if (walker) archive_read_free(walker);
    walker = nullptr;
    walkNext = 0;
}

// Listing reads the headers only: libarchive decompresses nothing for
// entries whose data is never asked for. An LHA does not say the character
// set of its names, and libarchive stops at a name that is not in the one
// it reads (UTF-8 here): such an archive is listed again with its names
// read as Latin-1, which takes any byte, so Shift JIS or Latin-1 names do
// not lose the archive.
bool MetaContainer::openWalk(Kind kind) {
    const Utf8Names names;
    lhaNamesAsLatin1 = false;
    if (listWalk(kind) || kind != kLha || !refusalText.empty()) return !members.empty();
    members.clear();
    entrySizes.clear();
    lhaNamesAsLatin1 = true;
    listWalk(kind);
    return !members.empty();
}

bool MetaContainer::listWalk(Kind kind) {
    ReaderCloser reader{openWalkReader(kind)};
    if (!reader.a) return false;
    archiveKind = kind;
    struct archive_entry* entry = nullptr;
    bool ended = false;
    for (uint64_t index = 0; nextHeader(reader.a, &entry, &ended); ++index) {
        if (index == VGM::kMaxArchiveEntries) {
            refusalText = tooManyEntries();
            members.clear();
            return false;
        }
        ++done.entriesVisited;
        const bool sized = archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0;
        const uint64_t size = sized ? static_cast<uint64_t>(archive_entry_size(entry)) : 0;
        entrySizes.push_back(size);
        if (archive_entry_filetype(entry) == AE_IFDIR) continue;
        const char* name = entryName(entry);
        if (!name || !*name) continue;
        MetaMember m;
        m.displayName = name;
        m.storedName = name;
        m.size = size;
        m.index = index;
        members.push_back(std::move(m));
    }
    return ended;
}

// Reads the data of the entry the reader stands on into `out`, which grows
// with it, or drops it when `out` is null; false when the data fails or does
// not end within `size` bytes.
bool MetaContainer::readWalkEntry(uint64_t size, std::vector<uint8_t>* out) {
    uint8_t chunk[65536];
    uint64_t total = 0;
    for (;;) {
        const la_ssize_t got = archive_read_data(walker, chunk, sizeof chunk);
        if (got < 0) return false;
        if (got == 0) return true;
        total += static_cast<uint64_t>(got);
        done.bytesUnpacked += static_cast<uint64_t>(got);
        if (total > size) return false;
        if (out) out->insert(out->end(), chunk, chunk + got);
    }
}

// Walks on to the member's entry (from the start again when it lies behind
// the reader) and reads it into `out`, which grows with the data; the member
// must unpack to exactly its listed size. A 7z member in a solid block can
// only be reached by decompressing what lies before it in the block, so the
// 7z entries stepped over are read and dropped here, counted and bounded with
// the walk. (Leaving that to libarchive's skipping is no cheaper, and its
// skip-then-read path fails on large solid blocks.) LHA entries are skipped
// without unpacking.
bool MetaContainer::extractWalk(const MetaMember& member, std::vector<uint8_t>& out) {
    const Utf8Names names;
    if (member.size == 0) return false; // the callers have refused a member too large
    if (member.index >= entrySizes.size() || entrySizes[member.index] != member.size) return false;
    if (walker && member.index < walkNext) closeWalker();
    const bool drain = archiveKind == k7z;
    uint64_t cost = member.size;
    if (drain)
        for (uint64_t i = walker ? walkNext : 0; i < member.index; ++i) cost += entrySizes[i];
    if (cost > kMaxWalkBytes) {
        refusalText = "Archive: reaching the member " + member.displayName + " would unpack " +
                      std::to_string(VGM::megabytes(cost)) + " MB, more than the " +
                      std::to_string(kMaxWalkBytes >> 20) +
                      " MB one walk through the archive may unpack; it is refused\n";
        return false;
    }
    if (!walker) {
        walker = openWalkReader(archiveKind);
        if (!walker) return false;
    }
    struct archive_entry* entry = nullptr;
    while (walkNext <= member.index) {
        ++done.entriesVisited;
        const uint64_t index = walkNext++;
        if (!nextHeader(walker, &entry) ||
            (drain && index < member.index && !readWalkEntry(entrySizes[index], nullptr))) {
            closeWalker();
            return false;
        }
    }
    out.clear();
    if (!readWalkEntry(member.size, &out)) {
        closeWalker();
        return false;
    }
    return out.size() == member.size;
}

} // namespace vantor
