// The live engine holders of this module, keyed by address.
#include "vst3/HolderRegistry.h"

#include <map>
#include <mutex>

namespace vantor {
namespace {

// Both are made once and never destroyed: a host may release a processor
// from an exit handler or a static destructor, after this module's own
// static objects are gone, and the release still finds them.
std::mutex& registryLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

std::map<int64_t, std::weak_ptr<ZEFAWrapperHolder>>& registry() {
    static auto* holders = new std::map<int64_t, std::weak_ptr<ZEFAWrapperHolder>>;
    return *holders;
}

} // namespace

int64_t registerHolder(const std::shared_ptr<ZEFAWrapperHolder>& holder) {
    const int64_t key = static_cast<int64_t>(reinterpret_cast<intptr_t>(holder.get()));
    std::lock_guard<std::mutex> guard(registryLock());
    registry()[key] = holder;
    return key;
}

void unregisterHolder(int64_t key) {
    std::lock_guard<std::mutex> guard(registryLock());
    registry().erase(key);
}

std::shared_ptr<ZEFAWrapperHolder> findHolder(int64_t key) {
    std::lock_guard<std::mutex> guard(registryLock());
    const auto it = registry().find(key);
    return it == registry().end() ? nullptr : it->second.lock();
}

} // namespace vantor
