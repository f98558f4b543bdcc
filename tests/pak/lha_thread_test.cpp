// Every method 1 coding job has work areas of its own: blocks coded on several threads at
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
            // One coder per thread, reused for every block it codes, as a codec is: each
            // thread takes the samples in its own rotation, so a coder meets blocks of
            // different sizes one after the other and nothing may carry over between them.
            LhaCoder coder;
            for (int r = 0; r < kRounds; ++r) {
                const int k = (t + r) % kThreads;
                const Bytes& plain = plains[k];
                Bytes packed(plain.size() * 2 + 1024);
                Bytes back(plain.size());
                uint32_t packedLength = 0;
                const bool encoded = coder.Encode(plain.data(), static_cast<uint32_t>(plain.size()), packed.data(),
                                                  static_cast<uint32_t>(packed.size()), &packedLength);
                // The same input always codes to the same bytes.
                if (!encoded || packedLength != expected[k].size() ||
                    !std::equal(expected[k].begin(), expected[k].end(), packed.begin()))
                    ++failures;
                uint32_t plainLength = static_cast<uint32_t>(plain.size());
                if (!coder.Decode(packed.data(), packedLength, back.data(), &plainLength) || back != plain) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
