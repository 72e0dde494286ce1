#pragma once
// The smoothing filter's threshold, which the listener steers with the arrow keys,
// and the window title that reads it out.

#include <cstdint>
#include <string>

namespace lumetra::radio {

enum class ThresholdKey { Left, Right, Up };

class FilterThreshold {
public:
    static constexpr int32_t kInitial = 2;

    int32_t Value() const { return m_value; }
    void Set(int32_t value) { m_value = value; }

    // Left halves (toward zero) unless |T| is 1, Right doubles while |T| < 65536,
    // Up changes the sign.
    void Adjust(ThresholdKey key);

    // "filtering %c %d": '<' when T < 1, else '>', then |T|.
    std::string Title() const;

private:
    int32_t m_value = kInitial;
};

} // namespace lumetra::radio
