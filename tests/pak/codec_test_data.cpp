#include "tests/pak/codec_test_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

// xorshift32: small, deterministic, good enough to defeat every compressor.
class Rng {
public:
    explicit Rng(uint32_t seed) : s_(seed ? seed : 1) {}
    uint32_t Next() {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 17;
        s_ ^= s_ << 5;
        return s_;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }

private:
    uint32_t s_;
};

void PutLe32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

Bytes MakeText(size_t size) {
    static const char* const kWords[] = {"server", "patch", "version", "client", "update", "file",
                                         "size", "path", "mainclient", "data", "map", "sound"};
    Rng rng(7);
    std::string text;
    char line[96];
    while (text.size() < size) {
        std::snprintf(line, sizeof line, "%s_%s%u = %s\\%s%u.dat\r\n", kWords[rng.Below(12)],
                      kWords[rng.Below(12)], rng.Below(100), kWords[rng.Below(12)],
                      kWords[rng.Below(12)], rng.Below(1000));
        text += line;
    }
    return Bytes(text.begin(), text.begin() + size);
}

Bytes MakeX86Code(size_t size) {
    constexpr uint32_t kFunctions = 24;
    Rng rng(11);
    std::vector<uint32_t> targets;
    for (uint32_t i = 0; i < kFunctions; ++i) targets.push_back(rng.Below(static_cast<uint32_t>(size) + 1));
    Bytes code;
    while (code.size() < size) {
        // push ebp; mov ebp, esp; sub esp, imm8
        code.insert(code.end(), {0x55, 0x8B, 0xEC, 0x83, 0xEC, static_cast<uint8_t>(rng.Below(64) * 4)});
        const uint32_t calls = 2 + rng.Below(6);
        for (uint32_t c = 0; c < calls; ++c) {
            // mov eax, [ebp+imm8]; push eax; call rel32 to one of a few functions
            code.insert(code.end(), {0x8B, 0x45, static_cast<uint8_t>(8 + 4 * rng.Below(4)), 0x50});
            const uint8_t op = rng.Below(5) == 0 ? 0xE9 : 0xE8;
            const uint32_t at = static_cast<uint32_t>(code.size());
            code.push_back(op);
            PutLe32(code, targets[rng.Below(kFunctions)] - (at + 5));
            code.insert(code.end(), {0x83, 0xC4, 0x04});  // add esp, 4
        }
        code.insert(code.end(), {0x8B, 0xE5, 0x5D, 0xC3});  // mov esp, ebp; pop ebp; ret
    }
    code.resize(size);
    return code;
}

Bytes MakeRandom(size_t size, uint32_t seed) {
    Rng rng(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<uint8_t>(rng.Next() >> 24);
    return out;
}

Bytes MakeZeros(size_t size) { return Bytes(size, 0); }

GuardedBuffer::GuardedBuffer(size_t size) : size_(size), bytes_(size + 2 * kGuard, kGuardByte) {}

bool GuardedBuffer::GuardsIntact() const {
    auto isGuard = [](uint8_t b) { return b == kGuardByte; };
    return std::all_of(bytes_.begin(), bytes_.begin() + kGuard, isGuard) &&
           std::all_of(bytes_.end() - kGuard, bytes_.end(), isGuard);
}

std::string MethodName(int32_t method) {
    switch (method) {
        case kPakMethodLzma: return "lzma";
        case kPakMethodZlib: return "zlib";
        case kPakMethodStored: return "stored";
        case kPakMethodLha: return "lha";
        case kPakMethodLzo: return "lzo";
        default: return "method" + std::to_string(method);
    }
}

Bytes EncodeBlock(PakCodec& codec, const Bytes& plain, bool* ok) {
    GuardedBuffer packed(kPakPackedCapacity);
    Bytes input = plain;  // the job's plain pointer is not const
    PakCodecJob job{input.data(), static_cast<uint32_t>(input.size()), packed.data(), kPakPackedCapacity};
    const bool result = codec.Encode(job);
    EXPECT_TRUE(packed.GuardsIntact()) << "Encode wrote outside its capacity";
    EXPECT_EQ(input, plain) << "Encode changed its input";
    if (ok) *ok = result;
    if (!result) return {};
    EXPECT_LE(job.packedSize, kPakPackedCapacity);
    return Bytes(packed.data(), packed.data() + std::min(job.packedSize, kPakPackedCapacity));
}

bool DecodeBlock(PakCodec& codec, const Bytes& packed, uint32_t capacity, Bytes* plain,
                 uint32_t* produced) {
    GuardedBuffer out(capacity);
    // The packed block sits in a buffer of its exact size, so reading past it shows up
    // under the sanitizers.
    std::unique_ptr<uint8_t[]> in(new uint8_t[packed.size()]);
    std::copy(packed.begin(), packed.end(), in.get());
    PakCodecJob job{out.data(), capacity, in.get(), static_cast<uint32_t>(packed.size())};
    const bool result = codec.Decode(job);
    EXPECT_TRUE(out.GuardsIntact()) << "Decode wrote outside the plain capacity";
    EXPECT_LE(job.plainSize, capacity);
    if (produced) *produced = job.plainSize;
    if (plain) plain->assign(out.data(), out.data() + std::min(job.plainSize, capacity));
    return result;
}
