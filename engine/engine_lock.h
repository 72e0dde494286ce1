#pragma once
// The engine lock: guards the output device, the queued-buffer count, the feeder
// and every volume call; the radio output and the receiver take it too. Taken
// before the decoder lock when both are needed.

#include <mutex>

namespace lumetra::engine {

std::recursive_mutex& EngineLock();

} // namespace lumetra::engine
