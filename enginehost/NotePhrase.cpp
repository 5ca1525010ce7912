// Reading a note phrase.
#include "enginehost/NotePhrase.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace morvane {

namespace {

// A whole number made of digits only (at most three), else -1000.
int smallNumber(const std::string& text, size_t from) {
    if (from >= text.size() || text.size() - from > 3) return -1000;
    int value = 0;
    for (size_t i = from; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1000;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

int NotePhrase::keyFromText(const std::string& text) {
    if (text.empty()) return -1;
    if (std::isdigit(static_cast<unsigned char>(text[0]))) {
        const int key = smallNumber(text, 0);
        return key >= 0 && key <= 127 ? key : -1;
    }
    static const int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (letter < 'A' || letter > 'G') return -1;
    int semitone = kSemitone[letter - 'A'];
    size_t at = 1;
    if (at < text.size() && (text[at] == '#' || text[at] == 'b')) {
        semitone += text[at] == '#' ? 1 : -1;
        ++at;
    }
    bool negative = false;
    if (at < text.size() && text[at] == '-') negative = true, ++at;
    const int octave = smallNumber(text, at);
    if (octave < 0) return -1;
    const int key = (negative ? -octave : octave) * 12 + 12 + semitone;
    return key >= 0 && key <= 127 ? key : -1;
}

bool NotePhrase::parse(const std::string& text, std::string& error) {
    list.clear();
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        if (list.size() == kMaxNotes) {
            error = "the phrase has more than " + std::to_string(kMaxNotes) + " notes";
            return false;
        }
        PhraseNote note = {-1, kDefaultSeconds};
        const size_t colon = token.find(':');
        const std::string name = token.substr(0, colon);
        if (colon != std::string::npos) {
            const std::string length = token.substr(colon + 1);
            char* end = nullptr;
            note.seconds = std::strtod(length.c_str(), &end);
            if (length.empty() || *end != '\0' || !(note.seconds > 0.0) ||
                note.seconds > kMaxSeconds) {
                error = "bad note length in \"" + token + "\" (seconds, above 0, at most 10)";
                return false;
            }
        }
        if (name != "r" && name != "R") {
            note.key = keyFromText(name);
            if (note.key < 0) {
                error = "bad note \"" + token + "\" (a name like C4 or F#3, a key 0-127, or r)";
                return false;
            }
        }
        list.push_back(note);
    }
    if (list.empty()) {
        error = "the phrase has no notes";
        return false;
    }
    return true;
}

double NotePhrase::seconds() const {
    double total = 0.0;
    for (const PhraseNote& n : list) total += n.seconds;
    return total;
}

} // namespace morvane
