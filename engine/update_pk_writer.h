// Writes UpdatePK containers of method -1 (zlib): the server's "update.pak", a single-file
// wrapper for a published file, and offline packages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class UpdatePkWriter {
public:
    // Adds a member; `name` is folded for its id. A later member with the same id replaces
    // the earlier one.
    void Add(const std::string& name, std::vector<uint8_t> bytes);
    // The container bytes. False when a member is too large for the format or a block
    // cannot be coded.
    bool Build(std::vector<uint8_t>& out) const;
    // The bytes `bytes` take as a member of a container (block table and blocks, not its
    // index entry); 0 when a member that large cannot be written.
    static uint64_t StoredSize(const std::vector<uint8_t>& bytes);

private:
    struct Member {
        uint32_t id;
        std::vector<uint8_t> bytes;
    };
    std::vector<Member> members_;
};
