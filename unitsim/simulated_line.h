// Connects the byte pump to a UnitModel in virtual time: what the pump writes reaches the unit at
// once, what the unit answers is readable once its time has come.
#pragma once

#include <cstdint>
#include <functional>

#include "core/line/line_port.h"
#include "unitsim/unit_model.h"

namespace gelvar::unitsim {

class SimulatedLine : public LinePort {
 public:
  SimulatedLine(UnitModel& unit, std::function<std::int64_t()> nowMs);

  int Open(int portNumber, int baudRate, int byteSize, int stopBits, int parity) override;
  int Close() override;
  int Write(const std::uint8_t* bytes, int count) override;
  int Read(std::uint8_t* buffer, int maxCount) override;
  bool Lost() const override { return open_ && unplugged_; }
  int Reopen() override;

  bool IsOpen() const { return open_; }
  // The adapter pulled out and plugged in again: while it is out, an open port is lost (nothing
  // moves either way) and opening fails; once it is back, Reopen and Open succeed.
  void Unplug() { unplugged_ = true; }
  void PlugIn() { unplugged_ = false; }

 private:
  UnitModel& unit_;
  std::function<std::int64_t()> nowMs_;
  bool open_ = false;
  bool unplugged_ = false;
};

}  // namespace gelvar::unitsim
