// Names each row of a test table by its name field, so that it runs alone with --gtest_filter and a
// failure says which row broke.
#pragma once

#include <string>

namespace gelvar::testing {

inline constexpr auto kByName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace gelvar::testing
