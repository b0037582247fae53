#pragma once

#include <cstddef>

namespace quorvel {

// Memory for a large array read at random: at least `bytes`, aligned to a huge page (2 MB)
// and advised to be backed by huge pages where the system offers them, so that reading it at
// random misses the processor's address translation caches far less often. Nothing is
// touched: pages become resident as they are written. Throws std::bad_alloc; free it with
// std::free.
void* allocateHugePaged(std::size_t bytes);

} // namespace quorvel
