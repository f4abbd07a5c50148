#pragma once

#include <atomic>
#include <functional>
#include <utility>

namespace trawlex {

// The person asked the running command to stop (Strg+C, SIGTERM, SIGHUP). Set from a signal
// handler, so that code waiting on a terminal or pipe can give up instead of waiting for ever.
void RequestStop() noexcept;
bool StopRequested() noexcept;

// The flag RequestStop sets, for a StopCheck.
const std::atomic<bool>& ProcessStopFlag() noexcept;

// Whether the person asked the run to stop, asked by the workers between two pieces of a big
// file, so that a stop takes effect inside it instead of after it. Safe to ask from any thread
// and cheap enough to ask often; an empty one never answers yes.
class StopCheck {
public:
    StopCheck() = default;
    explicit StopCheck(const std::atomic<bool>& flag)
        : ask_([&flag] { return flag.load(std::memory_order_relaxed); }) {}
    explicit StopCheck(std::function<bool()> ask) : ask_(std::move(ask)) {}

    bool Requested() const { return ask_ && ask_(); }

private:
    std::function<bool()> ask_;
};

}  // namespace trawlex
