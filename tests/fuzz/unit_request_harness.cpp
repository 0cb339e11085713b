#include <algorithm>
#include <vector>

#include "fuzz/harnesses.h"
#include "unitsim/unit_codec.h"
#include "unitsim/unit_model.h"

namespace gelvar::fuzz {
namespace {

using unitsim::UnitFaults;
using unitsim::UnitModel;

// The objects that act on the data they are sent.
constexpr std::uint32_t kCommandObjects[] = {0x3004, 0x0C09, 0x0C87, 0x0C97, 0x0D02, 0x0D03, 0x0C80, 0x0C08};
constexpr std::size_t kLongestNoise = 31;
// A frame with four data bytes after the longest noise burst a script can set.
constexpr std::size_t kLongestReply = 8 + kLongestNoise;
constexpr std::int64_t kLongestLatencyMs = 255 * 4;
// Long enough for every reply to fall due and for a frame cut half-way to be given up.
constexpr std::int64_t kQuietMs = kLongestLatencyMs + unitsim::FrameDecoder::kStallMs + 1;
constexpr std::uint32_t kProbeId = 0x3002;
// Where the unit's objects live; every one of them keeps its data count whatever it is sent.
constexpr std::uint32_t kObjectRanges[][2] = {{0x0C00, 0x0D10}, {0x3000, 0x3010}};
// The fault rates a script sets, from setting 2 on.
constexpr double UnitFaults::*kRates[] = {&UnitFaults::dropRate,      &UnitFaults::badChecksumRate,
                                          &UnitFaults::badParityRate, &UnitFaults::wrongCountRate,
                                          &UnitFaults::cutFrameRate,  &UnitFaults::noiseRate};

class UnitRun {
 public:
  UnitRun(const std::uint8_t* data, std::size_t size) : script_{data, size} {}

  std::string Run() {
    while (!script_.AtEnd() && fault_.empty()) RunOp(script_.Byte());
    if (fault_.empty()) Verify();
    return fault_;
  }

 private:
  void Fail(const std::string& what) {
    if (fault_.empty()) fault_ = what + " (at " + std::to_string(nowMs_) + " ms)";
  }

  void RunOp(std::uint8_t control) {
    const std::uint8_t argument = control & 0x1F;
    switch (control >> 5) {
      case 0:  // argument + 1 raw bytes
        for (int i = 0; i <= argument && !script_.AtEnd(); ++i) Feed(script_.Byte());
        return;
      case 1: FeedRequest(script_.Word(), argument % 3); return;  // any object
      case 2: FeedRequest(kCommandObjects[argument & 7], (argument >> 3) % 3); return;
      case 3: MoveClock(argument); return;
      case 4: {  // up to argument + 1 bytes; more would overrun the buffer, which the sanitizers report
        std::uint8_t buffer[32];
        transmitted_ += static_cast<std::size_t>(std::max(unit_.Transmit(buffer, argument + 1, nowMs_), 0));
        return;
      }
      case 5: unit_.Advance(nowMs_); return;
      case 6: unit_.DiscardSent(nowMs_); return;
      default: SetFault(argument); return;
    }
  }

  void Feed(std::uint8_t b) {
    unit_.Receive(b, nowMs_);
    ++bytesFed_;
  }

  void FeedRequest(std::uint32_t objectId, int words) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(2 * words));
    for (auto& b : data) b = script_.Byte();
    for (std::uint8_t b : unitsim::EncodeFrame(objectId, data)) Feed(b);
  }

  // Argument bit 4 turns the clock back, bit 3 counts in seconds; the amount is a word of the script.
  void MoveClock(std::uint8_t argument) {
    const std::int64_t amount = script_.Word() * ((argument & 0x08) ? 1000 : 1);
    nowMs_ += (argument & 0x10) ? -amount : amount;
    latestMs_ = std::max(latestMs_, nowMs_);
  }

  // The low bits pick the setting, the next script byte is its value.
  void SetFault(std::uint8_t argument) {
    UnitFaults& faults = unit_.Faults();
    const std::uint8_t value = script_.Byte();
    switch (argument % 11) {
      case 0: faults.silent = (value & 1) != 0; return;
      case 1: faults.dropFirstRequests = value % 4; return;
      case 8:
        faults.noiseBurstLength = static_cast<int>(value % (kLongestNoise + 1));
        faults.noiseMayHoldTypeLetters = (value & 0x80) != 0;
        return;
      case 9: faults.latencyMs = static_cast<int>(value * kLongestLatencyMs / 255); return;
      case 10: faults.silentObjects.insert(script_.Word() & 0x3FFFU); return;
      default: faults.*kRates[argument % 11 - 2] = value / 255.0; return;
    }
  }

  // Every request the unit saw took four bytes of the line at least and is a sound one. With its faults
  // cleared and the line quiet, all it ever sent is no more than its requests explain, every object has
  // kept its data count, and a plain read is answered with the object's value and nothing else.
  void Verify() {
    const auto& requests = unit_.Requests();
    if (requests.size() * 4 > bytesFed_ || std::any_of(requests.begin(), requests.end(), [](const auto& request) {
          return request.objectId > 0x3FFF || request.data.size() % 2 != 0 || request.data.size() > 4;
        })) {
      return Fail(std::to_string(requests.size()) + " requests taken");
    }
    unit_.Faults() = UnitFaults{};
    nowMs_ = latestMs_ + kQuietMs;
    std::uint8_t buffer[64];
    std::size_t total = transmitted_;
    while (const int count = unit_.Transmit(buffer, sizeof buffer, nowMs_)) total += static_cast<std::size_t>(count);
    if (total > requests.size() * kLongestReply) return Fail(std::to_string(total) + " bytes sent");
    static const UnitModel fresh;
    for (const auto& range : kObjectRanges)
      for (std::uint32_t id = range[0]; id < range[1]; ++id)
        if (unit_.Object(id).size() != fresh.Object(id).size())
          return Fail("object " + std::to_string(id) + " resized");
    unit_.ClearRequests();
    for (std::uint8_t b : unitsim::EncodeFrame(kProbeId, {})) unit_.Receive(b, nowMs_);
    const int count = unit_.Transmit(buffer, sizeof buffer, nowMs_);
    if (unit_.Requests().size() != 1 ||
        std::vector<std::uint8_t>(buffer, buffer + count) != unitsim::EncodeFrame(kProbeId, unit_.Object(kProbeId))) {
      Fail("the read after the script was answered with " + std::to_string(count) + " bytes");
    }
  }

  ScriptReader script_;
  UnitModel unit_;
  std::int64_t nowMs_ = 0, latestMs_ = 0;
  std::size_t bytesFed_ = 0, transmitted_ = 0;
  std::string fault_;
};

}  // namespace

std::string RunUnitRequestScript(const std::uint8_t* data, std::size_t size) { return UnitRun(data, size).Run(); }

}  // namespace gelvar::fuzz
