// Codes the blocks of new pack content with the pack's method on several threads and hands
// them back in the order they were given, so a pack comes out byte for byte the same
// whatever the number of threads. Each thread codes through a codec of its own; a fixed
// number of blocks is in flight at most, so memory stays small however much is written.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "pak/pak_codec.h"

// Which block of which entry a block is, as the writer that submitted it counts them.
struct PakBlockPlace {
    uint32_t entry;      // the writer's own number for the entry
    uint32_t entrySize;  // plain bytes of the whole entry
    uint32_t block;      // 0 .. blocks - 1
    uint32_t blocks;     // blocks of the entry
};

// A block coded, as the sink receives it.
struct PakCodedBlock {
    PakBlockPlace place;
    uint8_t* plain;        // room for kPakBlockSize bytes, of which plainSize are the block
    uint32_t plainSize;
    const uint8_t* packed;
    uint32_t packedSize;   // as Encode left it (65537 after a failed Encode)
    bool coded;            // Encode's answer; false too when the method has no codec
};

class PakBlockSink {
public:
    // Takes the next block, in the order blocks were submitted, on the submitting thread.
    // False stops the coder: every later call of the coder fails.
    virtual bool TakeBlock(PakCodedBlock& block) = 0;

protected:
    ~PakBlockSink() = default;
};

class PakBlockCoder {
public:
    // `threads` 0 means PakCodingThreads(). With one thread, and always for the stored
    // method, every block is coded on the submitting thread as it is submitted.
    PakBlockCoder(int32_t method, PakBlockSink& sink, unsigned threads = 0);
    // Stops the threads; blocks not yet handed to the sink are dropped.
    ~PakBlockCoder();
    PakBlockCoder(const PakBlockCoder&) = delete;
    PakBlockCoder& operator=(const PakBlockCoder&) = delete;

    // False when the coder's areas could not be had.
    bool Ready() const { return ready_; }
    unsigned Threads() const { return static_cast<unsigned>(codecs_.size()); }

    // The area (kPakBlockSize bytes) to read the next block into. When every area is in
    // flight the oldest block goes to the sink first. Null once the coder has stopped.
    uint8_t* NextPlain();
    // Codes the first `plainSize` bytes of the area NextPlain gave as the block at `place`.
    bool Submit(uint32_t plainSize, const PakBlockPlace& place);
    // Hands every block still in flight to the sink; true when it took them all.
    bool Drain();

private:
    struct Slot {
        std::unique_ptr<uint8_t[]> plain;
        std::unique_ptr<uint8_t[]> packed;
        uint32_t plainSize = 0;
        uint32_t packedSize = 0;
        bool coded = false;
        bool done = false;  // guarded by mutex_
        PakBlockPlace place{};
    };
    struct CodecFree {
        int32_t method;
        void operator()(PakCodec* codec) const { DestroyPakCodec(codec, method); }
    };
    using CodecPtr = std::unique_ptr<PakCodec, CodecFree>;

    void StartWorkers(unsigned threads);
    bool MakeSlots(size_t count);
    void Work(PakCodec* codec);
    static void Code(PakCodec* codec, Slot& slot);
    Slot& SlotOf(uint64_t sequence) { return slots_[sequence % slots_.size()]; }
    bool DeliverOldest();

    int32_t method_;
    PakBlockSink& sink_;
    std::vector<CodecPtr> codecs_;  // one per thread; codecs_[0] alone codes in place
    std::vector<std::thread> workers_;
    std::vector<Slot> slots_;
    std::mutex mutex_;
    std::condition_variable queued_;  // workers wait here for blocks
    std::condition_variable coded_;   // the submitting thread waits here for the oldest
    uint64_t submitted_ = 0;          // blocks submitted
    uint64_t started_ = 0;            // blocks a worker has taken (guarded by mutex_)
    uint64_t delivered_ = 0;          // blocks handed to the sink
    bool stopping_ = false;           // guarded by mutex_
    bool stopped_ = false;            // the sink refused a block
    bool ready_ = false;
};
