// A week of variable passes, one every 3 s, as the trend of a running unit holds them: temperatures
// that follow the day, moisture and voltages, a relay switching, and now and then a pass not read.
#pragma once

#include <cmath>
#include <limits>
#include <numbers>

#include "core/trend/trend_data.h"

namespace gelvar {

inline constexpr int kPassesPerWeek = 7 * 24 * 3600 / 3;

inline TrendValues PassValues(int pass) {
  const double day = std::sin(pass * 3.0 / 86400 * 2 * std::numbers::pi);
  const auto wobble = static_cast<float>((pass * 7919 % 97) / 97.0);
  const float gap = std::numeric_limits<float>::quiet_NaN();
  if (pass % 5000 == 0) return {gap, gap, gap, gap, gap, gap, gap, gap, gap, gap, gap};
  const auto t = static_cast<float>(5 * day);
  return {t + 2 + wobble,
          t,
          t + 1,
          t - 1 + wobble,
          t + 1.5f,
          t - 0.5f,
          40 + 10 * wobble,
          45 - 5 * wobble,
          12.3f + wobble / 10,
          12.2f,
          static_cast<float>(pass / 400 % 2)};
}

inline void FillWeek(TrendData& data, double start) {
  for (int pass = 0; pass < kPassesPerWeek; ++pass) data.Append(start + pass * 3.0, PassValues(pass));
}

}  // namespace gelvar
