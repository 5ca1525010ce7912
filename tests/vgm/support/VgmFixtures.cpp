#include "vgm/support/VgmFixtures.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <zip.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>

namespace vgmtest {

namespace {

void put32(Bytes& b, size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4, 0);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

VgmFile::VgmFile(uint32_t version, uint32_t dataStart) : head(dataStart < 0x40 ? 0x40 : dataStart) {
    std::memcpy(head.data(), "Vgm ", 4);
    put32(head, 0x08, version);
    put32(head, 0x34, static_cast<uint32_t>(head.size() - 0x34));
    if (head.size() == 0x40) put32(head, 0x34, 0);
}

VgmFile& VgmFile::set8(uint32_t offset, uint8_t v) {
    head.at(offset) = v;
    return *this;
}

VgmFile& VgmFile::set32(uint32_t offset, uint32_t v) {
    put32(head, offset, v);
    return *this;
}

VgmFile& VgmFile::op(std::initializer_list<uint8_t> b) {
    for (uint8_t x : b) {
        body.push_back(x);
        // Count the waits that the helpers did not add.
    }
    const uint8_t first = *b.begin();
    if (b.size() == 1 && first >= 0x70 && first <= 0x7F) counted += (first & 15) + 1;
    if (b.size() == 1 && first >= 0x80 && first <= 0x8F) counted += first & 15;
    if (b.size() == 1 && first == 0x62) counted += 735;
    if (b.size() == 1 && first == 0x63) counted += 882;
    return *this;
}

VgmFile& VgmFile::u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) body.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
}

VgmFile& VgmFile::wait(uint16_t ticks) {
    body.push_back(0x61);
    body.push_back(static_cast<uint8_t>(ticks));
    body.push_back(static_cast<uint8_t>(ticks >> 8));
    counted += ticks;
    return *this;
}

VgmFile& VgmFile::waitFrame() {
    body.push_back(0x62);
    counted += 735;
    return *this;
}

VgmFile& VgmFile::loopHere() {
    put32(head, 0x1C, static_cast<uint32_t>(head.size() + body.size() - 0x1C));
    put32(head, 0x20, 1);
    return *this;
}

VgmFile& VgmFile::block(uint8_t type, const Bytes& payload, bool secondChip) {
    op({0x67, 0x66, type});
    u32(static_cast<uint32_t>(payload.size()) | (secondChip ? 0x80000000u : 0));
    body.insert(body.end(), payload.begin(), payload.end());
    return *this;
}

VgmFile& VgmFile::totalSamples(uint32_t n) {
    put32(head, 0x18, n);
    totalSet = true;
    return *this;
}

VgmFile& VgmFile::gd3(const std::vector<std::u16string>& texts) {
    Bytes text;
    for (const std::u16string& s : texts) {
        for (char16_t c : s) {
            text.push_back(static_cast<uint8_t>(c));
            text.push_back(static_cast<uint8_t>(c >> 8));
        }
        text.push_back(0);
        text.push_back(0);
    }
    tag = {'G', 'd', '3', ' ', 0, 1, 0, 0};
    put32(tag, 8, static_cast<uint32_t>(text.size()));
    tag.insert(tag.end(), text.begin(), text.end());
    return *this;
}

Bytes VgmFile::bytes() const {
    Bytes out = head;
    out.insert(out.end(), body.begin(), body.end());
    if (!tag.empty()) {
        put32(out, 0x14, static_cast<uint32_t>(out.size() - 0x14));
        out.insert(out.end(), tag.begin(), tag.end());
    }
    if (!totalSet) put32(out, 0x18, static_cast<uint32_t>(counted));
    if (out.size() < 128) out.resize(128, 0x66);
    put32(out, 0x04, static_cast<uint32_t>(out.size() - 4));
    return out;
}

std::string describe(const VGM::MediaChipRecord& record, size_t from, size_t count) {
    std::string text;
    char item[48];
    for (size_t i = from; i < record.commands.size() && i < from + count; ++i) {
        const VGM::MediaCommand& c = record.commands[i];
        if (const VGM::PcmRun* run = VGM::pcmRunOf(record, c)) {
            // A run reads as the writes it stands for.
            for (uint32_t k = 0; k < run->count; ++k) {
                const unsigned delta = k ? record.pcmWaits[run->waitStart + k - 1] : c.delta;
                std::snprintf(item, sizeof item, "W%u:%02X=%02X", delta, VGM::kPcmRegister,
                              record.pcmBank[run->first + k]);
                if (!text.empty()) text += ' ';
                text += item;
            }
            continue;
        }
        if (c.kind == VGM::kCommandWrite) {
            std::snprintf(item, sizeof item, "W%u:%02X=%02X", c.delta, c.reg, c.value);
            if (c.port)
                std::snprintf(item + std::strlen(item), sizeof item - std::strlen(item), "@%u",
                              c.port);
        } else {
            std::snprintf(item, sizeof item, "%c%u", c.kind, c.delta);
        }
        if (!text.empty()) text += ' ';
        text += item;
    }
    return text;
}

std::string describe(const VGM::MediaChipRecord& record) {
    return describe(record, 0, record.commands.size());
}

Bytes gzipBytes(const Bytes& data, const std::string& storedName) {
    z_stream zs{};
    deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    gz_header header{};
    std::string name = storedName;
    if (!name.empty()) {
        header.name = reinterpret_cast<Bytef*>(name.data());
        deflateSetHeader(&zs, &header);
    }
    Bytes out(deflateBound(&zs, data.size()) + 64 + name.size());
    zs.next_in = const_cast<Bytef*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

void writeZip(const std::string& path, const std::vector<std::pair<std::string, Bytes>>& members) {
    zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    for (const auto& [name, bytes] : members) {
        zip_fileinfo info{};
        zipOpenNewFileInZip64(zf, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              Z_DEFAULT_COMPRESSION, 0);
        if (!bytes.empty())
            zipWriteInFileInZip(zf, bytes.data(), static_cast<unsigned>(bytes.size()));
        zipCloseFileInZip(zf);
    }
    zipClose(zf, nullptr);
}

Bytes zipBytes(const std::string& scratchPath,
               const std::vector<std::pair<std::string, Bytes>>& members) {
    writeZip(scratchPath, members);
    Bytes out = readFile(scratchPath);
    std::remove(scratchPath.c_str());
    return out;
}

Bytes sevenZipBytes(const std::vector<std::pair<std::string, Bytes>>& members) {
    // The writer converts names through the thread's character set, which
    // must be UTF-8 for a name beyond ASCII.
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    const locale_t previous = utf8 ? uselocale(utf8) : locale_t(0);
    Bytes out(1 << 20);
    size_t used = 0;
    struct archive* a = archive_write_new();
    archive_write_set_format_7zip(a);
    archive_write_open_memory(a, out.data(), out.size(), &used);
    for (const auto& [name, bytes] : members) {
        struct archive_entry* e = archive_entry_new();
        if (name.empty()) {
            archive_entry_set_pathname(e, "dir/");
            archive_entry_set_filetype(e, AE_IFDIR);
            archive_entry_set_perm(e, 0755);
        } else {
            archive_entry_update_pathname_utf8(e, name.c_str());
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_perm(e, 0644);
            archive_entry_set_size(e, static_cast<la_int64_t>(bytes.size()));
        }
        archive_write_header(a, e);
        if (!bytes.empty()) archive_write_data(a, bytes.data(), bytes.size());
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
    if (previous) uselocale(previous);
    out.resize(used);
    return out;
}

Bytes readFile(const std::string& path) {
    Bytes bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

namespace {
VgmFile minimalSongFile() {
    VgmFile f;
    f.set32(0x0C, 3579545).op({0x50, 0x9F}).waitFrame().op({0x50, 0x80}).end();
    return f;
}
} // namespace

Bytes minimalSong() {
    return minimalSongFile().bytes();
}

Bytes titledSong(const std::u16string& title) {
    return minimalSongFile().gd3({title}).bytes();
}

} // namespace vgmtest
