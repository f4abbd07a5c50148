#pragma once

namespace trawlex {

// The person asked the running command to stop (Strg+C, SIGTERM, SIGHUP). Set from a signal
// handler, so that code waiting on a terminal or pipe can give up instead of waiting for ever.
void RequestStop() noexcept;
bool StopRequested() noexcept;

}  // namespace trawlex
