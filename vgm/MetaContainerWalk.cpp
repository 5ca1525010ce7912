// The 7z and LHA sides of MetaContainer, read through libarchive. libarchive
// walks an archive in order only: listing is one walk, and unpacking member i
// opens a fresh reader and walks to entry i.

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

bool MetaContainer::openWalk(Kind kind) {
    ReaderCloser reader{openWalkReader(kind)};
    if (!reader.a) return false;
    archiveKind = kind;
    struct archive_entry* entry = nullptr;
    for (uint64_t index = 0; nextHeader(reader.a, &entry); ++index) {
        if (archive_entry_filetype(entry) == AE_IFDIR) continue;
        const char* name = archive_entry_pathname_utf8(entry);
        if (!name) name = archive_entry_pathname(entry);
        if (!name || !*name) continue;
        MetaMember m;
        m.displayName = name;
        m.storedName = name;
        m.size =
            archive_entry_size_is_set(entry) ? static_cast<uint64_t>(archive_entry_size(entry)) : 0;
        m.index = index;
        members.push_back(std::move(m));
    }
    return !members.empty();
}

// Walks to the member's entry and reads it into `out`, which grows with the
// data; the member must unpack to exactly its listed size.
bool MetaContainer::extractWalk(const MetaMember& member, std::vector<uint8_t>& out) {
    if (member.size == 0 || member.size > kMaxMemberSize) return false;
    ReaderCloser reader{openWalkReader(archiveKind)};
    if (!reader.a) return false;
    struct archive_entry* entry = nullptr;
    for (uint64_t index = 0;; ++index) {
        if (!nextHeader(reader.a, &entry)) return false;
        if (index == member.index) break;
    }
    out.clear();
    uint8_t chunk[65536];
    for (;;) {
        const la_ssize_t got = archive_read_data(reader.a, chunk, sizeof chunk);
        if (got < 0) return false;
        if (got == 0) break;
        if (out.size() + static_cast<uint64_t>(got) > member.size) return false;
        out.insert(out.end(), chunk, chunk + got);
    }
    return out.size() == member.size;
}

} // namespace vantor
