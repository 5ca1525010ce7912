#pragma once
// Puts a block's gathered events in the order the engine takes them: by frame
// offset, events on one frame in the order they were gathered (a note-off
// before the note-on that follows it on the same frame). Runs on the audio
// thread, so it never allocates: short lists take an insertion sort, long
// ones a merge sort through a scratch list the caller sized beforehand.
#include <cstddef>

#include "vantor/HDMIDIEvent.h"

namespace eventorder {

using vantor::HDMIDIEvent;

// Sorts `n` events in place, stably by `frameOffset`. `scratch` holds room
// for at least `n` events when n is over 32; it is clobbered.
void sortByOffset(HDMIDIEvent* events, size_t n, HDMIDIEvent* scratch);

} // namespace eventorder
