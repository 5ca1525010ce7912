#include "platform/CFURL.h"

#include <unistd.h>

#include <cctype>
#include <cstring>

#include "platform/CFObject.h"

namespace {

bool isUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// Characters a URL text may hold as they are.
bool isURLCharacter(unsigned char c) {
    return isUnreserved(c) || std::strchr(":/?#[]@!$&'()*+,;=%", c) != nullptr;
}

std::string percentEncodePath(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (isUnreserved(c) || c == '/' || std::strchr("!$&'()*+,;=:@", c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool percentDecode(const std::string& in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out.push_back(in[i]);
            continue;
        }
        if (i + 2 >= in.size()) return false;
        int hi = hexValue(in[i + 1]), lo = hexValue(in[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return true;
}

// A file URL of the path bytes (made absolute against the current folder).
CFURLRef makeFileURL(std::string path, bool isDirectory) {
    if (path.empty()) return nullptr;
    if (path[0] != '/') {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return nullptr;
        std::string base = cwd;
        if (base.empty() || base.back() != '/') base.push_back('/');
        path = base + path;
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    auto* u = new SxCFURL();
    u->isFile = true;
    u->isDirectory = isDirectory;
    u->scheme = "file";
    u->path = path;
    std::string text = "file://" + percentEncodePath(path);
    if (isDirectory && path != "/") text.push_back('/');
    u->text = sxMakeString(std::move(text));
    return u;
}

const SxCFURL* asURL(CFTypeRef ref) {
    return sxAs<SxCFURL>(ref, kSxTypeURL);
}

} // namespace

SxCFURL::~SxCFURL() {
    CFRelease(text);
}

bool SxCFURL::sameValue(const SxCFObject& other) const {
    const auto& o = static_cast<const SxCFURL&>(other);
    return CFEqual(text, o.text);
}

CFTypeID CFURLGetTypeID() {
    return kSxTypeURL;
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef path, CFURLPathStyle style,
                                       bool isDirectory) {
    const SxCFString* s = sxAs<SxCFString>(path, kSxTypeString);
    if (!s || style != kCFURLPOSIXPathStyle) return nullptr;
    return makeFileURL(s->utf8, isDirectory);
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const uint8_t* bytes,
                                                 CFIndex length, bool isDirectory) {
    if (!bytes || length <= 0) return nullptr;
    const char* p = reinterpret_cast<const char*>(bytes);
    return makeFileURL(std::string(p, strnlen(p, static_cast<size_t>(length))), isDirectory);
}

CFURLRef CFURLCreateWithBytes(CFAllocatorRef, const uint8_t* bytes, CFIndex length,
                              CFStringEncoding, CFURLRef baseURL) {
    if (!bytes || length <= 0 || baseURL) return nullptr;
    std::string text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
    for (unsigned char c : text)
        if (!isURLCharacter(c)) return nullptr;
    std::string scheme;
    size_t colon = text.find(':');
    if (colon != std::string::npos && colon > 0 &&
        std::isalpha(static_cast<unsigned char>(text[0]))) {
        scheme = text.substr(0, colon);
        for (unsigned char c : scheme)
            if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') scheme.clear();
    }
    std::string lowered = scheme;
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lowered == "file") {
        std::string rest = text.substr(colon + 1);
        if (rest.rfind("//", 0) == 0) {
            rest.erase(0, 2);
            size_t slash = rest.find('/');
            std::string host = rest.substr(0, slash);
            if (!host.empty() && host != "localhost") return nullptr;
            rest = slash == std::string::npos ? "/" : rest.substr(slash);
        }
        std::string path;
        if (rest.empty() || rest[0] != '/' || !percentDecode(rest, path)) return nullptr;
        return makeFileURL(path, text.back() == '/');
    }
    auto* u = new SxCFURL();
    u->scheme = scheme;
    u->isDirectory = text.back() == '/';
    u->text = sxMakeString(std::move(text));
    return u;
}

bool CFURLGetFileSystemRepresentation(CFURLRef url, bool, uint8_t* buffer, CFIndex maxLength) {
    const SxCFURL* u = asURL(url);
    if (!u || !u->isFile || !buffer || maxLength <= 0) return false;
    if (u->path.size() + 1 > static_cast<size_t>(maxLength)) return false;
    std::memcpy(buffer, u->path.data(), u->path.size());
    buffer[u->path.size()] = 0;
    return true;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle style) {
    const SxCFURL* u = asURL(url);
    if (!u || !u->isFile || style != kCFURLPOSIXPathStyle || !sxIsValidUTF8(u->path))
        return nullptr;
    return sxMakeString(u->path);
}

CFStringRef CFURLGetString(CFURLRef url) {
    const SxCFURL* u = asURL(url);
    return u ? u->text : nullptr;
}

CFStringRef CFURLCopyScheme(CFURLRef url) {
    const SxCFURL* u = asURL(url);
    if (!u || u->scheme.empty()) return nullptr;
    return sxMakeString(u->scheme);
}

bool CFURLHasDirectoryPath(CFURLRef url) {
    const SxCFURL* u = asURL(url);
    return u && u->isDirectory;
}
