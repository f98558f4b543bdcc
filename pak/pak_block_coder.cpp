#include "pak/pak_block_coder.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "pak/pak_coding_threads.h"

namespace {

// Areas per thread: enough that a thread finds the next block waiting while the writer
// stores the oldest, few enough that memory stays at a few MB (two 64 KiB areas each).
constexpr size_t kSlotsPerThread = 4;

}  // namespace

PakBlockCoder::PakBlockCoder(int32_t method, PakBlockSink& sink, unsigned threads)
    : method_(method), sink_(sink) {
    if (threads == 0) threads = PakCodingThreads();
    // A stored block is a plain copy: handing it to another thread costs more than the copy.
    if (method == kPakMethodStored) threads = 1;
    StartWorkers(threads);
    // Coded in place, one block is in flight at a time.
    ready_ = MakeSlots(workers_.empty() ? 1 : workers_.size() * kSlotsPerThread);
}

PakBlockCoder::~PakBlockCoder() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

// One codec per thread. Threads the system will not give leave fewer workers; with none
// (or one thread wanted) the first codec codes on the submitting thread.
void PakBlockCoder::StartWorkers(unsigned threads) {
    codecs_.emplace_back(CreatePakCodec(method_), CodecFree{method_});
    if (threads <= 1) return;
    for (unsigned i = 1; i < threads; ++i) codecs_.emplace_back(CreatePakCodec(method_), CodecFree{method_});
    for (CodecPtr& codec : codecs_) {
        try {
            workers_.emplace_back(&PakBlockCoder::Work, this, codec.get());
        } catch (const std::system_error&) {
            break;
        }
    }
    codecs_.resize(std::max<size_t>(workers_.size(), 1));
}

bool PakBlockCoder::MakeSlots(size_t count) {
    slots_.resize(count);
    for (Slot& slot : slots_) {
        slot.plain.reset(new (std::nothrow) uint8_t[kPakBlockSize]);
        slot.packed.reset(new (std::nothrow) uint8_t[kPakPackedCapacity]);
        if (!slot.plain || !slot.packed) return false;
    }
    return true;
}

void PakBlockCoder::Code(PakCodec* codec, Slot& slot) {
    PakCodecJob job{slot.plain.get(), slot.plainSize, slot.packed.get(), kPakPackedCapacity};
    bool coded = false;
    try {
        coded = codec != nullptr && codec->Encode(job);
    } catch (...) {
        // A codec that cannot get memory for a block: the block is stored plain.
        coded = false;
    }
    slot.coded = coded;
    slot.packedSize = coded ? job.packedSize : kPakEncodeFailedSize;
}

void PakBlockCoder::Work(PakCodec* codec) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || started_ < submitted_; });
        if (stopping_) return;
        Slot& slot = SlotOf(started_++);
        lock.unlock();
        Code(codec, slot);
        lock.lock();
        slot.done = true;
        coded_.notify_one();
    }
}

uint8_t* PakBlockCoder::NextPlain() {
    if (!ready_ || stopped_) return nullptr;
    if (submitted_ - delivered_ == slots_.size() && !DeliverOldest()) return nullptr;
    return SlotOf(submitted_).plain.get();
}

bool PakBlockCoder::Submit(uint32_t plainSize, const PakBlockPlace& place) {
    if (!ready_ || stopped_ || submitted_ - delivered_ >= slots_.size() || plainSize > kPakBlockSize) return false;
    Slot& slot = SlotOf(submitted_);
    slot.plainSize = plainSize;
    slot.place = place;
    slot.done = false;
    if (workers_.empty()) {
        Code(codecs_[0].get(), slot);
        slot.done = true;
        ++submitted_;
        return DeliverOldest();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++submitted_;
    }
    queued_.notify_one();
    return true;
}

bool PakBlockCoder::DeliverOldest() {
    Slot& slot = SlotOf(delivered_);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        coded_.wait(lock, [&slot] { return slot.done; });
    }
    PakCodedBlock block{slot.place, slot.plain.get(), slot.plainSize, slot.packed.get(), slot.packedSize, slot.coded};
    ++delivered_;
    if (!sink_.TakeBlock(block)) stopped_ = true;
    return !stopped_;
}

bool PakBlockCoder::Drain() {
    while (!stopped_ && delivered_ < submitted_) {
        if (!DeliverOldest()) return false;
    }
    return ready_ && !stopped_;
}
