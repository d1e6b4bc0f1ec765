#include "text/FileIdentity.h"

#include "text/TextFiles.h"

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

namespace rasmik {

namespace {

constexpr std::uint64_t Prime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t Prime2 = 0xC2B2AE3D27D4EB4Full;

std::uint64_t rotl(std::uint64_t x, int r)
{
    return (x << r) | (x >> (64 - r));
}

std::uint64_t mix(std::uint64_t lane, std::uint64_t word)
{
    return rotl(lane + word * Prime2, 31) * Prime1;
}

std::uint64_t load64(const unsigned char* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool statOf(const std::string& path, struct stat& st)
{
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void takeStat(const struct stat& st, FileIdentity& id)
{
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

} // namespace

void ByteHasher::block(const unsigned char* p)
{
    for (int i = 0; i < 4; ++i)
        lanes_[i] = mix(lanes_[i], load64(p + 8 * i));
}

void ByteHasher::add(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    total_ += n;
    if (pendingSize_ > 0) {
        const std::size_t take = std::min(n, sizeof pending_ - pendingSize_);
        std::memcpy(pending_ + pendingSize_, p, take);
        pendingSize_ += take;
        p += take;
        n -= take;
        if (pendingSize_ < sizeof pending_)
            return;
        block(pending_);
        pendingSize_ = 0;
    }
    for (; n >= sizeof pending_; p += sizeof pending_, n -= sizeof pending_)
        block(p);
    std::memcpy(pending_, p, n);
    pendingSize_ = n;
}

std::uint64_t ByteHasher::value() const
{
    std::uint64_t h = rotl(lanes_[0], 1) + rotl(lanes_[1], 7) + rotl(lanes_[2], 12) + rotl(lanes_[3], 18);
    h = mix(h, total_);
    for (std::size_t i = 0; i < pendingSize_; ++i)
        h = mix(h, pending_[i] + (static_cast<std::uint64_t>(i) << 8));
    h ^= h >> 33;
    h *= Prime2;
    h ^= h >> 29;
    return h;
}

std::uint64_t HashBytes(std::string_view bytes)
{
    ByteHasher h;
    h.add(bytes);
    return h.value();
}

FileIdentity IdentityOfFile(const std::string& path, std::uint64_t hash)
{
    FileIdentity id;
    struct stat st { };
    if (!statOf(path, st))
        return id;
    takeStat(st, id);
    id.hash = hash;
    id.known = true;
    return id;
}

DiskState CheckFileOnDisk(const std::string& path, FileIdentity& known, FileIdentity* now)
{
    struct stat st { };
    if (!statOf(path, st)) {
        if (now)
            *now = FileIdentity{};
        return DiskState::Missing;
    }
    FileIdentity seen;
    takeStat(st, seen);
    seen.known = true;
    if (seen.device == known.device && seen.inode == known.inode && seen.size == known.size
        && seen.modifiedNs == known.modifiedNs) {
        if (now)
            *now = known;
        return DiskState::Unchanged;
    }
    std::string bytes;
    const bool read = static_cast<bool>(ReadWholeFile(path, bytes));
    seen.hash = read ? HashBytes(bytes) : 0;
    if (now)
        *now = seen;
    // A file that cannot be read now counts as changed: it is not known to hold the same.
    if (!read || seen.size != known.size || seen.hash != known.hash)
        return DiskState::Changed;
    known = seen;
    return DiskState::Unchanged;
}

} // namespace rasmik
