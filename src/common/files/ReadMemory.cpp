#include "common/files/ReadMemory.h"

#include <sys/mman.h>

#include <cstdlib>

namespace trawlex {

void ReadMemory::Free::operator()(char* data) const {
    std::free(data);
}

ReadMemory ReadMemory::ForSize(std::size_t size) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    const bool huge = size >= kHugePage / 2;
    const std::size_t capacity = huge ? (size + kHugePage - 1) / kHugePage * kHugePage : size;
    void* memory = huge ? std::aligned_alloc(kHugePage, capacity) : std::malloc(capacity);
    ReadMemory made;
    if (memory == nullptr) {
        return made;
    }
    if (huge) {
        madvise(memory, capacity, MADV_HUGEPAGE);
    }
    made.data_.reset(static_cast<char*>(memory));
    made.capacity_ = capacity;
    return made;
}

}  // namespace trawlex
