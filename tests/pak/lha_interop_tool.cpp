// Test helper for checking the method 1 coder against independent -lh5- programs.
//   lha_interop_tool sample KIND OUT     writes a deterministic sample (text, short-text,
//                                        binary, random, repetitive, skewed, one-byte)
//   lha_interop_tool wrap IN OUT.lzh     codes IN and wraps it as a one-file level-0 -lh5-
//                                        archive that any LHA extractor can read
//   lha_interop_tool check ARCHIVE ORIG  decodes the first -lh5- member of ARCHIVE (header
//                                        level 0, 1 or 2) and compares it with ORIG
// Exit status 0 on success, 1 on a mismatch or error, 3 when the archive holds the file
// stored uncoded (-lh0-), as archivers do when coding does not make it smaller.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>
#include <string>
#include <vector>

#include "pak/lha_coder.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxSample = 65536;
constexpr size_t kShortText = 700;
constexpr size_t kSkewedSymbols = 26;
constexpr char kMethodLh5[] = "-lh5-";
constexpr char kMethodStored[] = "-lh0-";
constexpr int kExitStoredByPeer = 3;  // `check`: the peer stored the file uncoded
constexpr size_t kMethodLength = 5;

// Offsets in the common part of every LHA header level.
constexpr size_t kMethodOffset = 2;
constexpr size_t kPackedSizeOffset = 7;
constexpr size_t kPlainSizeOffset = 11;
constexpr size_t kTimeOffset = 15;
constexpr size_t kAttributeOffset = 19;
constexpr size_t kLevelOffset = 20;
constexpr size_t kNameLengthOffset = 21;  // levels 0 and 1
constexpr size_t kLevel2CrcOffset = 21;
constexpr size_t kCommonHeaderSize = 22;  // up to the name length byte
constexpr size_t kCrcSize = 2;
constexpr uint8_t kArchiveAttribute = 0x20;
constexpr uint32_t kDosTime = 0x5A210000;  // 2025-01-01 00:00
constexpr uint16_t kCrc16Polynomial = 0xA001;  // CRC-16/ARC, reflected

bool ReadFile(const char* path, Bytes& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

bool WriteFile(const char* path, const Bytes& data) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(f);
}

uint16_t Crc16(const Bytes& data) {
    uint16_t crc = 0;
    for (uint8_t b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ kCrc16Polynomial) : crc >> 1;
    }
    return crc;
}

uint32_t Le(const Bytes& b, size_t at, size_t width) {
    uint32_t v = 0;
    for (size_t i = 0; i < width; ++i) v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    return v;
}

void PutLe(Bytes& b, uint32_t v, size_t width) {
    for (size_t i = 0; i < width; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Deterministic samples; the seed makes "random" the same on every run.
Bytes MakeSample(const std::string& kind) {
    Bytes out;
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    if (kind == "one-byte") return Bytes{0x5A};
    if (kind == "repetitive") {
        static const char kUnit[] = "ABCABCABD-0123";
        while (out.size() < kMaxSample) out.push_back(static_cast<uint8_t>(kUnit[out.size() % (sizeof kUnit - 1)]));
        return out;
    }
    if (kind == "random") {
        while (out.size() < kMaxSample) out.push_back(static_cast<uint8_t>(next() >> 24));
        return out;
    }
    if (kind == "skewed") {
        // Byte frequencies in Fibonacci proportions, shuffled: the Huffman code for them
        // needs lengths beyond 16 bits unless the coder limits them.
        uint32_t weight[kSkewedSymbols] = {1, 1};
        for (size_t i = 2; i < kSkewedSymbols; ++i) weight[i] = weight[i - 1] + weight[i - 2];
        for (size_t s = 0; s < kSkewedSymbols; ++s)
            for (uint32_t k = 0; k < weight[s] && out.size() < kMaxSample; ++k) out.push_back(static_cast<uint8_t>('a' + s));
        for (size_t i = out.size(); i > 1; --i) std::swap(out[i - 1], out[next() % i]);
        return out;
    }
    if (kind == "binary") {
        // Records of little-endian counters and small values, like a table in a game file.
        for (uint32_t i = 0; out.size() < kMaxSample; ++i) {
            PutLe(out, i * 7, 4);
            PutLe(out, (next() >> 28), 2);
            out.push_back(static_cast<uint8_t>(i & 0x0F));
        }
        out.resize(kMaxSample);
        return out;
    }
    if (kind == "text" || kind == "short-text") {
        static const char* const kWords[] = {"update ", "server ", "pack ", "file ", "the ", "of ",
                                             "block ", "version ", "patch\r\n", "game ", "client "};
        while (out.size() < kMaxSample) {
            const char* w = kWords[(next() >> 16) % (sizeof kWords / sizeof kWords[0])];
            out.insert(out.end(), w, w + std::strlen(w));
        }
        out.resize(kind == "text" ? kMaxSample : kShortText);
        return out;
    }
    return out;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int Wrap(const char* inPath, const char* outPath) {
    Bytes plain;
    if (!ReadFile(inPath, plain) || plain.empty()) return std::fprintf(stderr, "cannot read %s\n", inPath), 1;
    Bytes packed(plain.size() * 2 + 1024);
    uint32_t packedLength = 0;
    if (!LhaEncode(plain.data(), static_cast<uint32_t>(plain.size()), packed.data(),
                   static_cast<uint32_t>(packed.size()), &packedLength))
        return std::fprintf(stderr, "encode failed\n"), 1;
    const std::string name = BaseName(inPath);

    Bytes header;
    header.push_back(0);  // header size, filled below
    header.push_back(0);  // header checksum, filled below
    header.insert(header.end(), kMethodLh5, kMethodLh5 + kMethodLength);
    PutLe(header, packedLength, 4);
    PutLe(header, static_cast<uint32_t>(plain.size()), 4);
    PutLe(header, kDosTime, 4);
    header.push_back(kArchiveAttribute);
    header.push_back(0);  // header level
    header.push_back(static_cast<uint8_t>(name.size()));
    header.insert(header.end(), name.begin(), name.end());
    PutLe(header, Crc16(plain), kCrcSize);
    // Level 0: the size counts the bytes after the first two, the checksum is their byte sum.
    header[0] = static_cast<uint8_t>(header.size() - 2);
    uint8_t sum = 0;
    for (size_t i = 2; i < header.size(); ++i) sum = static_cast<uint8_t>(sum + header[i]);
    header[1] = sum;

    Bytes archive = header;
    archive.insert(archive.end(), packed.begin(), packed.begin() + packedLength);
    archive.push_back(0);  // end of archive
    return WriteFile(outPath, archive) ? 0 : 1;
}

// Finds the coded data of the first member; false when the header is not understood.
bool LocateMember(const Bytes& a, size_t& dataStart, uint32_t& packedSize, uint32_t& plainSize, uint16_t& crc) {
    if (a.size() < kCommonHeaderSize + kCrcSize) return false;
    if (std::memcmp(&a[kMethodOffset], kMethodLh5, kMethodLength) != 0) return false;
    packedSize = Le(a, kPackedSizeOffset, 4);
    plainSize = Le(a, kPlainSizeOffset, 4);
    const unsigned level = a[kLevelOffset];
    if (level == 2) {
        dataStart = Le(a, 0, 2);
        crc = static_cast<uint16_t>(Le(a, kLevel2CrcOffset, 2));
    } else if (level == 0 || level == 1) {
        const size_t nameLength = a[kNameLengthOffset];
        crc = static_cast<uint16_t>(Le(a, kCommonHeaderSize + nameLength, 2));
        dataStart = 2 + a[0];
        if (level == 1) {
            // Extended headers follow the base header, each ending with the next one's size;
            // the packed size field includes them.
            size_t next = Le(a, dataStart - 2, 2);
            while (next != 0) {
                if (dataStart + next > a.size() || next > packedSize) return false;
                dataStart += next;
                packedSize -= static_cast<uint32_t>(next);
                next = Le(a, dataStart - 2, 2);
            }
        }
    } else {
        return false;
    }
    return dataStart + packedSize <= a.size();
}

int Check(const char* archivePath, const char* originalPath) {
    Bytes archive, original;
    if (!ReadFile(archivePath, archive) || !ReadFile(originalPath, original))
        return std::fprintf(stderr, "cannot read inputs\n"), 1;
    size_t dataStart = 0;
    uint32_t packedSize = 0, plainSize = 0;
    uint16_t crc = 0;
    if (archive.size() > kMethodOffset + kMethodLength &&
        std::memcmp(&archive[kMethodOffset], kMethodStored, kMethodLength) == 0) {
        std::printf("%s: stored uncoded by the archiver, nothing to decode\n", archivePath);
        return kExitStoredByPeer;
    }
    if (!LocateMember(archive, dataStart, packedSize, plainSize, crc))
        return std::fprintf(stderr, "%s: no -lh5- member found\n", archivePath), 1;
    if (plainSize != original.size() || crc != Crc16(original))
        return std::fprintf(stderr, "%s: header does not describe the original\n", archivePath), 1;
    Bytes plain(plainSize);
    uint32_t plainLength = plainSize;
    if (!LhaDecode(archive.data() + dataStart, packedSize, plain.data(), &plainLength))
        return std::fprintf(stderr, "%s: decode failed\n", archivePath), 1;
    if (plain != original) return std::fprintf(stderr, "%s: decoded data differ\n", archivePath), 1;
    std::printf("%s: %u -> %u bytes decoded and equal\n", archivePath, packedSize, plainSize);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "sample" && argc == 4) {
        const Bytes s = MakeSample(argv[2]);
        if (s.empty()) return std::fprintf(stderr, "unknown sample kind %s\n", argv[2]), 1;
        return WriteFile(argv[3], s) ? 0 : 1;
    }
    if (cmd == "wrap" && argc == 4) return Wrap(argv[2], argv[3]);
    if (cmd == "check" && argc == 4) return Check(argv[2], argv[3]);
    std::fprintf(stderr, "usage: %s sample KIND OUT | wrap IN OUT.lzh | check ARCHIVE ORIGINAL\n", argv[0]);
    return 1;
}
