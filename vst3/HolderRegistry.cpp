// The live engine holders of this module, keyed by address.
#include "vst3/HolderRegistry.h"

#include <map>
#include <mutex>

namespace vantor {
namespace {

std::mutex& registryLock() {
    static std::mutex lock;
    return lock;
}

std::map<int64_t, std::weak_ptr<ZEFAWrapperHolder>>& registry() {
    static std::map<int64_t, std::weak_ptr<ZEFAWrapperHolder>> holders;
    return holders;
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
