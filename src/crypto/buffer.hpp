#pragma once
// Byte buffers through which card objects, handlers and the cipher engine pass variable-length data.
//
// `IMalloc` is the storage (capacity, room, start of the bytes); `IBuffer` adds a size and the
// editing operations, all written over the storage primitives so that every implementation bounds
// its writes the same way. Sizes and positions are 32-bit. Nothing here throws: a request the
// storage cannot meet answers false and leaves the buffer as it was.

#include <cstdint>

namespace Orvane {

class IMalloc {
  public:
    virtual ~IMalloc() = default;

    virtual std::uint32_t capacity() const = 0;
    // Makes room for n bytes; false when the storage cannot hold them.
    virtual bool reserve(std::uint32_t n) = 0;
    // Drops the contents.
    virtual void release() = 0;
    virtual std::uint8_t* data() = 0;
    virtual const std::uint8_t* data() const = 0;
    virtual std::uint8_t* begin() { return data(); }
    virtual std::uint8_t* at(std::uint32_t pos);
    // reserve(n) only when the capacity is short of n.
    virtual bool ensure(std::uint32_t n) { return capacity() >= n || reserve(n); }
};

class IBuffer : public IMalloc {
  public:
    using IMalloc::at;

    virtual std::uint32_t size() const = 0;
    // Sets the size, making room first when needed.
    virtual bool resize(std::uint32_t n) = 0;

    // Copies len bytes to pos, growing the size to pos + len when needed. The source may lie in this
    // buffer, even where growing moves the storage. Nothing to copy is success.
    virtual bool write(std::uint32_t pos, const void* src, std::uint32_t len);
    // Sets len bytes at pos to byte; makes room but leaves the size alone.
    virtual bool fill(std::uint32_t pos, std::uint8_t byte, std::uint32_t len);
    virtual const std::uint8_t* at(std::uint32_t pos) const;
    virtual void clear() { resize(0); }
    virtual bool empty() const { return size() == 0; }
    virtual bool assign(const void* src, std::uint32_t len);
    // Sets the len bytes after the end; the size does not change.
    virtual bool appendFill(std::uint32_t len, std::uint8_t byte) { return fill(size(), byte, len); }
    virtual bool append(const void* src, std::uint32_t len) { return write(size(), src, len); }
    // Lengthens the buffer by len bytes of value byte.
    virtual bool grow(std::uint8_t byte, std::uint32_t len);
    virtual bool grow(std::uint32_t len) { return grow(0, len); }
    // Shortens by n bytes, to empty when n is more than the size.
    virtual bool shrink(std::uint32_t n) { return resize(n > size() ? 0 : size() - n); }
    // Removes len bytes at pos and moves the tail down; pos at or past the end is success.
    virtual bool erase(std::uint32_t pos, std::uint32_t len);

    // Offset of p inside the storage (0 to capacity - 1), or -1 when p lies elsewhere. Lets a caller
    // that was handed a pointer into this buffer find it again after growing moved the storage.
    std::int64_t offsetInStorage(const void* p) const;
};

}  // namespace Orvane
