#include "vantor/PlatformToolsFiles.h"

#include "platform/RegularFile.h"
#include "vantor/PlatformTools.h"
#include "vantor/PlatformToolsDesktop.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

size_t lastSeparator(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t back = path.rfind('\\');
    if (slash == std::string::npos) return back;
    if (back == std::string::npos) return slash;
    return slash > back ? slash : back;
}

// Length of an open stream, found by seeking to its end; the stream is left at
// its start. False when a seek or the position query fails.
bool streamLength(FILE* f, uint64_t& length) {
    if (::fseeko(f, 0, SEEK_END) != 0) return false;
    const off_t end = ::ftello(f);
    if (end < 0) return false;
    if (::fseeko(f, 0, SEEK_SET) != 0) return false;
    length = static_cast<uint64_t>(end);
    return true;
}

// Reads a whole regular file into `text`; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string& text) {
    FILE* f = platform::openRegularStream(path);
    if (!f) return false;
    uint64_t length = 0;
    bool ok = streamLength(f, length) && length <= text.max_size();
    if (ok) {
        try {
            text.resize(static_cast<size_t>(length));
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    if (ok && length > 0) ok = std::fread(text.data(), 1, length, f) == length;
    std::fclose(f);
    return ok;
}

// Files created in a folder that other users can write to (the temporary
// folder, /tmp) are opened without following a link, and only a regular file
// of our own is written there.
bool inSharedFolder(const std::string& path) {
    const std::string temp = getTempDir();
    if (!temp.empty() && path.compare(0, temp.size(), temp) == 0) return true;
    const size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    struct stat st {};
    if (::stat(parent.c_str(), &st) != 0) return false;
    return (st.st_mode & (S_IWOTH | S_ISVTX)) != 0;
}

} // namespace

// ---- Path strings -------------------------------------------------------------------

bool pathIsRelative(const std::string& path) {
    return path.empty() || path[0] != '/';
}

std::string getFileExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string stripFileExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string getFileFromPath(const std::string& path) {
    const size_t sep = lastSeparator(path);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string getPathFromFile(const std::string& path) {
    if (path.empty()) return std::string();
    const size_t sep = lastSeparator(path);
    return sep == std::string::npos ? std::string(".") : path.substr(0, sep);
}

void cleanPathName(std::string& name) {
    const size_t nul = name.find('\0');
    if (nul != std::string::npos) name.resize(nul);
    for (char& c : name) {
        switch (c) {
        case '\\':
        case '/':
        case '*':
        case '?':
        case '>':
        case '<':
        case '|':
        case ':':
        case ' ':
            c = '_';
            break;
        default:
            break;
        }
    }
}

void PToPosix(const std::string& in, std::string& out) {
    out = in;
    for (char& c : out)
        if (c == '\\') c = '/';
}

void PToPosix(const char* in, std::string& out) {
    PToPosix(std::string(in ? in : ""), out);
}

void PToPosix(const std::wstring& in, std::wstring& out) {
    out = in;
    for (wchar_t& c : out)
        if (c == L'\\') c = L'/';
}

std::string localToFileSystem(const std::string& text) {
    return text;
}

// ---- File facts -------------------------------------------------------------------------

bool wrap_FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool fileExists(const std::string& path, bool /*flag*/) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool directoryExists(const std::string& path) {
    return wrap_FileExists(path);
}

int64_t fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return static_cast<int64_t>(st.st_size);
}

int64_t fileDate(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return static_cast<int64_t>(st.st_mtime);
}

std::string getFileTimeDetails(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) std::memset(&st, 0, sizeof st);
    const time_t t = st.st_mtime;
    char buf[64] = {};
    std::string text;
    if (::ctime_r(&t, buf)) text = buf;
    if (!text.empty()) text.pop_back();
    return "mtime : " + text;
}

// ---- Whole files of bytes -------------------------------------------------------------

uint8_t* binFileAlloc(uint64_t n) {
    if (n > SIZE_MAX) return nullptr;
    return static_cast<uint8_t*>(std::malloc(n ? static_cast<size_t>(n) : 1));
}

void binFileFree(uint8_t* block) {
    std::free(block);
}

bool binFileInternalize(const std::string& path, std::vector<uint8_t>& data) {
    FILE* f = platform::openRegularStream(path);
    if (!f) return false;
    uint64_t length = 0;
    std::vector<uint8_t> bytes;
    bool ok = streamLength(f, length) && length <= bytes.max_size();
    if (ok) {
        try {
            bytes.resize(static_cast<size_t>(length));
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    if (ok && length > 0) ok = std::fread(bytes.data(), 1, length, f) == length;
    std::fclose(f);
    if (ok) data.swap(bytes);
    return ok;
}

uint8_t* binFileInternalize(const std::string& path, uint64_t& size, uint64_t& tail) {
    size = 0;
    FILE* f = platform::openRegularStream(path);
    if (!f) return nullptr;
    uint64_t length = 0;
    if (!streamLength(f, length)) {
        std::fclose(f);
        return nullptr;
    }
    size = length;
    // Block length: size + tail rounded up to a multiple of 16, refused when
    // that does not fit the address space.
    const uint64_t limit = static_cast<uint64_t>(SIZE_MAX) - 15;
    if (length > limit || tail > limit - length) {
        std::fclose(f);
        return nullptr;
    }
    const uint64_t block = (length + tail + 15) & ~static_cast<uint64_t>(15);
    uint8_t* buffer = static_cast<uint8_t*>(std::calloc(block ? static_cast<size_t>(block) : 1, 1));
    if (!buffer) {
        std::fclose(f);
        return nullptr;
    }
    const bool ok = length == 0 || std::fread(buffer, 1, length, f) == length;
    std::fclose(f);
    if (!ok) {
        std::free(buffer);
        return nullptr;
    }
    tail = block - length;
    return buffer;
}

uint8_t* binFileInternalize(const std::string& path, uint64_t& size, uint64_t&& tail) {
    uint64_t wanted = tail;
    return binFileInternalize(path, size, wanted);
}

bool binFileExternalize(const std::string& path, const uint8_t* data, uint64_t len) {
    if (path.empty() || (!data && len > 0)) return false;
    const bool shared = inSharedFolder(path);
    int flags = O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC;
    if (shared) flags |= O_NOFOLLOW;
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) return false;
    // The file is truncated only once it is known to be a regular file (and,
    // in a shared folder, our own).
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              (!shared || st.st_uid == ::geteuid()) && ::ftruncate(fd, 0) == 0;
    uint64_t written = 0;
    while (ok && written < len) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(len - written, 1u << 30));
        const ssize_t n = ::write(fd, data + written, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        written += static_cast<uint64_t>(n);
    }
    ::close(fd);
    return ok && written == len;
}

// ---- Text -------------------------------------------------------------------------------

bool getLine(std::istream& in, std::string& line) {
    line.clear();
    for (;;) {
        const int c = in.get();
        if (c == std::istream::traits_type::eof() || !in) break;
        if (c == '\n') break;
        if (c == '\r') {
            const int next = in.peek();
            if (next == '\n') {
                in.get();
            } else if (next == std::istream::traits_type::eof() && !in.bad()) {
                // The lone CR ended this line; the end of the stream belongs
                // to the next read.
                in.clear(in.rdstate() & ~std::ios::eofbit);
            }
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    return !line.empty() || in.good();
}

bool textInternalize(const std::string& path, std::vector<std::string>& lines) {
    std::string content;
    if (!readWholeFile(path, content)) return false;
    std::istringstream in(content);
    std::string line;
    while (getLine(in, line)) lines.push_back(line);
    return true;
}

bool textInternalize(const std::string& path, std::string& text) {
    std::string content;
    if (!readWholeFile(path, content)) return false;
    std::istringstream in(content);
    std::string line;
    while (getLine(in, line)) {
        text += line;
        text += '\n';
    }
    return true;
}

bool textInternalizeRAM(const std::string& text, std::vector<std::string>& lines, bool skipEmpty) {
    lines.clear();
    if (text.empty()) return true;
    size_t end = text.size();
    if (text[end - 1] == '\0') --end;
    std::string current;
    bool endedWithBreak = false;
    auto deliver = [&] {
        if (!current.empty() || !skipEmpty) lines.push_back(current);
        current.clear();
    };
    for (size_t i = 0; i < end; ++i) {
        const char c = text[i];
        endedWithBreak = false;
        if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < end && text[i + 1] == '\n') ++i;
            deliver();
            endedWithBreak = true;
        } else {
            current.push_back(c);
        }
    }
    if (!endedWithBreak && end > 0) deliver();
    return !lines.empty();
}

bool createStringMap(const std::string& path, std::map<std::string, std::string>& map,
                     char separator, bool skipComments) {
    std::string content;
    if (!readWholeFile(path, content)) return false;
    std::istringstream in(content);
    std::string line;
    line.reserve(256);
    std::string key;
    std::string value;
    while (getLine(in, line)) {
        if (line.empty()) continue;
        if (skipComments && (line[0] == '/' || line[0] == '#')) continue;
        const size_t sep = line.find(separator);
        if (sep == std::string::npos) continue;
        trim(line.substr(0, sep), key);
        trim(line.substr(sep + 1), value);
        map[key] = value;
    }
    return true;
}
