#pragma once

#include <cstddef>
#include <memory>

namespace trawlex {

// Memory that files are read into, and tables that grow with a tree. A block of a mebibyte or
// more is asked for in huge pages: the kernel fills each page on its first touch, one fault a
// page, and on a virtual machine a fault costs microseconds; over a tree's big files that adds
// up to more than searching them.
class ReadMemory {
public:
    // Every block starts on a cache line: the kernel copies into memory a few bytes off one
    // several times slower.
    static constexpr std::size_t kAlignment = 64;
    // `size` rounded up to whole cache lines.
    static constexpr std::size_t WholeLines(std::size_t size) {
        return (size + kAlignment - 1) / kAlignment * kAlignment;
    }

    ReadMemory() = default;

    // Room for at least `size` bytes, none when memory is short.
    static ReadMemory ForSize(std::size_t size);

    char* Data() const { return data_.get(); }
    std::size_t Capacity() const { return capacity_; }

private:
    struct Free {
        void operator()(char* data) const;
    };
    std::unique_ptr<char, Free> data_;
    std::size_t capacity_ = 0;
};

}  // namespace trawlex
