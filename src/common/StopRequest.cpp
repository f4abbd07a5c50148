#include "common/StopRequest.h"

#include <csignal>

namespace trawlex {
namespace {

volatile std::sig_atomic_t requested = 0;

}  // namespace

void RequestStop() noexcept {
    requested = 1;
}

bool StopRequested() noexcept {
    return requested != 0;
}

}  // namespace trawlex
