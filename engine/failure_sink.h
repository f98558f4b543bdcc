// Told about every file of a run that could not be fetched or verified. Answering false
// aborts the run (UPD_E_FETCH); the driver's sink counts and always goes on.
#pragma once

#include <atomic>
#include <cstdint>

class FailureSink {
public:
    virtual ~FailureSink() = default;
    virtual bool OnFailure(const char* fileName) = 0;
};

// Adds one to a counter per failure (the process-wide failed-file count of the run, or its
// own) and always goes on.
class CountingFailureSink : public FailureSink {
public:
    explicit CountingFailureSink(std::atomic<uint32_t>* counter = nullptr)
        : counter_(counter != nullptr ? counter : &own_) {}
    bool OnFailure(const char*) override {
        counter_->fetch_add(1);
        return true;
    }
    uint32_t count() const { return counter_->load(); }

private:
    std::atomic<uint32_t> own_{0};
    std::atomic<uint32_t>* counter_;
};
