// An `IBStream` over a growable block of memory: what a host hands a plug-in to
// save its state into, or fills with a saved state to load. Writing past the
// end grows the block (up to 2 GiB, the largest count one call can name);
// seeking past the end is allowed and the gap reads as zeros once written over.
#pragma once

#include <vector>

#include "vst3base/FObject.h"
#include "vst3base/IBStream.h"

namespace Steinberg {

class MemoryStream : public FObject, public IBStream {
public:
    MemoryStream() = default;
    // A stream holding a copy of `size` bytes, positioned at the start.
    MemoryStream(const void* bytes, int64 size);

    tresult read(void* buffer, int32 numBytes, int32* numBytesRead = nullptr) override;
    tresult write(void* buffer, int32 numBytes, int32* numBytesWritten = nullptr) override;
    tresult seek(int64 pos, int32 mode, int64* result = nullptr) override;
    tresult tell(int64* pos) override;

    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

    // The bytes written so far (the stream's whole content).
    const std::vector<char>& bytes() const { return bytes_; }
    int64 getSize() const { return static_cast<int64>(bytes_.size()); }
    // Empties the stream and rewinds it.
    void clear();

private:
    std::vector<char> bytes_;
    int64 cursor_ = 0;
};

} // namespace Steinberg
