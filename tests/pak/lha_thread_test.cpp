// The method 1 coder's work areas are process-wide: blocks coded on several threads at
// once must all come out right.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "pak/lha_coder.h"
#include "tests/pak/lha_test_data.h"

namespace {

using lha_test::Bytes;

constexpr int kThreads = 4;
constexpr int kRounds = 12;

TEST(LhaThreads, ConcurrentBlocksAllCodeAndDecodeCorrectly) {
    std::vector<Bytes> plains;
    std::vector<Bytes> expected;
    for (int t = 0; t < kThreads; ++t) {
        plains.push_back(t % 2 ? lha_test::Text(40000 + 1000 * t, 100 + t)
                               : lha_test::WithRepeat(30000 + 500 * t, 20000, 7000, 900, 200 + t));
        expected.push_back(lha_test::Encode(plains.back()));
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const Bytes& plain = plains[t];
            Bytes packed(plain.size() * 2 + 1024);
            Bytes back(plain.size());
            for (int r = 0; r < kRounds; ++r) {
                uint32_t packedLength = 0;
                const bool encoded = LhaEncode(plain.data(), static_cast<uint32_t>(plain.size()), packed.data(),
                                               static_cast<uint32_t>(packed.size()), &packedLength);
                // The same input always codes to the same bytes.
                if (!encoded || packedLength != expected[t].size() ||
                    !std::equal(expected[t].begin(), expected[t].end(), packed.begin()))
                    ++failures;
                uint32_t plainLength = static_cast<uint32_t>(plain.size());
                if (!LhaDecode(packed.data(), packedLength, back.data(), &plainLength) || back != plain) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
