#include "common/StopRequest.h"

namespace trawlex {
namespace {

// Lock-free, so that the signal handler may set it and any thread may read it.
std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

void RequestStop() noexcept {
    requested.store(true, std::memory_order_relaxed);
}

bool StopRequested() noexcept {
    return requested.load(std::memory_order_relaxed);
}

const std::atomic<bool>& ProcessStopFlag() noexcept {
    return requested;
}

}  // namespace trawlex
