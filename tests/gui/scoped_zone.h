// Local time in a time zone of the test's choosing while it lives.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace gelvar {

class ScopedZone {
 public:
  explicit ScopedZone(const char* zone) {
    if (const char* saved = std::getenv("TZ")) saved_ = saved;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedZone() {
    saved_ ? setenv("TZ", saved_->c_str(), 1) : unsetenv("TZ");
    tzset();
  }
  ScopedZone(const ScopedZone&) = delete;
  ScopedZone& operator=(const ScopedZone&) = delete;

 private:
  std::optional<std::string> saved_;
};

}  // namespace gelvar
