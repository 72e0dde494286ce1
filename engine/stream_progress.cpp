#include "engine/stream_progress.h"

namespace lumetra::engine {

StreamProgress& TheStreamProgress()
{
    static StreamProgress progress;
    return progress;
}

} // namespace lumetra::engine
