#include "emulators/ChipEmu.h"
// The interface is header-only; this unit anchors the library target.
