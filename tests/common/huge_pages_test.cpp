#include "common/huge_pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace quorvel {
namespace {

TEST(HugePages, MemoryStartsOnAHugePageHoldsWhatWasAskedAndRefusesTheImpossible) {
    constexpr std::size_t hugePage = std::size_t{1} << 21;
    for (const std::size_t bytes : {std::size_t{0}, std::size_t{1}, hugePage, hugePage + 1}) {
        void* p = allocateHugePaged(bytes);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % hugePage, 0u) << bytes;
        // Its last byte is the block's (the sanitizer build checks).
        if (bytes > 0) {
            static_cast<volatile char*>(p)[bytes - 1] = 1;
        }
        std::free(p);
    }
    EXPECT_THROW(allocateHugePaged(SIZE_MAX - 1), std::bad_alloc);
}

} // namespace
} // namespace quorvel
