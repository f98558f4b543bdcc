// Method 1 decoder fed damaged and hand-made blocks: it refuses them with plain size 0,
// never writes past the wanted length and never reads past the packed length.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "pak/lha_coder.h"
#include "tests/pak/lha_test_data.h"

namespace {

using lha_test::BitAssembler;
using lha_test::Bytes;
using lha_test::MessageBoxRecorder;

constexpr uint8_t kGuard = 0xC3;
constexpr size_t kGuardBytes = 32;
constexpr char kBadTable[] = "Lha Decode: Bad table";

struct Outcome {
    bool ok;
    uint32_t plainLength;
    Bytes plain;
};

// Decodes from an exactly sized heap copy of the input (so AddressSanitizer sees any read
// past it) into an output area followed by guard bytes.
Outcome Decode(const Bytes& packed, uint32_t wanted) {
    std::unique_ptr<uint8_t[]> in(new uint8_t[packed.size() + 1]);
    if (!packed.empty()) std::memcpy(in.get(), packed.data(), packed.size());
    Bytes out(wanted + kGuardBytes, kGuard);
    Outcome r{};
    r.plainLength = wanted;
    r.ok = LhaDecode(in.get(), static_cast<uint32_t>(packed.size()), out.data(), &r.plainLength);
    for (size_t i = wanted; i < out.size(); ++i) EXPECT_EQ(out[i], kGuard) << "wrote past the wanted length";
    EXPECT_EQ(r.plainLength, r.ok ? wanted : 0u);
    out.resize(wanted);
    r.plain = out;
    return r;
}

// A T table coding two symbols, 2 (a long zero run) and 3 (length 1), with one bit each.
BitAssembler& PutTwoSymbolTTable(BitAssembler& b) {
    return b.Put(5, 4).Put(3, 0).Put(3, 0).Put(3, 1).Put(2, 0).Put(3, 1);
}

// C table: 'A' and the match length 3 (symbol 256), one bit each: 65 zeros, length 1,
// 190 zeros, length 1.
BitAssembler& PutTwoSymbolCTable(BitAssembler& b) {
    return b.Put(9, 257).Put(1, 0).Put(9, 65 - 20).Put(1, 1).Put(1, 0).Put(9, 190 - 20).Put(1, 1);
}

// A block of `count` symbols over the code {'A' = 0, length 3 = 1} with distances always 1
// (a single-symbol P table), followed by the given symbol bits.
Bytes TwoSymbolBlock(unsigned count, const char* symbols) {
    BitAssembler b;
    b.Put(16, count);
    PutTwoSymbolTTable(b);
    PutTwoSymbolCTable(b);
    b.Put(4, 0).Put(4, 0);
    for (const char* p = symbols; *p; ++p) b.Put(1, *p == '1');
    return b.Finish();
}

TEST(LhaDecodeHandMade, TwoSymbolBlockDecodesLiteralAndOverlappingMatch) {
    const Outcome r = Decode(TwoSymbolBlock(2, "01"), 4);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.plain, (Bytes{'A', 'A', 'A', 'A'}));
}

struct DamageCase {
    const char* name;
    Bytes packed;
    uint32_t wanted;
    bool badTableBox;  // the refusal is shown as "Lha Decode: Bad table"
};

Bytes LoneTablesThen(unsigned tSymbol, unsigned cSymbol, unsigned pSymbol) {
    return BitAssembler().Put(16, 1).Put(5, 0).Put(5, tSymbol).Put(9, 0).Put(9, cSymbol).Put(4, 0).Put(4, pSymbol).Finish();
}

std::vector<DamageCase> DamageCases() {
    std::vector<DamageCase> c;
    c.push_back({"match-before-start", TwoSymbolBlock(2, "10"), 4, false});
    c.push_back({"match-past-wanted-length", TwoSymbolBlock(2, "01"), 3, false});
    c.push_back({"block-ends-before-output", TwoSymbolBlock(1, "0"), 2, false});
    c.push_back({"zero-symbol-block", BitAssembler().Put(16, 0).Put(16, 0).Finish(), 1, false});
    c.push_back({"empty-input", Bytes{}, 1, false});
    c.push_back({"lone-c-symbol-beyond-alphabet", LoneTablesThen(0, 510, 0), 1, true});
    c.push_back({"lone-t-symbol-beyond-alphabet", LoneTablesThen(19, 65, 0), 1, true});
    c.push_back({"lone-p-symbol-beyond-alphabet", LoneTablesThen(0, 65, 14), 1, true});
    c.push_back({"t-count-beyond-alphabet", BitAssembler().Put(16, 1).Put(5, 20).Put(32, 0).Finish(), 1, true});
    c.push_back({"c-count-beyond-alphabet",
                 BitAssembler().Put(16, 1).Put(5, 0).Put(5, 3).Put(9, 511).Put(32, 0).Finish(), 1, true});
    c.push_back({"p-count-beyond-alphabet",
                 BitAssembler().Put(16, 1).Put(5, 0).Put(5, 0).Put(9, 0).Put(9, 65).Put(4, 15).Put(32, 0).Finish(), 1,
                 true});
    // T lengths {1, 0, 0}: half of the code space unused.
    c.push_back({"incomplete-t-code", BitAssembler().Put(16, 1).Put(5, 1).Put(3, 1).Put(32, 0).Finish(), 1, true});
    // T lengths {1, 1, 1}: more codes than the space holds.
    c.push_back({"oversubscribed-t-code",
                 BitAssembler().Put(16, 1).Put(5, 3).Put(3, 1).Put(3, 1).Put(3, 1).Put(2, 0).Put(32, 0).Finish(), 1,
                 true});
    // T length 17: "111" and ten 1-bits.
    c.push_back({"code-length-beyond-16",
                 BitAssembler().Put(16, 1).Put(5, 1).Put(3, 7).Put(10, 0x3FF).Put(1, 0).Put(32, 0).Finish(), 1, true});
    // A C table of one length-1 code only (lone T symbol 3 for every one of 1 length).
    c.push_back({"incomplete-c-code", BitAssembler().Put(16, 1).Put(5, 0).Put(5, 3).Put(9, 1).Put(32, 0).Finish(), 1,
                 true});
    // A zero run of 20 + 511 lengths runs past the 510 C symbols.
    c.push_back({"c-zero-run-beyond-alphabet",
                 BitAssembler().Put(16, 1).Put(5, 0).Put(5, 2).Put(9, 2).Put(9, 511).Put(32, 0).Finish(), 1, true});
    return c;
}

class LhaDecodeDamaged : public ::testing::TestWithParam<DamageCase> {};

TEST_P(LhaDecodeDamaged, IsRefused) {
    MessageBoxRecorder boxes;
    const Outcome r = Decode(GetParam().packed, GetParam().wanted);
    EXPECT_FALSE(r.ok);
    const auto& shown = MessageBoxRecorder::Boxes();
    if (GetParam().badTableBox) {
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, kBadTable);
        EXPECT_FALSE(shown[0].hasCaption);
        EXPECT_EQ(shown[0].flags, 0u);  // MB_OK
    } else {
        EXPECT_TRUE(shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LhaDecodeDamaged, ::testing::ValuesIn(DamageCases()), [](const auto& info) {
    std::string n = info.param.name;
    for (char& ch : n)
        if (ch == '-') ch = '_';
    return n;
});

struct SampleCase {
    const char* name;
    Bytes plain;
};

class LhaDecodeTruncated : public ::testing::TestWithParam<SampleCase> {};

// Every cut of a good block loses bits the decoder needs: each one is refused.
TEST_P(LhaDecodeTruncated, EveryShorterLengthIsRefused) {
    MessageBoxRecorder boxes;
    const Bytes packed = lha_test::Encode(GetParam().plain);
    const uint32_t wanted = static_cast<uint32_t>(GetParam().plain.size());
    ASSERT_TRUE(Decode(packed, wanted).ok);
    for (size_t cut = 0; cut < packed.size(); ++cut) {
        const Outcome r = Decode(Bytes(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(cut)), wanted);
        ASSERT_FALSE(r.ok) << "cut at " << cut << " of " << packed.size();
    }
}

// Flipped bits give either a refusal or output of exactly the wanted length, never an
// overrun (the guard bytes) or a crash.
TEST_P(LhaDecodeTruncated, FlippedBitsNeverOverrun) {
    MessageBoxRecorder boxes;
    const Bytes packed = lha_test::Encode(GetParam().plain);
    const uint32_t wanted = static_cast<uint32_t>(GetParam().plain.size());
    const size_t step = packed.size() * 8 / 600 + 1;
    for (size_t bit = 0; bit < packed.size() * 8; bit += step) {
        Bytes damaged = packed;
        damaged[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
        Decode(damaged, wanted);
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, LhaDecodeTruncated,
                         ::testing::Values(SampleCase{"one_byte", Bytes{0x42}},
                                           SampleCase{"text_3000", lha_test::Text(3000, 61)},
                                           SampleCase{"random_2000", lha_test::RandomBytes(2000, 62)},
                                           SampleCase{"repeats_6000", lha_test::WithRepeat(6000, 4000, 3000, 1500, 63)}),
                         [](const auto& info) { return std::string(info.param.name); });

// Garbage of every kind must not hang or overrun the decoder.
TEST(LhaDecodeHostile, RandomGarbageNeverOverruns) {
    MessageBoxRecorder boxes;
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        const Bytes junk = lha_test::RandomBytes(seed % 97 + 1, seed);
        Decode(junk, seed % 3 == 0 ? lha_test::kBlock : 100);
    }
}

}  // namespace
