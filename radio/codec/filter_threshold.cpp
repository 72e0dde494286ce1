#include "radio/codec/filter_threshold.h"

#include <cstdio>
#include <cstdlib>

namespace lumetra::radio {

void FilterThreshold::Adjust(ThresholdKey key)
{
    const int64_t magnitude = std::llabs(static_cast<int64_t>(m_value));
    switch (key) {
    case ThresholdKey::Left:
        if (magnitude != 1)
            m_value /= 2;
        break;
    case ThresholdKey::Right:
        if (magnitude < 65536)
            m_value *= 2;
        break;
    case ThresholdKey::Up:
        if (m_value != INT32_MIN)
            m_value = -m_value;
        break;
    }
}

std::string FilterThreshold::Title() const
{
    char text[40];
    std::snprintf(text, sizeof text, "filtering %c %lld", m_value < 1 ? '<' : '>',
                  static_cast<long long>(std::llabs(static_cast<int64_t>(m_value))));
    return text;
}

} // namespace lumetra::radio
