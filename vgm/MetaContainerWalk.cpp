// The 7z and LHA sides of MetaContainer, read through libarchive. libarchive
// walks an archive in order only: listing is one walk, and unpacking goes on
// from where the open reader stands, starting a new walk only for a member
// behind it.

#include "vgm/MetaContainer.h"

#include <archive.h>
#include <archive_entry.h>

namespace vantor {

namespace {

struct ReaderCloser {
    struct archive* a;
    ~ReaderCloser() {
        if (a) archive_read_free(a);
    }
};

// A header read with a warning (a name in an unexpected character set, say)
// still describes its entry.
bool nextHeader(struct archive* a, struct archive_entry** entry) {
    const int result = archive_read_next_header(a, entry);
    return result == ARCHIVE_OK || result == ARCHIVE_WARN;
}

} // namespace

::archive* MetaContainer::openWalkReader(Kind kind) {
    struct archive* a = archive_read_new();
    if (!a) return nullptr;
    ++done.walks;
    if (kind == kLha)
        archive_read_support_format_lha(a);
    else
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
// entries whose data is never asked for.
bool MetaContainer::openWalk(Kind kind) {
    ReaderCloser reader{openWalkReader(kind)};
    if (!reader.a) return false;
    archiveKind = kind;
    struct archive_entry* entry = nullptr;
    for (uint64_t index = 0; nextHeader(reader.a, &entry); ++index) {
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
        const char* name = archive_entry_pathname_utf8(entry);
        if (!name) name = archive_entry_pathname(entry);
        if (!name || !*name) continue;
        MetaMember m;
        m.displayName = name;
        m.storedName = name;
        m.size = size;
        m.index = index;
        members.push_back(std::move(m));
    }
    return !members.empty();
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
