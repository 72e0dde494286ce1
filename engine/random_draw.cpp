#include "engine/random_draw.h"

namespace lumetra::engine {

int RandomDraw()
{
    thread_local RandomGenerator generator;
    return generator.Draw();
}

} // namespace lumetra::engine
