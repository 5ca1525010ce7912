// The process-wide list of live engine holders. The processor announces its
// holder to the controller as a number (the holder's address) inside a host
// message; a number is not a pointer that can be trusted, so the controller
// and the editor look it up here and keep only a weak reference. The
// processor adds its holder when it is built and removes it when it goes, so
// a lookup never hands out a holder that no longer exists.
#pragma once

#include <cstdint>
#include <memory>

#include "vst3/ZEFAWrapperHolder.h"

namespace vantor {

// Adds `holder` under its address; answers that number.
int64_t registerHolder(const std::shared_ptr<ZEFAWrapperHolder>& holder);
// Removes the holder of `key`; nothing happens for an unknown key.
void unregisterHolder(int64_t key);
// The live holder of `key`, or null.
std::shared_ptr<ZEFAWrapperHolder> findHolder(int64_t key);

} // namespace vantor
