#include "unitsim/unit_model.h"

#include <algorithm>
#include <initializer_list>

namespace gelvar::unitsim {

namespace {

constexpr std::uint32_t kAdmMode = 0x3000;
constexpr std::uint32_t kAdmLanguageUnit = 0x3003;
constexpr std::uint32_t kAdmFactoryReset = 0x3004;
constexpr std::uint32_t kAdmAlarmMode = 0x3008;
constexpr std::uint32_t kHtgState = 0x0C00;
constexpr std::uint32_t kHtgMode = 0x0C01;
constexpr std::uint32_t kHtgMinHeatingTime = 0x0C02;
constexpr std::uint32_t kHtgMoistLimit = 0x0C06;
constexpr std::uint32_t kHtgTemps = 0x0C07;
constexpr std::uint32_t kHtgRelay = 0x0C08;
constexpr std::uint32_t kHtgMinHeatCommand = 0x0C09;
constexpr std::uint32_t kSenState = 0x0C80;  // sensor 1; sensor 2 is 0x10 higher
constexpr std::uint32_t kSenType = 0x0C81;
constexpr std::uint32_t kSenMoistLimit = 0x0C83;
constexpr std::uint32_t kSenTemps = 0x0C84;
constexpr std::uint32_t kSenCycle = 0x0C87;
constexpr std::uint32_t kSensorStride = 0x10;
constexpr std::uint32_t kRecVoltageSets = 0x0D02;
constexpr std::uint32_t kRecTemperatureSets = 0x0D03;

constexpr std::uint8_t kHeatingMinTimeState = 6;
constexpr std::uint8_t kMoistureDetectionState = 11;
constexpr std::int64_t kMoistureCycleMs = 30'000;
constexpr std::int64_t kMsPerMinute = 60'000;

// Measured temperatures wander by one code step (0.05 degrees) at most every two seconds, within
// -2.0 .. +3.0 degrees Celsius; a long gap between calls drifts at most an hour's worth.
constexpr std::int64_t kDriftStepMs = 2'000;
constexpr std::int64_t kMaxDriftSteps = 1'800;
constexpr int kColdestCode = 5960;
constexpr int kWarmestCode = 6060;

const std::vector<std::uint8_t> kAccepted{2, 0};
const std::vector<std::uint8_t> kRefused{0, 0};
const std::vector<std::uint8_t> kStart{1, 0};
const std::vector<std::uint8_t> kStop{0, 0};

std::uint16_t TempCode(int tenthsC) { return static_cast<std::uint16_t>(6000 + 2 * tenthsC); }

std::vector<std::uint8_t> Words(std::initializer_list<int> words) {
  std::vector<std::uint8_t> bytes;
  for (int word : words) {
    bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((word >> 8) & 0xFF));
  }
  return bytes;
}

int WordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return offset + 1 < bytes.size() ? bytes[offset] | bytes[offset + 1] << 8 : 0;
}

void PutByte(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint8_t value) {
  if (offset < bytes.size()) bytes[offset] = value;
}

void PutWord(std::vector<std::uint8_t>& bytes, std::size_t offset, int value) {
  PutByte(bytes, offset, static_cast<std::uint8_t>(value & 0xFF));
  PutByte(bytes, offset + 1, static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

std::uint32_t SensorId(std::uint32_t sensor1Id, int sensor) {
  return sensor1Id + kSensorStride * static_cast<std::uint32_t>(sensor);
}

// Sensor index of a per-sensor object with the given sensor-1 ID, or -1.
int SensorOf(std::uint32_t objectId, std::uint32_t sensor1Id) {
  for (int sensor = 0; sensor < 2; ++sensor) {
    if (objectId == SensorId(sensor1Id, sensor)) return sensor;
  }
  return -1;
}

// The settings a factory reset brings back.
std::map<std::uint32_t, std::vector<std::uint8_t>> DefaultParameters() {
  std::map<std::uint32_t, std::vector<std::uint8_t>> objects{
      {kAdmMode, {1, 0, 0, 0}},           // on, no error flags
      {kAdmLanguageUnit, {0x01, 0}},      // EN, Celsius
      {kAdmAlarmMode, {0, 0}},            // normal
      {kHtgMode, {1, 0}},                 // Active
      {kHtgMinHeatingTime, Words({60})},  // minutes
      {0x0C03, Words({TempCode(30)})},    // high limit
      {0x0C04, Words({TempCode(-150)})},  // low limit
      {0x0C05, Words({TempCode(-30)})},   // idle temperature
      {kHtgMoistLimit, {50, 0}},
  };
  for (int sensor = 0; sensor < 2; ++sensor) {
    objects[SensorId(kSenType, sensor)] = {3, 0};  // K720/21
    objects[SensorId(0x0C82, sensor)] = {3, 0};    // Temp.+Moist.
    objects[SensorId(kSenMoistLimit, sensor)] = {40, 0};
  }
  return objects;
}

std::map<std::uint32_t, std::vector<std::uint8_t>> DefaultObjects() {
  auto objects = DefaultParameters();
  objects.insert({
      {0x3001, {3, 0}},         // internal state M3 - E0
      {0x3002, {1, 4, 16, 3}},  // version 1.04 B0316
      {kAdmFactoryReset, kStop},
      {kHtgState, {4, 0, 0, 0}},  // Active, no flags
      {kHtgTemps, Words({TempCode(10), TempCode(-15)})},
      {kHtgRelay, {0, 0, 0, 0}},
      {kHtgMinHeatCommand, kStop},
      {0x0C0B, Words({1234})},  // operating hours
      {0x0C0C, Words({5678})},
      {0x0D00, Words({1180, TempCode(5)})},  // Uo, To
      {0x0D01, Words({480})},                // Uso
      {0x0D04, Words({1250, 4250})},         // dER/dt, tK
      {0x0D05, {59, 0, 10, 0}},              // Ti, Tm
      {0x0D06, Words({152})},                // Kf
      {0x0D07, Words({87})},                 // f(x)
      {0x0D08, Words({10000})},              // Rsh
  });
  for (int sensor = 0; sensor < 2; ++sensor) {
    objects[SensorId(kSenState, sensor)] = {8, 0, 0, 0};  // On Moist.+Temp.
    objects[SensorId(kSenTemps, sensor)] = Words({TempCode(5 + 3 * sensor), TempCode(-10 - 2 * sensor)});
    objects[SensorId(0x0C85, sensor)] = {35, 0, 5, 10};  // last moisture, inhibit times
    objects[SensorId(0x0C86, sensor)] = Words({1215 - 7 * sensor, 2350 + 40 * sensor});
    objects[SensorId(kSenCycle, sensor)] = kStop;
  }
  return objects;
}

// Six data sets of a sensor warming up: voltages falling, temperature rising.
void DefaultSets(std::vector<std::vector<std::uint8_t>>& voltages,
                 std::vector<std::vector<std::uint8_t>>& temperatures) {
  for (int set = 0; set < 6; ++set) {
    voltages.push_back(Words({1200 - 15 * set, 450 + 20 * set}));
    temperatures.push_back(Words({TempCode(5 + 2 * set)}));
  }
}

// Set number N of the request's word 0; past the last set, no data.
std::vector<std::uint8_t> RecordedSet(const std::vector<std::vector<std::uint8_t>>& sets,
                                      const std::vector<std::uint8_t>& request) {
  const auto set = static_cast<std::size_t>(WordAt(request, 0));
  return set < sets.size() ? sets[set] : std::vector<std::uint8_t>{};
}

// The words that drift: object and byte offset.
struct DriftingWord {
  std::uint32_t objectId;
  std::size_t offset;
};
constexpr DriftingWord kDriftingWords[] = {
    {kHtgTemps, 0},
    {kHtgTemps, 2},
    {kSenTemps, 0},
    {kSenTemps, 2},
    {kSenTemps + kSensorStride, 0},
    {kSenTemps + kSensorStride, 2},
};

}  // namespace

UnitModel::UnitModel(std::uint32_t seed) : random_(seed), driftRandom_(seed ^ 0x9E3779B9U), objects_(DefaultObjects()) {
  DefaultSets(voltageSets_, temperatureSets_);
}

void UnitModel::Receive(std::uint8_t byte, std::int64_t nowMs) {
  nowMs_ = std::max(nowMs_, nowMs);
  if (auto request = decoder_.Feed(byte, nowMs)) HandleFrame(*request, nowMs);
}

int UnitModel::Transmit(std::uint8_t* buffer, int maxCount, std::int64_t nowMs) {
  nowMs_ = std::max(nowMs_, nowMs);
  int count = 0;
  while (count < maxCount && !outgoing_.empty() && outgoing_.front().dueMs <= nowMs) {
    buffer[count++] = outgoing_.front().byte;
    outgoing_.pop_front();
  }
  return count;
}

void UnitModel::DiscardSent(std::int64_t nowMs) {
  while (!outgoing_.empty() && outgoing_.front().dueMs <= nowMs) outgoing_.pop_front();
}

void UnitModel::Advance(std::int64_t nowMs) {
  nowMs_ = std::max(nowMs_, nowMs);
  if (!driftStarted_) {
    driftStarted_ = true;
    lastDriftMs_ = nowMs;
    return;
  }
  const std::int64_t steps = (nowMs - lastDriftMs_) / kDriftStepMs;
  if (steps <= 0) return;
  lastDriftMs_ += steps * kDriftStepMs;
  for (std::int64_t i = 0; i < std::min(steps, kMaxDriftSteps); ++i) DriftOnce();
}

void UnitModel::DriftOnce() {
  std::uniform_int_distribution<int> step(-1, 1);
  for (const auto& drifting : kDriftingWords) {
    const int change = step(driftRandom_);
    if (pinned_.contains(drifting.objectId)) continue;
    auto& bytes = objects_[drifting.objectId];
    const int code = std::clamp(WordAt(bytes, drifting.offset) + change, kColdestCode, kWarmestCode);
    PutWord(bytes, drifting.offset, code);
  }
}

void UnitModel::SetObject(std::uint32_t objectId, std::vector<std::uint8_t> data) {
  objects_[objectId] = std::move(data);
  pinned_.insert(objectId);
}

std::vector<std::uint8_t> UnitModel::Object(std::uint32_t objectId) const { return CurrentValue(objectId, nowMs_); }

void UnitModel::SetRecordedSets(std::vector<std::vector<std::uint8_t>> voltageSets,
                                std::vector<std::vector<std::uint8_t>> temperatureSets) {
  voltageSets_ = std::move(voltageSets);
  temperatureSets_ = std::move(temperatureSets);
}

bool UnitModel::RecordingRunning(int sensor, std::int64_t nowMs) const {
  return (sensor == 0 || sensor == 1) && nowMs < recordingEndMs_[sensor];
}

void UnitModel::HandleFrame(const DecodedFrame& request, std::int64_t nowMs) {
  requests_.push_back({request.objectId, request.data, nowMs});
  ++requestsSeen_;
  if (Ignores(request.objectId)) return;
  Advance(nowMs);
  QueueReply(ReplyFrame(request.objectId, Answer(request.objectId, request.data, nowMs)), nowMs);
}

// A request the unit ignores never reached it: a command in it does not run either.
bool UnitModel::Ignores(std::uint32_t objectId) {
  return faults_.silent || faults_.silentObjects.contains(objectId) || requestsSeen_ <= faults_.dropFirstRequests ||
         Chance(faults_.dropRate);
}

std::vector<std::uint8_t> UnitModel::Answer(std::uint32_t objectId, const std::vector<std::uint8_t>& data,
                                            std::int64_t nowMs) {
  if (data.empty()) return CurrentValue(objectId, nowMs);
  const bool command =
      objectId == kAdmFactoryReset || objectId == kHtgMinHeatCommand || SensorOf(objectId, kSenCycle) >= 0;
  if (command && faults_.refuseCommands) return kRefused;
  if (objectId == kAdmFactoryReset) return FactoryReset(data);
  if (objectId == kHtgMinHeatCommand) return MinHeatTime(data, nowMs);
  if (const int sensor = SensorOf(objectId, kSenCycle); sensor >= 0) return StartCycle(sensor, data, nowMs);
  if (objectId == kRecVoltageSets) return RecordedSet(voltageSets_, data);
  if (objectId == kRecTemperatureSets) return RecordedSet(temperatureSets_, data);
  return CurrentValue(objectId, nowMs);
}

// The stored value with what running commands show in it.
std::vector<std::uint8_t> UnitModel::CurrentValue(std::uint32_t objectId, std::int64_t nowMs) const {
  const auto stored = objects_.find(objectId);
  if (stored == objects_.end()) return {};
  std::vector<std::uint8_t> value = stored->second;
  if (nowMs < minHeatEndMs_) {
    const auto remainingMinutes = static_cast<int>((minHeatEndMs_ - nowMs + kMsPerMinute - 1) / kMsPerMinute);
    if (objectId == kHtgState) PutByte(value, 0, kHeatingMinTimeState);
    if (objectId == kHtgRelay) {
      PutByte(value, 0, 1);
      PutWord(value, 2, remainingMinutes);
    }
    if (objectId == kHtgMinHeatCommand) PutByte(value, 0, 1);
  }
  for (const std::uint32_t sensor1Id : {kSenState, kSenCycle}) {
    const int sensor = SensorOf(objectId, sensor1Id);
    if (sensor < 0 || !RecordingRunning(sensor, nowMs)) continue;
    PutByte(value, 0, sensor1Id == kSenState ? kMoistureDetectionState : 1);
  }
  return value;
}

std::vector<std::uint8_t> UnitModel::FactoryReset(const std::vector<std::uint8_t>& data) {
  if (data != kStart) return kRefused;
  for (auto& [objectId, value] : DefaultParameters()) {
    objects_[objectId] = value;
    pinned_.erase(objectId);
  }
  minHeatEndMs_ = 0;
  recordingEndMs_[0] = recordingEndMs_[1] = 0;
  return kAccepted;
}

std::vector<std::uint8_t> UnitModel::MinHeatTime(const std::vector<std::uint8_t>& data, std::int64_t nowMs) {
  if (data == kStart) {
    minHeatEndMs_ = nowMs + WordAt(objects_[kHtgMinHeatingTime], 0) * kMsPerMinute;
  } else if (data == kStop) {
    minHeatEndMs_ = 0;
  } else {
    return kRefused;
  }
  return kAccepted;
}

// 1, 0 runs a moisture cycle; 1, 0, ta low, ta high records the sensor for ta seconds.
std::vector<std::uint8_t> UnitModel::StartCycle(int sensor, const std::vector<std::uint8_t>& data, std::int64_t nowMs) {
  if (data.size() < 2 || data[0] != 1 || data[1] != 0) return kRefused;
  const std::int64_t runMs = data.size() == 4 ? WordAt(data, 2) * std::int64_t{1000} : kMoistureCycleMs;
  if (runMs == 0) return kRefused;
  recordingEndMs_[sensor] = nowMs + runMs;
  return kAccepted;
}

std::vector<std::uint8_t> UnitModel::ReplyFrame(std::uint32_t objectId, std::vector<std::uint8_t> data) {
  if (Chance(faults_.wrongCountRate)) data.resize(data.size() == 2 ? 4 : 2, 0);
  std::vector<std::uint8_t> frame = EncodeFrame(objectId, data);
  if (Chance(faults_.badParityRate)) {
    frame[2] ^= 0x01;
    frame.back() = ChecksumOf(frame.data(), frame.size() - 1);
  }
  // Flipping the lowest bit moves the folded sum off 255 whatever it was.
  if (Chance(faults_.badChecksumRate)) frame.back() ^= 0x01;
  if (Chance(faults_.cutFrameRate)) frame.resize(frame.size() / 2);
  if (Chance(faults_.noiseRate)) {
    std::vector<std::uint8_t> noise(static_cast<std::size_t>(std::max(faults_.noiseBurstLength, 0)));
    for (auto& byte : noise) byte = NoiseByte();
    frame.insert(frame.begin(), noise.begin(), noise.end());
  }
  return frame;
}

std::uint8_t UnitModel::NoiseByte() {
  // Without type letters, the three values from 0x54 on are mapped past them.
  const int highest = faults_.noiseMayHoldTypeLetters ? 255 : 252;
  const int byte = std::uniform_int_distribution<int>(0, highest)(random_);
  if (faults_.noiseMayHoldTypeLetters || byte < kTypeNoData) return static_cast<std::uint8_t>(byte);
  return static_cast<std::uint8_t>(byte + 3);
}

void UnitModel::QueueReply(const std::vector<std::uint8_t>& frame, std::int64_t nowMs) {
  const std::int64_t dueMs = nowMs + std::max(faults_.latencyMs, 0);
  for (const std::uint8_t byte : frame) outgoing_.push_back({dueMs, byte});
}

bool UnitModel::Chance(double rate) {
  if (rate <= 0.0) return false;
  if (rate >= 1.0) return true;
  return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < rate;
}

}  // namespace gelvar::unitsim
