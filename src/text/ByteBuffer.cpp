#include "text/ByteBuffer.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include <sys/mman.h>

namespace rasmik {

namespace {

constexpr std::size_t HugePage = std::size_t{2} << 20;
// Below this a block is not worth a huge page of its own.
constexpr std::size_t LargeBlock = std::size_t{4} << 20;

std::size_t roundedSize(std::size_t bytes)
{
    return bytes >= LargeBlock ? (bytes + HugePage - 1) & ~(HugePage - 1) : bytes;
}

} // namespace

void* AllocateLarge(std::size_t bytes)
{
    if (bytes == 0)
        bytes = 1;
    void* p = nullptr;
    if (bytes >= LargeBlock) {
        const std::size_t size = roundedSize(bytes);
        if (size < bytes || ::posix_memalign(&p, HugePage, size) != 0)
            throw std::bad_alloc();
        // Only a hint: where huge pages are off, the block is used as it is.
        ::madvise(p, size, MADV_HUGEPAGE);
        return p;
    }
    p = std::malloc(bytes);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void FreeLarge(void* p, std::size_t) noexcept
{
    std::free(p);
}

ByteBuffer::ByteBuffer(std::size_t size) : data_(static_cast<char*>(AllocateLarge(size))), size_(size), capacity_(size)
{
}

ByteBuffer::ByteBuffer(std::string_view bytes) : ByteBuffer(bytes.size())
{
    if (!bytes.empty())
        std::memcpy(data_, bytes.data(), bytes.size());
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr))
    , size_(std::exchange(other.size_, 0))
    , capacity_(std::exchange(other.capacity_, 0))
{
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept
{
    if (this != &other) {
        if (data_)
            FreeLarge(data_, capacity_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

ByteBuffer::~ByteBuffer()
{
    if (data_)
        FreeLarge(data_, capacity_);
}

void ByteBuffer::truncate(std::size_t n)
{
    if (n < size_)
        size_ = n;
}

void ByteBuffer::grow(std::size_t n)
{
    if (n <= capacity_) {
        size_ = n;
        return;
    }
    char* fresh = static_cast<char*>(AllocateLarge(n));
    if (size_)
        std::memcpy(fresh, data_, size_);
    if (data_)
        FreeLarge(data_, capacity_);
    data_ = fresh;
    size_ = n;
    capacity_ = n;
}

} // namespace rasmik
