// `IBStream`: the byte stream through which state, presets and the
// compatibility text pass between host and plug-in. Positions are 64-bit; a read
// or write answers how many bytes it moved through an optional out-pointer.
#pragma once

#include <cstddef>

#include "vst3base/FUnknown.h"

namespace Steinberg {

class IBStream : public FUnknown {
public:
    enum IStreamSeekMode : int32 {
        kIBSeekSet = 0, // from the start
        kIBSeekCur = 1, // from the current position
        kIBSeekEnd = 2, // from the end
    };

    virtual tresult read(void* buffer, int32 numBytes, int32* numBytesRead = nullptr) = 0;
    virtual tresult write(void* buffer, int32 numBytes, int32* numBytesWritten = nullptr) = 0;
    virtual tresult seek(int64 pos, int32 mode, int64* result = nullptr) = 0;
    virtual tresult tell(int64* pos) = 0;

    static constexpr FUID iid{0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B};

protected:
    ~IBStream() = default;
};

} // namespace Steinberg
