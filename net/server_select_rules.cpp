#include "net/server_select_rules.h"

#include <cstring>

namespace {

constexpr uint32_t kBroadcastAddress = 0xFFFFFFFFu;
constexpr int kMaxAddressParts = 4;
constexpr int kDecimalBase = 10;
constexpr int kOctalBase = 8;
constexpr int kHexBase = 16;

bool IsUpipSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One part of an address starting at `text`; advances it past the digits. False for a part
// without digits, a digit outside the base, or a value above 32 bits.
bool ParsePart(const char*& text, uint32_t& value) {
    int base = kDecimalBase;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = kHexBase;
        text += 2;
    } else if (text[0] == '0') {
        base = kOctalBase;
    }
    uint64_t total = 0;
    const char* start = text;
    for (int digit; (digit = DigitValue(*text)) >= 0; ++text) {
        if (digit >= base) return false;
        total = total * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (total > 0xFFFFFFFFull) return false;
    }
    if (text == start) return false;
    value = static_cast<uint32_t>(total);
    return true;
}

}  // namespace

bool ParseIpv4Address(const char* text, uint32_t* address) {
    if (text == nullptr || address == nullptr) return false;
    uint32_t parts[kMaxAddressParts];
    int count = 0;
    const char* at = text;
    for (;;) {
        if (count == kMaxAddressParts || !ParsePart(at, parts[count])) return false;
        ++count;
        if (*at == '\0') break;
        if (*at != '.') return false;
        ++at;
    }
    // Every part but the last is one byte; the last fills the bytes that are left.
    uint32_t host = 0;
    for (int i = 0; i + 1 < count; ++i) {
        if (parts[i] > 0xFFu) return false;
        host |= parts[i] << (24 - 8 * i);
    }
    const int lastBits = 32 - 8 * (count - 1);
    const uint32_t last = parts[count - 1];
    if (lastBits < 32 && last >> lastBits != 0) return false;
    host |= last;
    if (host == kBroadcastAddress) return false;
    const unsigned char bytes[4] = {static_cast<unsigned char>(host >> 24), static_cast<unsigned char>(host >> 16),
                                    static_cast<unsigned char>(host >> 8), static_cast<unsigned char>(host)};
    std::memcpy(address, bytes, sizeof(bytes));
    return true;
}

bool IsServerAddress(uint32_t address) { return address != 0 && address != kBroadcastAddress; }

bool AppendCandidate(ServerCandidates& list, uint32_t address) {
    if (list.count >= kMaxServerCandidates) return false;
    list.address[list.count] = address;
    list.rtt[list.count] = 0;
    ++list.count;
    return true;
}

void UpipTokenReader::Feed(const char* text, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (IsUpipSpace(c)) {
            EndToken();
        } else if (length_ < kUpipTokenMax) {
            token_[length_++] = c;
        } else {
            overlong_ = true;
        }
    }
}

void UpipTokenReader::Finish() { EndToken(); }

void UpipTokenReader::EndToken() {
    if (length_ > 0 && !overlong_) {
        token_[length_] = '\0';
        uint32_t address;
        if (std::strlen(token_) == length_ && ParseIpv4Address(token_, &address) && IsServerAddress(address)) {
            AppendCandidate(list_, address);
        }
    }
    length_ = 0;
    overlong_ = false;
}

uint32_t PickCandidate(const ServerCandidates& list, uint32_t probeResult, uint32_t randomValue) {
    const uint32_t count = list.count < kMaxServerCandidates ? list.count : kMaxServerCandidates;
    if (count == 0) return 0;
    if (probeResult == 0) return list.address[randomValue % count];
    uint32_t fastest = list.rtt[0];
    for (uint32_t i = 1; i < count; ++i) {
        if (list.rtt[i] < fastest) fastest = list.rtt[i];
    }
    const uint64_t limit = static_cast<uint64_t>(fastest) + kEligibleMarginMs;
    uint32_t eligible[kMaxServerCandidates];
    uint32_t eligibleCount = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (list.rtt[i] <= limit) eligible[eligibleCount++] = list.address[i];
    }
    return eligible[randomValue % eligibleCount];
}
