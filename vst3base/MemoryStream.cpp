// A growable in-memory IBStream.
#include "vst3base/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace Steinberg {

namespace {
constexpr int64 kMaxSize = 0x7FFFFFFF;
}

MemoryStream::MemoryStream(const void* bytes, int64 size) {
    if (bytes && size > 0 && size <= kMaxSize) {
        const char* p = static_cast<const char*>(bytes);
        bytes_.assign(p, p + size);
    }
}

tresult MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
    if (numBytesRead) *numBytesRead = 0;
    if (numBytes < 0 || (!buffer && numBytes > 0)) return kInvalidArgument;
    const int64 available = getSize() - cursor_;
    const int32 n = available <= 0 ? 0 : static_cast<int32>(std::min<int64>(numBytes, available));
    if (n > 0) std::memcpy(buffer, bytes_.data() + cursor_, static_cast<size_t>(n));
    cursor_ += n;
    if (numBytesRead) *numBytesRead = n;
    return kResultOk;
}

tresult MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
    if (numBytesWritten) *numBytesWritten = 0;
    if (numBytes < 0 || (!buffer && numBytes > 0)) return kInvalidArgument;
    const int64 end = cursor_ + numBytes;
    if (end > kMaxSize) return kOutOfMemory;
    if (end > getSize()) bytes_.resize(static_cast<size_t>(end));
    if (numBytes > 0) std::memcpy(bytes_.data() + cursor_, buffer, static_cast<size_t>(numBytes));
    cursor_ = end;
    if (numBytesWritten) *numBytesWritten = numBytes;
    return kResultOk;
}

tresult MemoryStream::seek(int64 pos, int32 mode, int64* result) {
    int64 base;
    switch (mode) {
    case kIBSeekSet:
        base = 0;
        break;
    case kIBSeekCur:
        base = cursor_;
        break;
    case kIBSeekEnd:
        base = getSize();
        break;
    default:
        return kInvalidArgument;
    }
    // Checked so that a wild offset cannot overflow the sum.
    if ((pos < 0 && pos < -base) || (pos > 0 && pos > kMaxSize - base)) return kInvalidArgument;
    cursor_ = base + pos;
    if (result) *result = cursor_;
    return kResultOk;
}

tresult MemoryStream::tell(int64* pos) {
    if (!pos) return kInvalidArgument;
    *pos = cursor_;
    return kResultOk;
}

tresult MemoryStream::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IBStream>(iid, this, obj) || answerInterface<FUnknown>(iid, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

void MemoryStream::clear() {
    bytes_.clear();
    cursor_ = 0;
}

} // namespace Steinberg
