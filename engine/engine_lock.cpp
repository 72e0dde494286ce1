#include "engine/engine_lock.h"

namespace lumetra::engine {

std::recursive_mutex& EngineLock()
{
    static std::recursive_mutex lock;
    return lock;
}

} // namespace lumetra::engine
