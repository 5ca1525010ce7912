// A VGMX document is an XML register log: <Chip> elements declare the chips
// of a song (id, type name, clock, command rate), and the empty elements
// <W/>, <R/>, <D/> and <I/> that follow one are that chip's timed commands
// (delta "dt", register "r"/"hr", value "v"/"hv"/"bv", port "p").
// VGMXVisitor receives the XML reader's callbacks and fills one track record
// with a chip record per declared chip, keyed by chip type; a second chip of
// a type takes that type's alternate code (second SN76489, second OPN ...).
// Commands that have no chip of their own (before the first chip, after a
// refused one) are dropped rather than given to another chip, and a chip
// whose rate or clock cannot be played refuses the whole document.
#pragma once

#include "engine-support/XMLVisitor.h"
#include "vgm/MediaFile.h"
#include "vgm/MediaTrack.h"

#include <cstdint>
#include <string>

namespace VGM {

class VGMXVisitor : public vantor::XMLVisitor {
public:
    // Commands grow through `budget` when one is given; once it is spent the
    // rest are dropped and the caller refuses the document.
    explicit VGMXVisitor(const std::string& path, MediaBudget* budget = nullptr);

    // "Chip" starts a chip declaration; other start tags are not ours.
    bool visitStartElement(const char* name) override;
    // "W", "R", "D" and "I" start a command.
    bool visitEmptyElement(const char* name) override;
    // Declares the chip or appends the command of the element just started.
    bool visitAttributes(const vantor::XMLAttributeList& attributes) override;
    bool visitEndElement(const char*) override { return true; }
    bool visitText(const char*) override { return true; }
    bool visitInstruction(const char*) override { return true; }
    bool visitError(const char*, uint64_t) override { return true; }

    MediaTrack& track() { return trackRecord; }
    // Log lines about what was dropped or refused; empty when all was taken.
    std::string diagnostics() const;
    // A chip with a rate or clock that cannot be played was declared.
    bool refused() const { return refusedDocument; }

private:
    enum Kind : uint32_t { kNone = 0, kChip = 1, kW = 2, kR = 3, kD = 4, kI = 5 };

    bool declareChip(const vantor::XMLAttributeList& attributes);
    bool appendCommand(const vantor::XMLAttributeList& attributes);
    // The code a new chip of `declared` type takes; kChipNone when none is free.
    MediaChipType freeCode(MediaChipType declared) const;

    MediaTrack trackRecord;
    MediaBudget* budget;
    uint32_t elementKind = kNone;
    MediaChipRecord* currentChip = nullptr; // receives the commands
    MediaChipType currentType = kChipNone;
    MediaChipType currentDeclared = kChipNone; // type name of the current chip's element
    std::string documentPath;
    bool elementIsOurs = false; // the element last started was recognised
    bool refusedDocument = false;
    std::string refusal;
    uint64_t droppedCommands = 0;
};

} // namespace VGM
