#pragma once
// Large blocks of memory for whole files and big tables. Blocks of some
// megabytes are asked for in huge pages where the system offers them: filling
// a table of a hundred megabytes page by page costs more than reading it.

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace rasmik {

// Memory that is not cleared; freed with FreeLarge and the same size.
void* AllocateLarge(std::size_t bytes);
void FreeLarge(void* p, std::size_t bytes) noexcept;

// For std::vector: large blocks through AllocateLarge, and elements that are
// left uninitialised when the vector grows without a value (resize(n)), so
// that a vector about to be overwritten is not cleared first.
template <typename T>
class LargeAllocator {
public:
    using value_type = T;
    LargeAllocator() noexcept = default;
    template <typename U>
    LargeAllocator(const LargeAllocator<U>&) noexcept
    {
    }
    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(AllocateLarge(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { FreeLarge(p, n * sizeof(T)); }
    template <typename U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <typename U>
    bool operator==(const LargeAllocator<U>&) const noexcept
    {
        return true;
    }
};

// The bytes of a file: a block of memory of a fixed size, not cleared.
class ByteBuffer {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(std::size_t size);
    explicit ByteBuffer(std::string_view bytes);
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ~ByteBuffer();

    char* data() { return data_; }
    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::string_view view() const { return {data_, size_}; }
    // Keeps the first n bytes (n <= size()).
    void truncate(std::size_t n);
    // Makes room for n bytes in all, keeping the content (may move it).
    void grow(std::size_t n);

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace rasmik
