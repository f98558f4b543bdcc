#include "pak/lha_huffman.h"

#include <algorithm>
#include <cstring>

#include "pak/lha_format.h"

namespace lha {
namespace {

constexpr unsigned kMaxSymbols = kNC;
constexpr unsigned kMaxNodes = 2 * kMaxSymbols;
constexpr uint32_t kKraftTotal = 1u << kMaxCodeLength;
constexpr uint16_t kNoEntry = 0xFFFF;

// Min-heap of node numbers ordered by weight, ties by node number (deterministic output).
class NodeHeap {
public:
    explicit NodeHeap(const uint32_t* weight) : weight_(weight) {}

    unsigned Size() const { return size_; }

    void Push(uint16_t node) {
        unsigned i = size_++;
        while (i > 0) {
            const unsigned up = (i - 1) / 2;
            if (!Less(node, nodes_[up])) break;
            nodes_[i] = nodes_[up];
            i = up;
        }
        nodes_[i] = node;
    }

    uint16_t Pop() {
        const uint16_t top = nodes_[0];
        const uint16_t last = nodes_[--size_];
        unsigned i = 0;
        for (;;) {
            unsigned child = 2 * i + 1;
            if (child >= size_) break;
            if (child + 1 < size_ && Less(nodes_[child + 1], nodes_[child])) ++child;
            if (!Less(nodes_[child], last)) break;
            nodes_[i] = nodes_[child];
            i = child;
        }
        nodes_[i] = last;
        return top;
    }

private:
    bool Less(uint16_t a, uint16_t b) const {
        return weight_[a] != weight_[b] ? weight_[a] < weight_[b] : a < b;
    }

    const uint32_t* weight_;
    uint16_t nodes_[kMaxNodes];
    unsigned size_ = 0;
};

// Leaves per depth of an unrestricted Huffman tree, depths beyond 16 counted at 16.
void CountLeafDepths(const uint32_t* freq, unsigned n, uint32_t* perLength) {
    uint32_t weight[kMaxNodes];
    uint16_t parent[kMaxNodes];
    uint8_t depth[kMaxNodes];
    NodeHeap heap(weight);
    for (unsigned s = 0; s < n; ++s) {
        weight[s] = freq[s];
        if (freq[s] != 0) heap.Push(static_cast<uint16_t>(s));
    }
    unsigned next = n;
    while (heap.Size() > 1) {
        const uint16_t a = heap.Pop();
        const uint16_t b = heap.Pop();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<uint16_t>(next);
        heap.Push(static_cast<uint16_t>(next));
        ++next;
    }
    // Parents are numbered above their children: walk from the root down.
    const unsigned root = next - 1;
    depth[root] = 0;
    for (unsigned node = root; node-- > n;) depth[node] = static_cast<uint8_t>(
        std::min<unsigned>(depth[parent[node]] + 1, kMaxCodeLength + 1));
    for (unsigned s = 0; s < n; ++s) {
        if (freq[s] == 0) continue;
        const unsigned d = std::min<unsigned>(depth[parent[s]] + 1u, kMaxCodeLength);
        ++perLength[d];
    }
}

// Moves leaves down until the lengths form a complete code again after clamping at 16.
void LimitToMaxLength(uint32_t* perLength) {
    uint32_t kraft = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) kraft += perLength[len] << (kMaxCodeLength - len);
    while (kraft > kKraftTotal) {
        // Drop one leaf of length 16 and split a shorter leaf into two one level deeper:
        // the total falls by exactly one unit.
        --perLength[kMaxCodeLength];
        for (unsigned len = kMaxCodeLength - 1; len > 0; --len) {
            if (perLength[len] != 0) {
                --perLength[len];
                perLength[len + 1] += 2;
                break;
            }
        }
        --kraft;
    }
}

}  // namespace

unsigned LoneSymbol(const uint32_t* freq, unsigned n) {
    for (unsigned s = 0; s < n; ++s)
        if (freq[s] != 0) return s;
    return 0;
}

unsigned BuildCodeLengths(const uint32_t* freq, unsigned n, uint8_t* lengths) {
    std::memset(lengths, 0, n);
    uint16_t used[kMaxSymbols];
    unsigned usedCount = 0;
    for (unsigned s = 0; s < n; ++s)
        if (freq[s] != 0) used[usedCount++] = static_cast<uint16_t>(s);
    if (usedCount < 2) return usedCount;

    uint32_t perLength[kMaxCodeLength + 1] = {};
    CountLeafDepths(freq, n, perLength);
    LimitToMaxLength(perLength);

    // The rarest symbols take the longest codes.
    std::stable_sort(used, used + usedCount,
                     [freq](uint16_t a, uint16_t b) { return freq[a] < freq[b]; });
    unsigned next = 0;
    for (unsigned len = kMaxCodeLength; len > 0; --len)
        for (uint32_t k = 0; k < perLength[len]; ++k) lengths[used[next++]] = static_cast<uint8_t>(len);
    return usedCount;
}

void MakeCanonicalCodes(const uint8_t* lengths, unsigned n, uint16_t* codes) {
    uint32_t perLength[kMaxCodeLength + 1] = {};
    for (unsigned s = 0; s < n; ++s) ++perLength[lengths[s]];
    uint32_t start[kMaxCodeLength + 2] = {};
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) start[len + 1] = (start[len] + perLength[len]) << 1;
    for (unsigned s = 0; s < n; ++s) codes[s] = lengths[s] == 0 ? 0 : static_cast<uint16_t>(start[lengths[s]]++);
}

void BuildLoneSymbolTable(unsigned symbol, const DecodeTable& t) {
    std::fill(t.table, t.table + (1u << t.tableBits), static_cast<uint16_t>(symbol));
}

bool BuildDecodeTable(const uint8_t* lengths, unsigned n, const DecodeTable& t) {
    uint32_t perLength[kMaxCodeLength + 1] = {};
    for (unsigned s = 0; s < n; ++s) {
        if (lengths[s] > kMaxCodeLength) return false;
        ++perLength[lengths[s]];
    }
    // Codes as 16-bit left-aligned values; a complete code fills exactly 2^16.
    uint32_t start[kMaxCodeLength + 2] = {};
    for (unsigned len = 1; len <= kMaxCodeLength; ++len)
        start[len + 1] = start[len] + (perLength[len] << (kMaxCodeLength - len));
    if (start[kMaxCodeLength + 1] != kKraftTotal) return false;

    const unsigned tableSize = 1u << t.tableBits;
    std::fill(t.table, t.table + tableSize, kNoEntry);
    unsigned nextNode = n;
    for (unsigned s = 0; s < n; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        const uint32_t code = start[len];
        start[len] += 1u << (kMaxCodeLength - len);
        const uint32_t index = code >> (kMaxCodeLength - t.tableBits);
        if (len <= t.tableBits) {
            std::fill(t.table + index, t.table + index + (1u << (t.tableBits - len)), static_cast<uint16_t>(s));
            continue;
        }
        // Longer codes continue from the table entry through the overflow tree.
        uint16_t* slot = &t.table[index];
        const int lastBit = static_cast<int>(kMaxCodeLength - len);
        for (int bit = static_cast<int>(kMaxCodeLength - 1 - t.tableBits); bit >= lastBit; --bit) {
            if (*slot == kNoEntry) {
                if (nextNode >= t.nodeCapacity) return false;
                t.left[nextNode] = t.right[nextNode] = kNoEntry;
                *slot = static_cast<uint16_t>(nextNode++);
            }
            if (*slot < n) return false;  // a shorter code is a prefix of this one
            slot = (code >> bit) & 1 ? &t.right[*slot] : &t.left[*slot];
        }
        if (*slot != kNoEntry) return false;
        *slot = static_cast<uint16_t>(s);
    }
    return true;
}

}  // namespace lha
