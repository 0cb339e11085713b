// Reading both ends of a pseudo-terminal in the serial tests. Bytes cross it asynchronously, so both
// give them a moment (up to two seconds) to arrive.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "serial/serial_port.h"

namespace gelvar {

// Up to count bytes from the test's master end.
inline std::vector<std::uint8_t> MasterRead(int master, std::size_t count) {
  std::vector<std::uint8_t> got(count);
  pollfd p{master, POLLIN, 0};
  std::size_t n = 0;
  while (n < count && ::poll(&p, 1, 2000) == 1 && ::read(master, &got[n], 1) == 1) ++n;
  got.resize(n);
  return got;
}

// Up to count bytes through the port, asking for at most maxPerRead (at most 64) at a time.
inline std::vector<std::uint8_t> PortRead(SerialPort& port, std::size_t count, int maxPerRead) {
  std::vector<std::uint8_t> got;
  std::uint8_t buffer[64];
  for (int tries = 0; got.size() < count && tries < 2000; ++tries) {
    const int n = port.Read(buffer, maxPerRead);
    got.insert(got.end(), buffer, buffer + std::min(n, maxPerRead));
    if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return got;
}

}  // namespace gelvar
