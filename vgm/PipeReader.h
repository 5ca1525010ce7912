// The pipe reader: register writes streamed into the player from outside while
// they happen, instead of read from a file. A worker thread reads records from a
// file descriptor its owner opened and appends them to a bounded queue; the
// audio side drains the queue with `poll`, which only try-locks the queue and so
// never blocks: while the worker holds the lock, the events wait for a later poll.
//
// The source: any readable descriptor, typically the read end of a named pipe
// (mkfifo) or of pipe(2). The descriptor stays the owner's: it is neither closed
// nor changed, and must stay open until the worker has stopped. A named pipe is
// best opened with O_RDONLY | O_NONBLOCK (or O_RDWR), since a plain O_RDONLY open
// blocks until a writer appears.
//
// A record is 4 bytes: register address (u16, little-endian), value, port.
// Writers should write whole records (a pipe never splits a write of up to
// PIPE_BUF bytes); a record split across reads is joined again, also across
// a stop and a later start.
//
// Pacing: the worker waits for input at most `kInputWaitMs` at a time, so it sees
// a stop within about that time. At the end of input (every writer closed, the
// end of a regular file) or on a descriptor that cannot be read it waits that
// long between attempts instead of spinning; reading resumes when a writer
// comes back.
//
// The bound: the queue holds at most `kQueueCapacity` entries, its room reserved
// once, so neither thread allocates. While it is full the worker reads nothing
// and checks again every `kFullWaitMs`; records beyond the bound stay in the
// pipe, whose writer blocks (or gets EAGAIN) once the pipe's own buffer is full.
// No record is dropped.
//
// Threads: `start`, `stop` and destruction belong to one controlling thread,
// `poll` to the audio thread; `onPipeEvent` runs inside `poll` with the queue
// locked.
#pragma once

#include "engine-support/Mutex.h"
#include "engine-support/ThreadDetached.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace VGM {

// One register write waiting in the queue.
struct PipeQueueEntry {
    uint16_t address;
    uint8_t value;
    uint8_t port;
};
static_assert(sizeof(PipeQueueEntry) == 4);

// Base of the reader family. The two hooks open and close an event source; the
// threaded reader reads a descriptor its owner opens and closes, so the base
// answers true to both.
class PipeReader {
public:
    virtual ~PipeReader() = default;
    virtual bool open() { return true; }
    virtual bool close() { return true; }
};

class PipeReaderListener;

// The worker thread. Like every detached thread it deletes itself when its run
// ends, which happens only after `stop`.
class PipeReaderThreaded : public PipeReader, public vantor::ThreadDetached {
public:
    PipeReaderThreaded(PipeReaderListener& owner, int descriptor);

    // Clears *finished, asks the thread to end and waits, checking every 10
    // microseconds, until the thread has set *finished to 1. The object is gone
    // soon after: call once, only on a started worker, and forget it then.
    void stop(std::atomic<uint32_t>* finished);

protected:
    void* run() override;

private:
    // True when the descriptor has something to read (data or its end);
    // otherwise after at most kInputWaitMs.
    bool waitForInput();

    std::atomic<uint8_t> stopFlag{0};
    std::atomic<uint32_t>* finishedFlag = nullptr; // set before stopFlag, read after it
    PipeReaderListener& listener;
    int descriptor;
};

// The consumer: owns the worker and the queue; a derived class receives the
// events in `onPipeEvent`.
class PipeReaderListener {
public:
    static constexpr size_t kQueueCapacity = 512;
    static constexpr int kInputWaitMs = 10;
    static constexpr int kFullWaitMs = 1;

    // The queue's lock and room are made here, so a poll before start finds an
    // empty queue behind a real lock.
    explicit PipeReaderListener(int descriptor);
    // Stops the worker and waits for it.
    virtual ~PipeReaderListener();

    PipeReaderListener(const PipeReaderListener&) = delete;
    PipeReaderListener& operator=(const PipeReaderListener&) = delete;

    // Starts a worker; true when one runs (also when it already did). False when
    // the lock could not be made or the thread could not be started.
    bool start();
    // Stops the worker and waits until its thread has ended; queued events stay
    // for the next poll. Does nothing when no worker runs.
    void stop();
    bool isRunning() const { return worker != nullptr; }

    // Audio side: hands every queued event to onPipeEvent in order and empties
    // the queue, or returns at once when the worker holds the lock.
    void poll();

    virtual void onPipeEvent(uint16_t address, uint8_t value, uint8_t port) = 0;

private:
    friend class PipeReaderThreaded;

    // Worker side, each under the queue lock: free entries, and appending
    // `count` whole records (never more than the room it was told).
    size_t queueRoom();
    void appendRecords(const uint8_t* records, size_t count);

    PipeReaderThreaded* worker = nullptr;
    std::vector<PipeQueueEntry> queue;
    vantor::Mutex queueMutex{"NamedPipeMutex", false};
    int descriptor;
    // The first bytes of a record that a read cut short; only the running
    // worker touches them.
    uint8_t partialRecord[4] = {};
    size_t partialBytes = 0;
};

} // namespace VGM
