#include "common/files/ReadMemory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>

namespace trawlex {

void ReadMemory::Free::operator()(char* data) const {
    std::free(data);
}

ReadMemory ReadMemory::ForSize(std::size_t size) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    const bool huge = size >= kHugePage / 2;
    const std::size_t unit = huge ? kHugePage : kAlignment;
    const std::size_t capacity = (std::max<std::size_t>(size, 1) + unit - 1) / unit * unit;
    void* memory = std::aligned_alloc(unit, capacity);
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
