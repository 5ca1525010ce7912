#include "platform/CFLocale.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/CFObject.h"

namespace {

// "de_CH.UTF-8@euro" gives "de-CH"; "C" and "POSIX" give nothing.
std::string languageTag(std::string entry) {
    size_t cut = entry.find_first_of(".@");
    if (cut != std::string::npos) entry.erase(cut);
    if (entry.empty() || entry == "C" || entry == "POSIX") return {};
    for (char& c : entry)
        if (c == '_') c = '-';
    return entry;
}

} // namespace

CFArrayRef CFLocaleCopyPreferredLanguages() {
    std::vector<std::string> tags;
    const char* language = std::getenv("LANGUAGE");
    if (language && *language) {
        std::string list = language;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            std::string tag = languageTag(list.substr(start, end - start));
            if (!tag.empty()) tags.push_back(tag);
            start = end + 1;
        }
    }
    if (tags.empty()) {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* v = std::getenv(name);
            if (!v || !*v) continue;
            std::string tag = languageTag(v);
            if (!tag.empty()) tags.push_back(tag);
            break;
        }
    }
    if (tags.empty()) return nullptr;
    CFMutableArrayRef array = CFArrayCreateMutable(kCFAllocatorDefault, 0);
    for (const std::string& tag : tags) {
        if (!sxIsValidUTF8(tag)) continue;
        SxCFHold s(sxMakeString(tag));
        CFArrayAppendValue(array, s.get());
    }
    return array;
}
