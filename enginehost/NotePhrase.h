// A short phrase of notes written as text, played one note after another:
// blank-separated tokens NOTE[:SECONDS]. NOTE is a name with an octave (C4,
// F#3, Bb2; C4 is key 60), a key number 0-127, or "r" for a rest; SECONDS is
// the note's length (default 0.25, at most 10). At most kMaxNotes tokens.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvane {

struct PhraseNote {
    int key; // 0-127, -1 for a rest
    double seconds;
};

// The phrase the render command plays when it is given none.
inline constexpr const char* kDefaultPhrase = "C4 E4 G4 C5:0.5 G4 E4 C4:0.5";

class NotePhrase {
public:
    static constexpr size_t kMaxNotes = 1000;
    static constexpr double kDefaultSeconds = 0.25;
    static constexpr double kMaxSeconds = 10.0;

    // Reads the text; false with a one-line `error` naming the bad token.
    bool parse(const std::string& text, std::string& error);
    const std::vector<PhraseNote>& notes() const { return list; }
    // The phrase's length in seconds.
    double seconds() const;

    // A key from a name with an octave or a key number; -1 when it is neither.
    static int keyFromText(const std::string& text);

private:
    std::vector<PhraseNote> list;
};

} // namespace morvane
