#include "tests/pak/lha_test_data.h"

#include <gtest/gtest.h>

#include "pak/lha_coder.h"
#include "platform/platform.h"
#include "text/message_box.h"

namespace lha_test {
namespace {

uint32_t Next(uint32_t& seed) { return seed = seed * 1664525u + 1013904223u; }

MessageBoxHook g_previousHook = nullptr;

int RecordBox(const char* text, const char* caption, unsigned flags) {
    MessageBoxRecorder::Boxes().push_back({text ? text : "", caption != nullptr, flags});
    return platform::kIdOk;
}

}  // namespace

Bytes RandomBytes(size_t n, uint32_t seed) {
    Bytes out(n);
    for (uint8_t& b : out) b = static_cast<uint8_t>(Next(seed) >> 24);
    return out;
}

Bytes EqualBytes(size_t n, uint8_t value) { return Bytes(n, value); }

Bytes Text(size_t n, uint32_t seed) {
    static const char* const kWords[] = {"server ", "update ", "patch.dat ", "version ", "file ",
                                         "the ", "a ", "download ", "game\r\n", "edition 800 ", "1024 "};
    std::string s;
    while (s.size() < n) s += kWords[(Next(seed) >> 16) % (sizeof kWords / sizeof kWords[0])];
    return Bytes(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
}

Bytes WithRepeat(size_t n, size_t at, size_t distance, size_t length, uint32_t seed) {
    Bytes out = RandomBytes(n, seed);
    for (size_t i = 0; i < length; ++i) out[at + i] = out[at - distance + i];
    return out;
}

Bytes FibonacciSkewed(size_t n) {
    constexpr unsigned kSymbols = 26;
    std::vector<uint32_t> weight(kSymbols);
    weight[0] = weight[1] = 1;
    for (unsigned i = 2; i < kSymbols; ++i) weight[i] = weight[i - 1] + weight[i - 2];
    Bytes out;
    for (unsigned s = 0; s < kSymbols; ++s)
        for (uint32_t k = 0; k < weight[s] && out.size() < n; ++k) out.push_back(static_cast<uint8_t>('a' + s));
    // Scatter the symbols so that few matches hide their frequencies.
    uint32_t seed = 7;
    for (size_t i = out.size(); i > 1; --i) std::swap(out[i - 1], out[Next(seed) % i]);
    return out;
}

Bytes Encode(const Bytes& plain) {
    Bytes packed(plain.size() * 2 + 1024);
    uint32_t packedLength = 0;
    EXPECT_TRUE(LhaEncode(plain.data(), static_cast<uint32_t>(plain.size()), packed.data(),
                          static_cast<uint32_t>(packed.size()), &packedLength));
    packed.resize(packedLength);
    return packed;
}

BitAssembler& BitAssembler::Put(unsigned count, unsigned value) {
    for (unsigned i = count; i-- > 0;) bits_ += ((value >> i) & 1) ? '1' : '0';
    return *this;
}

Bytes BitAssembler::Finish() const {
    Bytes out((bits_.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits_.size(); ++i)
        if (bits_[i] == '1') out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    return out;
}

MessageBoxRecorder::MessageBoxRecorder() {
    Boxes().clear();
    g_previousHook = SetMessageBoxHook(RecordBox);
}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxHook(g_previousHook); }

std::vector<MessageBoxRecorder::Box>& MessageBoxRecorder::Boxes() {
    static std::vector<Box> boxes;
    return boxes;
}

}  // namespace lha_test
