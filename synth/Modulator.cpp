#include "synth/Modulator.h"

#include <algorithm>

#include "vantor/PlatformTools.h"

namespace VSX {

void Modulator::publish(float v) {
    value = v;
    setActive(1);
    // By index: a listener may add routes while it is told.
    for (size_t i = 0; i < listeners.size(); ++i) listeners[i]->onModulatorEvent(this, 1, 0);
    for (size_t i = 0; i < listeners.size(); ++i) listeners[i]->onModulatorChanged(this, false);
}

void Modulator::addListener(ModListener* listener) {
    if (!hasListener(listener)) listeners.push_back(listener);
}

void Modulator::removeListener(ModListener* listener) {
    listeners.erase(std::remove(listeners.begin(), listeners.end(), listener), listeners.end());
}

bool Modulator::hasListener(const ModListener* listener) const {
    return std::find(listeners.begin(), listeners.end(), listener) != listeners.end();
}

void RandomModulator::reroll() {
    publish(PUrandf());
}

} // namespace VSX
