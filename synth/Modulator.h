// Modulation sources. A modulator holds one float that note events and MIDI
// messages set; every change is pushed to the parameter actions listening to
// it (they are the routes of the modulation matrix). The kind tells a route
// how to read the value: unipolar (0..1), bipolar (-1..1) or a raw number
// such as a key. A modulator owns none of its listeners.
#pragma once

#include <cstdint>
#include <vector>

namespace VSX {

class Modulator;

// Something that can be switched on and off; a modulator counts as active
// once it has received a value.
class Activatable {
public:
    virtual ~Activatable() = default;
    // Stores the flag.
    virtual void setActive(int on) { active = on; }

    int32_t active = 0;
};

// Anything a modulator notifies.
class ModListener {
public:
    virtual ~ModListener() = default;
    // The source's value changed (source null: the listener's own base value
    // changed); reset marks a value that arrived from the host.
    virtual void onModulatorChanged(Modulator* source, bool reset) = 0;
    // The source got a new value (a = 1, b = 0) or was switched (a, 1).
    virtual void onModulatorEvent(Modulator* source, int a, int b) = 0;
};

class Modulator : public Activatable {
public:
    enum Kind : int { kUnipolar = 0, kBipolar = 1, kRaw = 2 };

    Modulator() = default;
    Modulator(const Modulator&) = delete;
    Modulator& operator=(const Modulator&) = delete;
    ~Modulator() override = default;

    virtual float getValue() { return value; }
    virtual int getKind() { return kUnipolar; }
    virtual float getMin() { return 0.0f; }
    virtual float getMax() { return 1.0f; }

    // Stores v, switches the modulator on, then tells every listener that a
    // new value arrived and afterwards that it changed.
    void publish(float v);
    // Adds a listener unless it is there already.
    void addListener(ModListener* listener);
    // Removes every entry of that listener.
    void removeListener(ModListener* listener);
    bool hasListener(const ModListener* listener) const;

    float value = 0.0f;
    std::vector<ModListener*> listeners; // not owned
};

class GenericFloatModulator : public Modulator {};
class PitchBendPosModulator : public Modulator {};
class PitchBendNegModulator : public Modulator {};
class MIDI7Modulator : public Modulator {};

// A value re-rolled at every note.
class RandomModulator : public Modulator {
public:
    // value = a new uniform 0..1 number (0 while random numbers are off), published.
    void reroll();
};

// A key's distance from the center key, times the scale.
class KeyTrackModulator : public Modulator {
public:
    int getKind() override { return kRaw; }
    float getMin() override { return -127.0f; }
    float getMax() override { return 127.0f; }
    // Publishes (key - center) x scale.
    void setKey(int key) { publish(static_cast<float>(key - centerKey) * scale); }

    int32_t centerKey = 60;
    float scale = 1.0f;
};

// A plain 7-bit number: key, program.
class MIDI7ModulatorRaw : public Modulator {
public:
    int getKind() override { return kRaw; }
    float getMax() override { return 127.0f; }
};

class PitchBendModulator : public Modulator {
public:
    int getKind() override { return kBipolar; }
    float getMin() override { return -1.0f; }
};

} // namespace VSX
