// A temporary folder for one test, removed with everything in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return root; }
    // Full path of `name` inside the folder.
    std::string file(const std::string& name) const { return root + "/" + name; }
    // Writes `bytes` to `name` and returns the full path.
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const;
    std::string write(const std::string& name, const std::string& text) const;

private:
    std::string root;
};

std::vector<uint8_t> readAll(const std::string& path);

} // namespace testsupport
