#include "engine-support/support/TempFolder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace testsupport {

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/engine-support-XXXXXX";
    if (char* made = mkdtemp(pattern.data())) root = made;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!root.empty()) std::filesystem::remove_all(root, ignored);
}

std::string TempFolder::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string full = file(name);
    if (FILE* f = std::fopen(full.c_str(), "wb")) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return full;
}

std::string TempFolder::write(const std::string& name, const std::string& text) const {
    return write(name, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> readAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

} // namespace testsupport
