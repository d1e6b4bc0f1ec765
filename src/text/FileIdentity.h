#pragma once
// What a file held when the program read or wrote it, so that a change by
// another program can be told from a touch: its place, size and time, and a
// hash of its bytes, looked at only when the others differ.

#include <cstdint>
#include <string>
#include <string_view>

namespace rasmik {

// A 64-bit hash of bytes given in pieces of any size: the same bytes give
// the same value however they are cut. Not for security, only for change.
class ByteHasher {
public:
    void add(std::string_view bytes);
    std::uint64_t value() const;

private:
    void block(const unsigned char* p);
    std::uint64_t lanes_[4] = {0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull,
                               0x27D4EB2F165667C5ull};
    unsigned char pending_[32] = {};
    std::size_t pendingSize_ = 0;
    std::uint64_t total_ = 0;
};

std::uint64_t HashBytes(std::string_view bytes);

struct FileIdentity {
    bool known = false; // false: nothing was read or written yet
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint64_t hash = 0;
};

// The identity of the file at path whose bytes (just read or written) hash to
// hash; not known when it cannot be looked at.
FileIdentity IdentityOfFile(const std::string& path, std::uint64_t hash);

enum class DiskState {
    Unchanged, // as known, or only touched
    Changed,   // other bytes
    Missing,   // deleted or moved away
};

// Whether the file at path still holds what known says. A file whose place,
// size and time are as known is not read; one whose bytes are the same gets
// its new place and time into known, so that the next look is cheap. now
// (when given) receives what the file is now.
DiskState CheckFileOnDisk(const std::string& path, FileIdentity& known, FileIdentity* now = nullptr);

} // namespace rasmik
