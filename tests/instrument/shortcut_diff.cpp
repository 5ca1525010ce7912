// shortcut-diff FIRST [COUNT]: renders the cases of COUNT seeds from FIRST
// (ShortcutCases.h) with the audio path's exact shortcuts on and off and
// prints each seed whose renders differ, with its rate, host blocks and the
// first differing frame. Exit status 1 when any differs.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ShortcutCases.h"
#include "vantor/support/PrivateHome.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: shortcut-diff FIRST [COUNT]\n");
        return 2;
    }
    const uint64_t first = std::strtoull(argv[1], nullptr, 10);
    const uint64_t count = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : 1;
    char dir[] = "/tmp/shortcut-diff-XXXXXX";
    if (!mkdtemp(dir)) return 2;
    const std::string song = shortcuttest::writeSong(std::string(dir) + "/song.vgm");
    uint64_t differ = 0;
    for (uint64_t seed = first; seed < first + count; ++seed) {
        const shortcutcases::Case c = shortcutcases::drawCase(seed, song);
        const shortcutcases::Verdict v = shortcutcases::compare(c);
        if (!v.same) {
            ++differ;
            std::printf("DIFFER %s: frame %zu, %.9g with the shortcuts, %.9g without\n",
                        c.name.c_str(), v.frame, double(v.fast), double(v.full));
        } else {
            std::printf("same   %s (peak %.3g%s)\n", c.name.c_str(), double(v.peak),
                        v.settled ? ", settled" : "");
        }
        std::fflush(stdout);
    }
    std::remove(song.c_str());
    rmdir(dir);
    std::printf("%llu of %llu seeds differ\n", (unsigned long long)differ,
                (unsigned long long)count);
    return differ ? 1 : 0;
}
