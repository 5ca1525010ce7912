// Reads and writes fixed-size values through any host `IBStream`, in a chosen
// byte order (little-endian unless told otherwise). Every read answers false
// unless all its bytes arrived, so a truncated or short stream is a clear
// failure for the caller, never a half-filled value.
#pragma once

#include "vst3base/IBStream.h"

namespace Steinberg {

class IBStreamer {
public:
    enum ByteOrder { kLittleEndian, kBigEndian };

    explicit IBStreamer(IBStream* stream, ByteOrder order = kLittleEndian)
        : stream_(stream), order_(order) {}

    void setByteOrder(ByteOrder order) { order_ = order; }
    ByteOrder getByteOrder() const { return order_; }
    IBStream* getStream() const { return stream_; }

    bool readInt8(int8& v);
    bool readInt8u(uint8& v);
    bool readInt16(int16& v);
    bool readInt16u(uint16& v);
    bool readInt32(int32& v);
    bool readInt32u(uint32& v);
    bool readInt64(int64& v);
    bool readInt64u(uint64& v);
    bool readFloat(float& v);
    bool readDouble(double& v);
    // Reads exactly `size` bytes; answers the bytes actually read in `got`.
    bool readRaw(void* buffer, int32 size, int32* got = nullptr);

    bool writeInt8(int8 v);
    bool writeInt8u(uint8 v);
    bool writeInt16(int16 v);
    bool writeInt16u(uint16 v);
    bool writeInt32(int32 v);
    bool writeInt32u(uint32 v);
    bool writeInt64(int64 v);
    bool writeInt64u(uint64 v);
    bool writeFloat(float v);
    bool writeDouble(double v);
    // Writes exactly `size` bytes.
    bool writeRaw(const void* buffer, int32 size);

    // Moves the position; answers the new one in `result`.
    bool seek(int64 pos, int32 mode, int64* result = nullptr);
    // The current position, -1 when the stream cannot tell.
    int64 tell();
    // The stream's size found by seeking to its end and back, -1 on failure.
    int64 measure();

private:
    bool readOrdered(void* v, int32 size);
    bool writeOrdered(const void* v, int32 size);

    IBStream* stream_;
    ByteOrder order_;
};

} // namespace Steinberg
