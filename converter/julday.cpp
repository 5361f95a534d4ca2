#include "converter/julday.h"

namespace converter {

double julday(const std::int32_t& month, const std::int32_t& day, const std::int32_t& year,
              const std::int32_t& hours, const std::int32_t& minutes,
              const double& seconds) noexcept {
    return fromday(daynumber(month, day, year), hours, minutes, seconds);
}

} // namespace converter
