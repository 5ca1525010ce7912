// Fixed-size values through an IBStream in a chosen byte order.
#include "vst3base/IBStreamer.h"

#include <algorithm>
#include <cstring>

namespace Steinberg {

namespace {
// The machine is little-endian (x86-64), so only big-endian values are turned.
void flipIfBig(unsigned char* bytes, int32 size, IBStreamer::ByteOrder order) {
    if (order == IBStreamer::kBigEndian) std::reverse(bytes, bytes + size);
}
} // namespace

bool IBStreamer::readRaw(void* buffer, int32 size, int32* got) {
    int32 n = 0;
    const bool ok =
        stream_ && size >= 0 && stream_->read(buffer, size, &n) == kResultOk && n == size;
    if (got) *got = n;
    return ok;
}

bool IBStreamer::writeRaw(const void* buffer, int32 size) {
    int32 n = 0;
    return stream_ && size >= 0 &&
           stream_->write(const_cast<void*>(buffer), size, &n) == kResultOk && n == size;
}

bool IBStreamer::readOrdered(void* v, int32 size) {
    unsigned char bytes[8];
    if (!readRaw(bytes, size)) return false;
    flipIfBig(bytes, size, order_);
    std::memcpy(v, bytes, static_cast<size_t>(size));
    return true;
}

bool IBStreamer::writeOrdered(const void* v, int32 size) {
    unsigned char bytes[8];
    std::memcpy(bytes, v, static_cast<size_t>(size));
    flipIfBig(bytes, size, order_);
    return writeRaw(bytes, size);
}

bool IBStreamer::readInt8(int8& v) {
    return readOrdered(&v, 1);
}
bool IBStreamer::readInt8u(uint8& v) {
    return readOrdered(&v, 1);
}
bool IBStreamer::readInt16(int16& v) {
    return readOrdered(&v, 2);
}
bool IBStreamer::readInt16u(uint16& v) {
    return readOrdered(&v, 2);
}
bool IBStreamer::readInt32(int32& v) {
    return readOrdered(&v, 4);
}
bool IBStreamer::readInt32u(uint32& v) {
    return readOrdered(&v, 4);
}
bool IBStreamer::readInt64(int64& v) {
    return readOrdered(&v, 8);
}
bool IBStreamer::readInt64u(uint64& v) {
    return readOrdered(&v, 8);
}
bool IBStreamer::readFloat(float& v) {
    return readOrdered(&v, 4);
}
bool IBStreamer::readDouble(double& v) {
    return readOrdered(&v, 8);
}

bool IBStreamer::writeInt8(int8 v) {
    return writeOrdered(&v, 1);
}
bool IBStreamer::writeInt8u(uint8 v) {
    return writeOrdered(&v, 1);
}
bool IBStreamer::writeInt16(int16 v) {
    return writeOrdered(&v, 2);
}
bool IBStreamer::writeInt16u(uint16 v) {
    return writeOrdered(&v, 2);
}
bool IBStreamer::writeInt32(int32 v) {
    return writeOrdered(&v, 4);
}
bool IBStreamer::writeInt32u(uint32 v) {
    return writeOrdered(&v, 4);
}
bool IBStreamer::writeInt64(int64 v) {
    return writeOrdered(&v, 8);
}
bool IBStreamer::writeInt64u(uint64 v) {
    return writeOrdered(&v, 8);
}
bool IBStreamer::writeFloat(float v) {
    return writeOrdered(&v, 4);
}
bool IBStreamer::writeDouble(double v) {
    return writeOrdered(&v, 8);
}

bool IBStreamer::seek(int64 pos, int32 mode, int64* result) {
    return stream_ && stream_->seek(pos, mode, result) == kResultOk;
}

int64 IBStreamer::tell() {
    int64 pos = -1;
    if (!stream_ || stream_->tell(&pos) != kResultOk) return -1;
    return pos;
}

int64 IBStreamer::measure() {
    const int64 here = tell();
    int64 end = -1;
    if (here < 0 || !seek(0, IBStream::kIBSeekEnd, &end)) return -1;
    if (!seek(here, IBStream::kIBSeekSet)) return -1;
    return end;
}

} // namespace Steinberg
