#include "vgm/PipeReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace VGM {

namespace {

constexpr size_t kRecordBytes = 4;
constexpr size_t kRecordsPerRead = 64;

void sleepNanoseconds(long nanoseconds) {
    timespec pause{0, nanoseconds};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

void sleepMilliseconds(int milliseconds) {
    sleepNanoseconds(static_cast<long>(milliseconds) * 1000000L);
}

} // namespace

PipeReaderThreaded::PipeReaderThreaded(PipeReaderListener& owner, int sourceDescriptor)
    : vantor::ThreadDetached(false, "PipeReader"), listener(owner), descriptor(sourceDescriptor) {}

void PipeReaderThreaded::stop(std::atomic<uint32_t>* finished) {
    finished->store(0, std::memory_order_relaxed);
    finishedFlag = finished;
    stopFlag.store(1, std::memory_order_release);
    // From here on the thread may delete this object: only the caller's flag is read.
    while (finished->load(std::memory_order_acquire) == 0) sleepNanoseconds(10000);
}

bool PipeReaderThreaded::waitForInput() {
    pollfd source{descriptor, POLLIN, 0};
    const int ready = ::poll(&source, 1, PipeReaderListener::kInputWaitMs);
    if (ready == 0) return false;
    if (ready < 0) {
        if (errno != EINTR) sleepMilliseconds(PipeReaderListener::kInputWaitMs);
        return false;
    }
    if (source.revents & (POLLIN | POLLHUP)) return true;
    sleepMilliseconds(PipeReaderListener::kInputWaitMs); // POLLERR, POLLNVAL
    return false;
}

void* PipeReaderThreaded::run() {
    uint8_t buffer[kRecordsPerRead * kRecordBytes];
    while (stopFlag.load(std::memory_order_acquire) == 0) {
        const size_t room = std::min(listener.queueRoom(), kRecordsPerRead);
        if (room == 0) {
            sleepMilliseconds(PipeReaderListener::kFullWaitMs);
            continue;
        }
        if (!waitForInput()) continue;

        // Read no more than fits, so what is read is always queued and the
        // rest waits in the pipe.
        const size_t carried = listener.partialBytes;
        std::memcpy(buffer, listener.partialRecord, carried);
        const ssize_t got = ::read(descriptor, buffer + carried, room * kRecordBytes - carried);
        if (got <= 0) {
            // End of input, or an error other than an interruption or an empty
            // non-blocking descriptor: wait before the next attempt.
            if (got == 0 || (errno != EINTR && errno != EAGAIN))
                sleepMilliseconds(PipeReaderListener::kInputWaitMs);
            continue;
        }
        const size_t total = carried + static_cast<size_t>(got);
        const size_t records = total / kRecordBytes;
        listener.appendRecords(buffer, records);
        listener.partialBytes = total % kRecordBytes;
        std::memcpy(listener.partialRecord, buffer + records * kRecordBytes, listener.partialBytes);
    }
    finishedFlag->store(1, std::memory_order_release);
    return nullptr;
}

PipeReaderListener::PipeReaderListener(int sourceDescriptor) : descriptor(sourceDescriptor) {
    queue.reserve(kQueueCapacity);
}

PipeReaderListener::~PipeReaderListener() {
    stop();
}

bool PipeReaderListener::start() {
    if (worker) return true;
    if (!queueMutex.isOk()) return false;
    auto* created = new PipeReaderThreaded(*this, descriptor);
    if (!created->start()) {
        delete created; // never ran, so it cannot delete itself
        return false;
    }
    worker = created;
    return true;
}

void PipeReaderListener::stop() {
    if (!worker) return;
    std::atomic<uint32_t> finished{0};
    worker->stop(&finished);
    worker = nullptr; // the thread deletes it
}

void PipeReaderListener::poll() {
    if (!queueMutex.tryLock()) return;
    for (const PipeQueueEntry& entry : queue) onPipeEvent(entry.address, entry.value, entry.port);
    queue.clear();
    queueMutex.unlock();
}

size_t PipeReaderListener::queueRoom() {
    if (!queueMutex.lock()) return 0;
    const size_t room = kQueueCapacity - queue.size();
    queueMutex.unlock();
    return room;
}

void PipeReaderListener::appendRecords(const uint8_t* records, size_t count) {
    if (count == 0 || !queueMutex.lock()) return;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* record = records + i * kRecordBytes;
        queue.push_back(
            {static_cast<uint16_t>(record[0] | (record[1] << 8)), record[2], record[3]});
    }
    queueMutex.unlock();
}

} // namespace VGM
