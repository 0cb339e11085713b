#include <algorithm>
#include <vector>

#include "fuzz/harnesses.h"
#include "unitsim/unit_codec.h"
#include "unitsim/unit_model.h"

namespace gelvar::fuzz {
namespace {

using unitsim::UnitModel;

enum UnitOp : std::uint8_t {
  kOpFeedBytes = 0,    // argument + 1 raw bytes
  kOpFeedRequest = 1,  // a sound request: ID word and 0, 2 or 4 data bytes from the script
  kOpFeedCommand = 2,  // a sound request to one of the objects that act on their data
  kOpClock = 3,        // the clock moves (see MoveClock)
  kOpTransmit = 4,     // Transmit of up to argument + 1 bytes
  kOpAdvance = 5,
  kOpDiscard = 6,
  kOpFault = 7,  // one fault setting (see SetFault)
};

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

class UnitRun {
 public:
  UnitRun(const std::uint8_t* data, std::size_t size) : script_(data, size) {}

  std::string Run() {
    while (!script_.AtEnd() && fault_.empty()) RunOp(script_.Byte());
    if (fault_.empty()) CheckRequests();
    if (fault_.empty()) CheckQuietOutput();
    if (fault_.empty()) CheckObjectSizes();
    if (fault_.empty()) Probe();
    return fault_;
  }

 private:
  void Fail(const std::string& what) {
    if (fault_.empty()) fault_ = what + " (at " + std::to_string(nowMs_) + " ms)";
  }

  void RunOp(std::uint8_t control) {
    const std::uint8_t argument = control & 0x1F;
    switch (control >> 5) {
      case kOpFeedBytes:
        for (int i = 0; i <= argument && !script_.AtEnd(); ++i) Feed(script_.Byte());
        return;
      case kOpFeedRequest: FeedRequest(script_.Word(), argument % 3); return;
      case kOpFeedCommand: FeedRequest(kCommandObjects[argument & 7], (argument >> 3) % 3); return;
      case kOpClock: MoveClock(argument); return;
      case kOpTransmit: Transmit(argument + 1); return;
      case kOpAdvance: unit_.Advance(nowMs_); return;
      case kOpDiscard: unit_.DiscardSent(nowMs_); return;
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

  void Transmit(int maxCount) {
    std::uint8_t buffer[32];
    const int count = unit_.Transmit(buffer, maxCount, nowMs_);
    if (count < 0 || count > maxCount) Fail("Transmit gave " + std::to_string(count) + " bytes");
    transmitted_ += static_cast<std::size_t>(std::max(count, 0));
  }

  // The low bits pick the setting, the next script byte is its value.
  void SetFault(std::uint8_t argument) {
    unitsim::UnitFaults& faults = unit_.Faults();
    const std::uint8_t value = script_.Byte();
    const double rate = value / 255.0;
    switch (argument % 11) {
      case 0: faults.silent = (value & 1) != 0; return;
      case 1: faults.dropFirstRequests = value % 4; return;
      case 2: faults.dropRate = rate; return;
      case 3: faults.badChecksumRate = rate; return;
      case 4: faults.badParityRate = rate; return;
      case 5: faults.wrongCountRate = rate; return;
      case 6: faults.cutFrameRate = rate; return;
      case 7: faults.noiseRate = rate; return;
      case 8:
        faults.noiseBurstLength = static_cast<int>(value % (kLongestNoise + 1));
        faults.noiseMayHoldTypeLetters = (value & 0x80) != 0;
        return;
      case 9: faults.latencyMs = static_cast<int>(value * kLongestLatencyMs / 255); return;
      default: faults.silentObjects.insert(script_.Word() & 0x3FFFU); return;
    }
  }

  // Every request the unit saw took at least four bytes of the line and is a sound one.
  void CheckRequests() {
    const auto& requests = unit_.Requests();
    const bool malformed = std::any_of(requests.begin(), requests.end(), [](const auto& request) {
      return request.objectId > 0x3FFF || request.data.size() % 2 != 0 || request.data.size() > 4;
    });
    if (malformed || requests.size() * 4 > bytesFed_) Fail(std::to_string(requests.size()) + " requests taken");
  }

  // Everything the unit still holds goes out once the line is quiet, and all it ever sent is no more
  // than its requests explain.
  void CheckQuietOutput() {
    unit_.Faults() = unitsim::UnitFaults{};
    nowMs_ = latestMs_ + kQuietMs;
    std::size_t total = transmitted_;
    std::uint8_t buffer[64];
    while (const int count = unit_.Transmit(buffer, sizeof buffer, nowMs_)) total += static_cast<std::size_t>(count);
    if (total > unit_.Requests().size() * kLongestReply) Fail(std::to_string(total) + " bytes sent");
  }

  void CheckObjectSizes() {
    static const UnitModel fresh;
    for (const auto& range : kObjectRanges) {
      for (std::uint32_t id = range[0]; id < range[1]; ++id) {
        if (unit_.Object(id).size() != fresh.Object(id).size()) return Fail("object " + std::to_string(id) + " resized");
      }
    }
  }

  // A plain read after the quiet gap is answered with the object's value, and nothing else.
  void Probe() {
    unit_.ClearRequests();
    for (std::uint8_t b : unitsim::EncodeFrame(kProbeId, {})) unit_.Receive(b, nowMs_);
    std::uint8_t buffer[64];
    const int count = unit_.Transmit(buffer, sizeof buffer, nowMs_);
    const std::vector<std::uint8_t> reply(buffer, buffer + count);
    if (unit_.Requests().size() != 1 || reply != unitsim::EncodeFrame(kProbeId, unit_.Object(kProbeId))) {
      Fail("the read after the script was answered with " + std::to_string(count) + " bytes");
    }
  }

  ScriptReader script_;
  UnitModel unit_;
  std::int64_t nowMs_ = 0;
  std::int64_t latestMs_ = 0;
  std::size_t bytesFed_ = 0;
  std::size_t transmitted_ = 0;
  std::string fault_;
};

}  // namespace

std::string RunUnitRequestScript(const std::uint8_t* data, std::size_t size) {
  return UnitRun(data, size).Run();
}

}  // namespace gelvar::fuzz
