#include "common/huge_pages.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace quorvel {

void* allocateHugePaged(std::size_t bytes) {
    constexpr std::size_t hugePage = std::size_t{1} << 21;
    if (bytes > SIZE_MAX - hugePage) {
        throw std::bad_alloc();
    }
    // aligned_alloc asks for a size in whole alignments.
    const std::size_t size = std::max<std::size_t>((bytes + hugePage - 1) / hugePage, 1) * hugePage;
    void* p = std::aligned_alloc(hugePage, size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    // Advice only: where it is refused the memory works the same, in small pages.
    madvise(p, size, MADV_HUGEPAGE);
    return p;
}

} // namespace quorvel
