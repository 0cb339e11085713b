#include "core/sensorcheck/sensor_sequence.h"

#include <algorithm>
#include <utility>

#include "core/common/c_format.h"
#include "core/link/link.h"
#include "core/monitor/object_data.h"
#include "core/monitor/value_format.h"

namespace gelvar {
namespace {

constexpr std::uint32_t kSensorField = 0x70;
constexpr std::uint32_t kCycleWaitMs = 3000;
constexpr int kSensorStateRecording = 11;
constexpr int kCycleStarted = 2;
constexpr int kFinalStep = 14;
constexpr int kTaMin = 1;
constexpr int kTaMax = 1000;
constexpr std::size_t kCommaLineLimit = 1023;

enum class RequestData { kNone, kCycleStart, kDataSet };

struct StepInfo {
  std::uint32_t objectId;  // sensor 1's ID for the per-sensor steps
  bool perSensor;
  RequestData data;
  int replyCount;   // data bytes of a full reply
  bool takesEmpty;  // a reply without data bytes is taken as well
  const char* errorText;
};

// Steps 1 to 13; step 14 only returns to idle.
constexpr std::array<StepInfo, 13> kSteps = {{
    {0x0C84, true, RequestData::kNone, 4, false, "Error at sensor temperature"},
    {0x0C87, true, RequestData::kCycleStart, 2, false, "Error at sensor start"},
    {0x0C86, true, RequestData::kNone, 4, false, "Error at sensor data"},
    {0x0C80, true, RequestData::kNone, 4, false, "Error at sensor state"},
    {0x0D00, false, RequestData::kNone, 4, false, "Error at start values 1"},
    {0x0D01, false, RequestData::kNone, 2, false, "Error at start values 2"},
    {0x0D02, false, RequestData::kDataSet, 4, true, "Error at elektric values"},
    {0x0D03, false, RequestData::kDataSet, 2, true, "Error at temperature values"},
    {0x0D05, false, RequestData::kNone, 4, false, "Error at timing values"},
    {0x0D04, false, RequestData::kNone, 4, false, "Error at result values"},
    {0x0D07, false, RequestData::kNone, 2, false, "Error at function value"},
    {0x0D06, false, RequestData::kNone, 2, false, "Error at characteristic value"},
    {0x0D08, false, RequestData::kNone, 2, false, "Error at resistance values"},
}};

// Steps whose reply is one word of hundredths, kept and shown in one line.
struct HundredthsStep {
  int step;
  float SensorTestValues::*value;
  const char* line;
  int next;
};

constexpr std::array<HundredthsStep, 4> kHundredthsSteps = {{
    {6, &SensorTestValues::Uso, "Start values - Uso: %5.2f V", 9},
    {11, &SensorTestValues::fx, "max. f(x): %6.2f", 12},
    {12, &SensorTestValues::Kf, "Kf: %6.2f", 13},
    {13, &SensorTestValues::Rm, "\r\n\r\nResistance Shunt - Rsh: %4.2f Ohm", kFinalStep},
}};

const StepInfo& InfoOf(int step) { return kSteps.at(static_cast<std::size_t>(step - 1)); }

float Celsius(int code) { return static_cast<float>(TempTenthsC(code)) * 0.1f; }
float Hundredths(int word) { return static_cast<float>(word) * 0.01f; }

// The leading decimal number of text, as atoi reads it; far out-of-range values saturate.
long long LeadingNumber(const std::string& text) {
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  long long value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    value = std::min(value * 10 + (text[pos] - '0'), 1LL << 40);
  }
  return negative ? -value : value;
}

bool TaInRange(long long ta) {
  return static_cast<unsigned long long>(ta - kTaMin) <= static_cast<unsigned long long>(kTaMax - kTaMin);
}

// Lines go into the report with decimal commas and CR LF; empty or overlong lines are left out.
void AppendCommaLine(std::string& out, const std::string& line) {
  if (line.empty() || line.size() > kCommaLineLimit) return;
  for (char c : line) {
    if (c == '\n') {
      out += "\r\n";
    } else {
      out.push_back(c == '.' ? ',' : c);
    }
  }
}

float ResistanceOf(const SensorTestValues& v, std::size_t i) {
  if (v.Us[i] >= 0.01f) return (v.Uv[i] - v.Us[i]) / v.Us[i] * v.Rm;
  return 0.0f;
}

}  // namespace

std::string SensorTestReport(const SensorTestValues& v, int sensorType) {
  std::string out;
  // \260 (octal, as a C or F after a hex escape would join it) is Windows-1252's degree sign.
  AppendCommaLine(out, "t[s]; Uv[V]; Ush[V];  Ts[\260C]; Rs[Ohm]\n");
  const int rows = std::clamp(v.dataSetTotal, 0, kRecordedSetLimit);
  for (int i = 0; i < rows; ++i) {
    const auto k = static_cast<std::size_t>(i);
    AppendCommaLine(
        out, CFormat("%4d;%6.2f; %6.2f;%+8.2f;%8.2f\n", (i + 1) * v.Tm, v.Uv[k], v.Us[k], v.Ts[k], ResistanceOf(v, k)));
  }
  out += "\r\n";
  AppendCommaLine(out, CFormat("Uo;%7.3f;V\n", v.Uo));
  AppendCommaLine(out, CFormat("Uso;%7.3f;V\n", v.Uso));
  AppendCommaLine(out, CFormat("To;%+7.3f;\260C\n", v.To));
  if (sensorType == 0) {
    AppendCommaLine(out, CFormat("tv;%3d.000;s\n", v.Tv));
    AppendCommaLine(out, CFormat("ti;%3d.000;s\n", v.Ti));
    AppendCommaLine(out, CFormat("Rm;%7.3f;Ohm\n", v.Rm));
    AppendCommaLine(out, CFormat("Rs;%7.3f; Ohm\n", v.Rs));
  } else {
    AppendCommaLine(out, CFormat("ti;%3d,000;s\n", v.Ti));
    AppendCommaLine(out, CFormat("dERdt;%7.3f;\n", v.dERdt));
    AppendCommaLine(out, CFormat("tK;%7.3f;s\n", v.tK));
    AppendCommaLine(out, CFormat("f(x);%7.3f;\n", v.fx));
    AppendCommaLine(out, CFormat("K;%7.3f;\n", v.Kf));
    AppendCommaLine(out, CFormat("Rsh;%7.3f;Ohm\n", v.Rm));
  }
  out += "\r\n";
  return out;
}

SensorSequence::~SensorSequence() { Close(); }

void SensorSequence::Open(SensorSequenceEvents& listener) {
  Close();
  listener_ = &listener;
  timer_ = timers_.StartTimer(link_.periods.tick, [this] { OnTimer(); });
  pendingLine.clear();
}

void SensorSequence::Close() {
  if (timer_ >= 0) timers_.StopTimer(timer_);
  timer_ = -1;
  listener_ = nullptr;
}

Result SensorSequence::ReadTemperature(int sensor) {
  requestPending = 0;
  sensorIndex = sensor;
  testStep = 1;
  return Result::Started();
}

Result SensorSequence::StartCycle(int sensor) {
  const int ta = Ta(sensor);
  if (!TaInRange(ta)) return Result::Failed("Error: Time setting");
  testStep = 2;
  requestPending = 0;
  sensorIndex = sensor;
  cycleTime = ta;
  return Result::Started();
}

Result SensorSequence::ReadRecordedData() {
  values.Uv.fill(0.0f);
  values.Us.fill(0.0f);
  values.Ts.fill(0.0f);
  logText_.clear();
  testStep = 5;
  requestPending = 0;
  dataSetIndex = 0;
  values.dataSetTotal = 0;
  return Result::Started();
}

Result SensorSequence::SetTa(int sensor, const std::string& text) {
  taText_[Index(sensor)] = text;
  const long long n = LeadingNumber(text);
  int& ta = ta_[Index(sensor)];
  ta = TaInRange(n) ? static_cast<int>(n) : 0;
  if (ta == 0) return Result::Failed("Error: Allowed range 1...1000 s");
  return Result::Done();
}

void SensorSequence::OnTimer() {
  if (testStep == 0) return;
  RunStep();
  dataSetShown_ = dataSetIndex;
  const std::string entry = std::exchange(pendingLine, {});
  if (!entry.empty()) logText_ = entry + "\r\n" + logText_;
  if (listener_ == nullptr) return;
  if (!entry.empty()) listener_->EntryAdded(entry);
  listener_->Changed();
}

void SensorSequence::RunStep() {
  if (testStep == kFinalStep) {
    pendingLine.clear();
    testStep = 0;
    return;
  }
  // Closed while its transaction ran, the dialog may have missed the outcome; what runs now, if
  // anything, is another caller's. The step asks again once the line is free.
  if (requestPending == 1 && !OwnTransactionRuns()) requestPending = 0;
  if (requestPending == 0) {
    if (testStep != 3 || CountdownElapsed()) BeginRequest();
    return;
  }
  const int result = transaction_.Poll(&testRequest, &refused_, &cycles_, &waited_);
  if (result == kPollBusy) return;
  const StepInfo& info = InfoOf(testStep);
  if (result == info.replyCount || (result == 0 && info.takesEmpty)) {
    requestPending = 0;
    TakeReply(result);
  } else {
    FailStep();
  }
}

// The cycle's wait runs down by the current tick period per timer message. Once less than one tick
// is left it stays elapsed, also when the tick period grows in the meantime.
bool SensorSequence::CountdownElapsed() {
  const auto tick = static_cast<std::uint32_t>(link_.periods.tick);
  if (waitCountdown >= tick) waitCountdown -= tick;
  return waitCountdown < tick;
}

std::optional<CycleCountdown> SensorSequence::Countdown() const {
  if (testStep != 3 && testStep != 4) return std::nullopt;
  const auto elapsed = static_cast<int>((timers_.MonotonicMs() - cycleStartMs_) / 1000);
  return CycleCountdown{cycleTime, std::max(cycleTime - elapsed, 0)};
}

bool SensorSequence::OwnTransactionRuns() const {
  return ownTransaction_ != 0 && transaction_.CurrentNumber() == ownTransaction_;
}

void SensorSequence::BeginRequest() {
  if (OwnTransactionRuns()) {
    // An earlier step's: let it end and drop its reply.
    ObjectRequest discarded{};
    transaction_.Poll(&discarded, &refused_, &cycles_, &waited_);
    return;
  }
  const std::uint32_t objectId = BuildRequest();
  const bool sendsData = InfoOf(testStep).data != RequestData::kNone;
  // Refused: the main window's transaction has not ended yet; try again at the next timer message.
  if (transaction_.Start(objectId, sendsData ? &testRequest : nullptr, &ownTransaction_) == 0) return;
  requestPending = 1;
}

std::uint32_t SensorSequence::BuildRequest() {
  const StepInfo& info = InfoOf(testStep);
  switch (info.data) {
    case RequestData::kCycleStart:
      PutDataByte(testRequest, 0, 1);
      PutDataWord(testRequest, 2, cycleTime);
      break;
    case RequestData::kDataSet: PutDataByte(testRequest, 0, dataSetIndex & 0xFF); break;
    case RequestData::kNone: break;
  }
  if (!info.perSensor) return info.objectId;
  return InsertField(info.objectId, kSensorField, static_cast<std::uint32_t>(sensorIndex));
}

void SensorSequence::FailStep() {
  // The box may run a nested event loop; the step must not run again behind it.
  const char* text = InfoOf(testStep).errorText;
  EndSequence();
  if (listener_ != nullptr) listener_->StepFailed(text);
}

void SensorSequence::TakeReply(int count) {
  switch (testStep) {
    case 1: return TakeSensorTemperature();
    case 2: return TakeCycleStart();
    case 3: return TakeSensorData();
    case 4: return TakeSensorState();
    case 5: return TakeStartValues();
    case 6: return TakeHundredths();
    case 7: return TakeVoltages(count);
    case 8: return TakeTemperature(count);
    case 9: return TakeTiming();
    case 10: return TakeResults();
    case 11:
    case 12:
    case 13: return TakeHundredths();
    default: return;
  }
}

void SensorSequence::TakeSensorTemperature() {
  pendingLine = CFormat("Temperature sensor %1d: %4.1f \260C", SensorNumber(), Celsius(GetDataWord(testRequest, 0)));
  EndSequence();
}

void SensorSequence::TakeCycleStart() {
  if (GetDataByte(testRequest, 0) != kCycleStarted) {
    pendingLine = CFormat("Error 3 start sensor %1d !", SensorNumber());
    EndSequence();
    return;
  }
  pendingLine = CFormat("Record sensor %1d started!", SensorNumber());
  cycleStartMs_ = timers_.MonotonicMs();
  waitCountdown = kCycleWaitMs;
  testStep = 3;
}

void SensorSequence::TakeSensorData() {
  pendingLine = CFormat("Sensor %1d - Uv: %5.2f V,  Rs: %4d Ohm", SensorNumber(),
                        Hundredths(GetDataWord(testRequest, 0)), GetDataWord(testRequest, 2));
  testStep = 4;
}

void SensorSequence::TakeSensorState() {
  if (GetDataByte(testRequest, 0) == kSensorStateRecording) {
    waitCountdown = kCycleWaitMs;
    testStep = 3;
    return;
  }
  pendingLine = CFormat("Recording sensor %1d completed!", SensorNumber());
  EndSequence();
}

void SensorSequence::TakeStartValues() {
  values.Uo = Hundredths(GetDataWord(testRequest, 0));
  values.To = Celsius(GetDataWord(testRequest, 2));
  pendingLine = CFormat("Start values - Uo: %5.2f V, To: % 4.1f \260C", values.Uo, values.To);
  testStep = 6;
}

void SensorSequence::TakeHundredths() {
  const auto* entry = std::find_if(kHundredthsSteps.begin(), kHundredthsSteps.end(),
                                   [this](const HundredthsStep& h) { return h.step == testStep; });
  float& value = values.*(entry->value);
  value = Hundredths(GetDataWord(testRequest, 0));
  pendingLine = CFormat(entry->line, value);
  testStep = entry->next;
}

void SensorSequence::TakeTiming() {
  SensorTestValues& v = values;
  if (sensorType_ == 0) {
    v.Tv = GetDataWord(testRequest, 0);
    v.Ti = GetDataByte(testRequest, 2);
    v.Tm = GetDataByte(testRequest, 3);
  } else {
    v.Ti = GetDataWord(testRequest, 0);
    v.Tm = GetDataByte(testRequest, 2);
  }
  // Without a set interval there is nothing to divide by: no data sets, yet set 0 is still read.
  v.dataSetTotal = v.Tm == 0 ? 0 : static_cast<int>(static_cast<unsigned>(v.Ti + 1) / static_cast<unsigned>(v.Tm));
  if (sensorType_ == 0) {
    pendingLine = CFormat("Timing - Tv: %3d s, Ti: %3d s, Tm: %3d s, N: %3d", v.Tv, v.Ti, v.Tm, v.dataSetTotal);
  } else {
    pendingLine = CFormat("Timing - Ti: %3d s, Tm: %3d s, N: %3d", v.Ti, v.Tm, v.dataSetTotal);
  }
  testStep = 7;
}

void SensorSequence::TakeVoltages(int count) {
  const auto i = static_cast<std::size_t>(dataSetIndex);
  if (count == 0) {
    pendingLine = "no voltages received";
  } else {
    values.Uv[i] = Hundredths(GetDataWord(testRequest, 0));
    values.Us[i] = Hundredths(GetDataWord(testRequest, 2));
  }
  testStep = 8;
}

void SensorSequence::TakeTemperature(int count) {
  if (count == 0) {
    pendingLine = "no temperature received";
    testStep = 10;
    return;
  }
  const auto i = static_cast<std::size_t>(dataSetIndex);
  values.Ts[i] = Celsius(GetDataWord(testRequest, 0));
  pendingLine = CFormat("N: %03d, Uv: %05.2f V, Us: %05.2f V, Ts: %04.1f \260C", dataSetIndex, values.Uv[i],
                        values.Us[i], values.Ts[i]);
  dataSetIndex += 1;
  const bool last = dataSetIndex >= kRecordedSetLimit || dataSetIndex >= values.dataSetTotal;
  testStep = last ? 10 : 7;
}

void SensorSequence::TakeResults() {
  const int word0 = GetDataWord(testRequest, 0);
  const int word2 = GetDataWord(testRequest, 2);
  if (sensorType_ == 0) {
    values.Rs = Hundredths(word0);
    values.Rm = Hundredths(word2);
    pendingLine = CFormat("\r\n\r\nResistance - Ri = %6.2f R: Rs = %6.2f R", values.Rm, values.Rs);
    EndSequence();
    return;
  }
  values.dERdt = -(static_cast<float>(word0) * 0.001f);
  values.tK = Hundredths(word2);
  pendingLine = CFormat("max. dER/dt,max:%7.3f%stK: %6.3f s", values.dERdt, "\r\n", values.tK);
  testStep = 11;
}

Result SensorSequence::SaveReport(const Answer<std::string>& path) {
  const std::optional<std::string> chosen = path();
  if (!chosen) return Result::Cancelled();
  reportFileName = *chosen;
  const AppendResult result = files_.Append(reportFileName, SensorTestReport(values, sensorType_), IfMissing::kCreate);
  if (!result.Written())
    return Result::Failed(FileErrorText("Error open file: DateiDatName", reportFileName, result.reason));
  return Result::Done();
}

}  // namespace gelvar
