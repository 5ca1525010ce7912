// The reference count shared by every helper class of this folder. A helper
// implements one or more interfaces; each of them carries its own FUnknown
// slots, so the most derived class names one `addRef`/`release`/
// `queryInterface` that overrides them all. `SX_REFCOUNT_FORWARD(Base)` writes
// the first two for a class that adds interfaces to a helper base.
#pragma once

#include <atomic>

#include "vst3base/FUnknown.h"

namespace Steinberg {

class FObject {
public:
    FObject() = default;
    FObject(const FObject&) = delete;
    FObject& operator=(const FObject&) = delete;
    virtual ~FObject() = default;

    // Adds a reference; answers the new count.
    uint32 refAdd() { return refCount_.fetch_add(1, std::memory_order_relaxed) + 1; }
    // Drops a reference and deletes the object at 0; answers the new count.
    uint32 refRelease() {
        const uint32 left = refCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }
    // The current count (for tests and diagnostics).
    uint32 getRefCount() const { return refCount_.load(std::memory_order_relaxed); }

private:
    std::atomic<uint32> refCount_{1}; // the creator holds the first reference
};

} // namespace Steinberg

// addRef/release of a class that adds interfaces to helper base `Base`.
#define SX_REFCOUNT_FORWARD(Base)                                                                  \
    Steinberg::uint32 addRef() override {                                                          \
        return Base::addRef();                                                                     \
    }                                                                                              \
    Steinberg::uint32 release() override {                                                         \
        return Base::release();                                                                    \
    }

// addRef/release of a class built directly on FObject.
#define SX_REFCOUNT_METHODS                                                                        \
    Steinberg::uint32 addRef() override {                                                          \
        return Steinberg::FObject::refAdd();                                                       \
    }                                                                                              \
    Steinberg::uint32 release() override {                                                         \
        return Steinberg::FObject::refRelease();                                                   \
    }
