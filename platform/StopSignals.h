#pragma once
// A stop asked for by the system rather than by the user's Exit: SIGTERM (a
// session or service ending, a plain `kill`), SIGINT (Ctrl+C in a terminal) and
// SIGHUP (the terminal closed). Left to their default, they end the process
// where it stands: the bridge keeps streaming, the log's last batch and the
// broker's goodbye are lost. Caught, they become a call from the event loop.

#include <functional>

namespace quellon {

// From now on each of those signals calls stop once, from the event loop (never
// from the signal handler itself). Call once, after the application exists.
void onStopSignals(std::function<void()> stop);

}  // namespace quellon
