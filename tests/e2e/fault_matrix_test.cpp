// The reliability runs in virtual time whose tables docs/reliability.md shows.
//
// One fault of the unit or of the line per row, in virtual time: what the user sees while it lasts,
// that the program keeps running and the log keeps its set numbers, and that reading and logging come
// back by themselves once the unit is healthy again (a lost adapter is found at the next try).
//
// The log file failing under a running log: every write in turn made to fail, once or until the
// file is writable again (as SQLite's I/O error tests walk their writes), and a full disk on the real
// file system. The user sees a failed record in the log status text, nothing already written is damaged,
// and logging goes on once the file can be written again.
//
// A long logging run in virtual time at one record a minute, against a unit that damages 5 % of its
// replies. An optimised build logs a whole day in about a second; a debug build (the sanitizer run)
// logs two hours, since it runs some twenty times slower. GELVAR_SOAK_HOURS sets another length;
// `make soak` logs a week.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <utility>

#include "core/common/c_format.h"
#include "core/common/temp_folder.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

// Reading and logging under the fault; it ends between two due records.
constexpr std::int64_t kFaultMs = 5 * 60'000 + 30'000;
constexpr std::int64_t kRecoveryMs = 3 * 60'000;
constexpr std::int64_t kStepLimitMs = 200'000;  // a whole parameter reading without replies
constexpr int kPassSteps = 15;

const std::string kNoReply = "E> No reply";
const std::string kNoReplyTest = "E> No reply from detector unit";
const std::string kPortLost = "E> COM Port Lost";
const std::string kPortReopened = "I> COM Port Reopened";

struct FaultCase {
  const char* name;
  std::function<void(unitsim::UnitModel&)> inject;
  std::set<std::string> allowed;            // error lines the pane may show under the fault, without the ID
  std::set<std::string> required;           // error lines it must show
  const char* comStatus = "COM Port Open";  // the COM status text while the fault lasts; "COM Port Lost": unplugged
};

// Every line of the file is a header line or a well-formed record, and the set numbers rise. Returns
// the number of well-formed records.
int ExpectWholeLines(const std::string& text) {
  int lastSet = 0;
  int wellFormed = 0;
  for (const std::string& line : FileLines(text)) {
    if (line.starts_with("Logfile Gelvar started ") || line.starts_with("Set#;Date;Time;")) continue;
    const bool whole = IsWellFormedRecord(line);
    EXPECT_TRUE(whole) << line;
    wellFormed += whole;
    EXPECT_GT(RecordSetNumber(line), std::exchange(lastSet, RecordSetNumber(line))) << line;
  }
  EXPECT_TRUE(text.empty() || text.ends_with("\r\n"));
  return wellFormed;
}

// After fromMs: the end of the first pass whose steps were all read, then the first record after it with
// every value read (the k-th record event is the k-th record line, as memory files take every record);
// -1 for one that did not come.
std::pair<std::int64_t, std::int64_t> BackAfter(const MonitorRig& rig, std::int64_t fromMs) {
  const std::vector<std::string> records = RecordLines(rig.memoryFiles.files.at(rig.logPath));
  std::int64_t readingMs = -1;
  int accepted = 0;  // a pass with a failed step has fewer
  std::size_t record = 0;
  for (const Event& e : rig.log.events) {
    if (e.kind == 'S') accepted += e.outcome == StepOutcome::kAccepted;
    if (e.kind == 'P' && readingMs < 0 && e.ms > fromMs && accepted == kPassSteps) readingMs = e.ms;
    if (e.kind == 'P') accepted = 0;
    if (e.kind == 'L' && readingMs >= 0 && e.ms > readingMs && !HoldsUnreadValues(records.at(record))) {
      return {readingMs, e.ms};
    }
    record += e.kind == 'L';
  }
  return {readingMs, -1};
}

// Lets a step that has just ended settle before the next command.
void RunCommand(MonitorRig& rig, Operation operation) {
  const int before = rig.log.Count('S');
  operation(rig);
  rig.RunUntilEvents('S', before + 1, kStepLimitMs);
  rig.link.RunFor(50);
}

// The protocol window's panes keep only their latest text: a note there must be told once.
bool NotedOnce(MonitorRig& rig, const std::string& note) {
  const std::string& text = rig.link.Pump().Tx().Text();
  return text.find(note) != std::string::npos && text.find(note) == text.rfind(note);
}

// The time from fromMs to atMs, when there is such a time.
std::string Seconds(std::int64_t atMs, std::int64_t fromMs) {
  return atMs < 0 ? "never" : CFormat("%.1f s", (atMs - fromMs) / 1000.0);
}

// The test's name of a row: its words run together, each capitalised.
std::string RowName(const std::string& label) {
  static const std::regex word("[A-Za-z0-9]+");
  std::string name;
  for (std::sregex_iterator w(label.begin(), label.end(), word), end; w != end; ++w) {
    name += w->str();
    name[name.size() - w->str().size()] = static_cast<char>(std::toupper(static_cast<unsigned char>(w->str()[0])));
  }
  return name;
}

using Unit = unitsim::UnitModel;
using F = unitsim::UnitFaults;
std::function<void(Unit&)> Rate(double F::*field, double value) {
  return [=](Unit& unit) { unit.Faults().*field = value; };
}
const std::set<std::string> kNoReplies = {kNoReply, kNoReplyTest};
const std::set<std::string> kWrongFormat = {"E> Wrong format response"};
const std::set<std::string> kWrongCommand = {"E> Wrong command response"};
const FaultCase kFaults[] = {
    {"unit silent", [](Unit& unit) { unit.Faults().silent = true; }, kNoReplies, kNoReplies},
    {"one object silent (0C84)", [](Unit& unit) { unit.Faults().silentObjects = {0x0C84}; }, {kNoReply}, {kNoReply}},
    {"bad checksum 1 %", Rate(&F::badChecksumRate, 0.01), {}, {}},
    {"bad checksum 10 %", Rate(&F::badChecksumRate, 0.1), {}, {}},
    {"bad checksum 50 %", Rate(&F::badChecksumRate, 0.5), kNoReplies, {}},
    {"bad parity 1 %", Rate(&F::badParityRate, 0.01), {}, {}},
    {"bad parity 10 %", Rate(&F::badParityRate, 0.1), {}, {}},
    {"bad parity 50 %", Rate(&F::badParityRate, 0.5), kNoReplies, {}},
    {"wrong data count 10 %", Rate(&F::wrongCountRate, 0.1), kWrongFormat, kWrongFormat},
    {"commands refused", [](Unit& unit) { unit.Faults().refuseCommands = true; }, kWrongCommand, kWrongCommand},
    {"reply after 700 ms", [](Unit& unit) { unit.Faults().latencyMs = 700; }, {}, {}},
    {"reply after 800 ms", [](Unit& unit) { unit.Faults().latencyMs = 800; }, {}, {}},
    {"noise bursts 10 %", Rate(&F::noiseRate, 0.1), {}, {}},
    {"frames cut half-way 10 %", Rate(&F::cutFrameRate, 0.1), {}, {}},
    {"unit unplugged with its adapter",
     [](Unit&) {},
     {kNoReply, kNoReplyTest, kPortLost},
     {kNoReply, kNoReplyTest, kPortLost},
     "COM Port Lost"},
    {"all faults at once, out-of-table values",
     [](Unit& unit) {
       F& f = unit.Faults();
       f.dropRate = f.badChecksumRate = f.badParityRate = f.cutFrameRate = 0.1;
       f.wrongCountRate = f.noiseRate = 0.2;
       f.latencyMs = 30;
       for (const std::uint32_t id : {0x3003u, 0x0C00u, 0x0C80u, 0x0C07u})
         unit.SetObject(id, std::vector<std::uint8_t>(unit.Object(id).size(), 0xFF));
       unit.SetObject(0x0C01, {});
     },
     {kNoReply, kNoReplyTest, "E> Wrong format response"},
     {}},
};

// The rows that ran publish their table at the end.
class FaultMatrix : public ::testing::TestWithParam<FaultCase> {
 protected:
  static std::vector<std::vector<std::string>>& Table() {
    static std::vector<std::vector<std::string>> table = {{"Fault", "Error lines in the pane under the fault",
                                                           "Steps read", "Records (with unread values)", "COM status",
                                                           "Reading back after", "Logging back after"}};
    return table;
  }
  static void TearDownTestSuite() {
    if (Table().size() > 1) PublishTable("fault_matrix.md", Table());
  }
};

TEST_P(FaultMatrix, IsShownSurvivedAndHealedByItself) {
  const FaultCase& c = GetParam();
  MonitorRig rig;
  rig.PinTemperatures();
  rig.Unit().Faults().noiseMayHoldTypeLetters = true;  // matters only in a row with noise
  c.inject(rig.Unit());
  const bool unplugged = c.comStatus != std::string("COM Port Open");
  if (unplugged) rig.link.Line().Unplug();
  // Under the fault: two commands, the parameters, then reading and logging for a while.
  RunCommand(rig, op::TestCommunication);
  EXPECT_EQ(NotedOnce(rig, "\r\n*** COM1 lost"), unplugged);
  RunCommand(rig, op::StartCycleSensor1);
  rig.monitor.ReadParameters();
  rig.RunUntilEvents('R', 1, kStepLimitMs);
  rig.StartLogging();
  std::set<std::pair<std::string, int>> states;  // COM status and mode
  const auto watchStates = [&] {
    states.emplace(rig.monitor.ComStatus().text, rig.monitor.Mode());
    return false;
  };
  rig.link.RunUntil(watchStates, kFaultMs);
  EXPECT_EQ(states, (std::set<std::pair<std::string, int>>{{c.comStatus, kLoggingVariables}}));

  std::map<std::string, int> errorLines;  // by kind, without the object ID
  for (const std::string& line : rig.log.messages)
    if (line.starts_with("E> ")) ++errorLines[line.substr(0, line.find(" at ID:"))];
  std::string errorTexts;
  for (const auto& [kind, count] : errorLines) {
    EXPECT_TRUE(c.allowed.contains(kind)) << kind;
    errorTexts += (errorTexts.empty() ? "" : "<br>") + kind + CFormat(" (%d)", count);
  }
  for (const std::string& kind : c.required) EXPECT_TRUE(errorLines.contains(kind)) << kind;
  const std::vector<std::string> records = RecordLines(rig.memoryFiles.files[rig.logPath]);
  // One record a minute, or at each pass end when passes take longer than that; none is lost.
  EXPECT_GE(records.size(), 3u);
  ExpectWholeLines(rig.memoryFiles.files[rig.logPath]);
  EXPECT_EQ(std::ssize(records), rig.monitor.LogSetCounter());
  const auto unread = std::count_if(records.begin(), records.end(), HoldsUnreadValues);
  const std::string stepsRead = CFormat("%d of %d", rig.log.Accepted(), rig.log.Count('S'));
  if (c.required.contains(kNoReplyTest)) {
    EXPECT_EQ(unread, std::ssize(records)) << "no value read while the unit is away";
  }

  // Healthy again: nothing but time is needed for reading and logging to come back.
  const std::int64_t healedMs = rig.link.Scheduler().NowMs();
  rig.Unit().Faults() = {};
  rig.link.Line().PlugIn();
  rig.link.RunFor(kReopenIntervalMs + 10);
  EXPECT_STREQ(rig.monitor.ComStatus().text, "COM Port Open");
  EXPECT_EQ(NotedOnce(rig, "\r\n*** COM1 reopened"), unplugged);
  // The pane tells the loss and the return once each, as the protocol window does.
  EXPECT_EQ(std::ranges::count(rig.log.messages, kPortLost), unplugged ? 1 : 0);
  EXPECT_EQ(std::ranges::count(rig.log.messages, kPortReopened), unplugged ? 1 : 0);
  rig.link.RunFor(kRecoveryMs - kReopenIntervalMs - 10);
  const auto [readingBackMs, loggingBackMs] = BackAfter(rig, healedMs);
  EXPECT_GE(readingBackMs, 0);
  EXPECT_GE(loggingBackMs, 0);
  rig.monitor.StopLogging();
  rig.monitor.StopReadingVariables();
  rig.link.RunUntil([&] { return rig.monitor.Mode() == kPortOpen && rig.log.events.back().kind != 'S'; }, 10'000);
  rig.link.RunFor(50);
  RunCommand(rig, op::StartCycleSensor2);
  EXPECT_EQ(rig.TopLine(), "I> Moisture cycle started");

  Table().push_back({c.name, errorTexts.empty() ? "none" : errorTexts, stepsRead,
                     CFormat("%d (%d)", static_cast<int>(records.size()), static_cast<int>(unread)), c.comStatus,
                     Seconds(readingBackMs, healedMs), Seconds(loggingBackMs, healedMs)});
}

INSTANTIATE_TEST_SUITE_P(, FaultMatrix, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return RowName(info.param.name); });

// Fails the n-th append (counting from 1), and while `lasting` every one after it. A
// failed append writes nothing: the file cannot be opened. Bytes already written stay, as memory files
// only append; what the seam shows is how the program goes on.
struct FailingFiles : MemoryFiles {
  FailingFiles(int n, bool lasting) : n(n), lasting(lasting) {}
  AppendResult Append(const std::string& path, const std::string& bytes, IfMissing ifMissing) override {
    if (++appends == n || (lasting && appends > n)) return {AppendStatus::kFailed, "Permission denied"};
    return MemoryFiles::Append(path, bytes, ifMissing);
  }
  const int n;
  bool lasting;  // until the file is back
  int appends = 0;
};

// The n-th write (1 the header, then the records) failing once or until the file is back.
class LogFileFaults : public ::testing::TestWithParam<std::tuple<bool, int>> {
 protected:
  static std::vector<std::vector<std::string>>& Table() {
    static std::vector<std::vector<std::string>> table = {
        {"Failing write", "Until", "Log status seen", "Records in the file", "Set numbers missing"}};
    return table;
  }
  static void TearDownTestSuite() {
    if (Table().size() > 1) PublishTable("file_faults_seam.md", Table());
  }
};

// A failed record leaves its set number unused and shows in the log status until a record gets
// through; the others are all in the file.
TEST_P(LogFileFaults, LosesOnlyTheRecordsItFailedAndLoggingGoesOn) {
  const auto [lasting, n] = GetParam();
  FailingFiles files(n, lasting);
  MonitorRig rig(&files);
  rig.StartLogging();
  if (n == 1) {
    // The header could not be written: the box, no logging, and once healed a new try works.
    EXPECT_EQ(rig.fileErrors,
              std::vector<std::string>{"Error open log file: DateiLogName\n" + rig.logPath + ": Permission denied"});
    EXPECT_EQ(rig.TopLine(), "E> Logfile not opened");
    EXPECT_EQ(files.files.count(rig.logPath), 0u);
    files.lasting = false;
    rig.LogEveryMinute();
  }
  std::string statuses = rig.monitor.LogStatus().text;
  const auto watch = [&] {
    const std::string now = rig.monitor.LogStatus().text;
    if (!statuses.ends_with(now)) statuses += " \xE2\x86\x92 " + now;
    return false;
  };
  rig.link.RunUntil(watch, 3 * 60'000);
  files.lasting = false;
  rig.link.RunUntil(watch, 3 * 60'000);
  ASSERT_GE(files.appends, n) << "write " << n << " came";
  // One record more, so that the run ends with a record written after the failure.
  const int records = rig.log.Count('L');
  rig.link.RunUntil([&] { return watch() || rig.log.Count('L') > records; }, 2 * 60'000);

  const std::string& text = files.files[rig.logPath];
  ExpectWholeLines(text);
  EXPECT_EQ(rig.monitor.Mode(), kLoggingVariables);
  int failed = 0;
  std::string missing;  // the set numbers of the failed records
  for (const Event& e : rig.log.Of('L'))
    if (!e.written) missing += (failed++ == 0 ? "" : ", ") + CFormat("%05d", e.set);
  const int inFile = static_cast<int>(RecordLines(text).size());
  Table().push_back({n == 1 ? "1 (header)" : CFormat("%d (record %d)", n, n - 1),
                     lasting ? "the file is back (3 min)" : "the next write", statuses, CFormat("%d", inFile),
                     missing.empty() ? "none" : missing});
  EXPECT_EQ(inFile, rig.monitor.LogSetCounter() - failed);
  if (n == 1) return;
  EXPECT_EQ(statuses, "Logging Activ \xE2\x86\x92 Last record failed \xE2\x86\x92 Logging Activ");
  EXPECT_TRUE(lasting ? failed >= 1 : failed == 1) << failed;
}

std::string WriteFailureName(const ::testing::TestParamInfo<std::tuple<bool, int>>& info) {
  const bool lasting = std::get<0>(info.param);
  return CFormat("Write%d", std::get<1>(info.param)) + (lasting ? "FailsUntilTheFileIsBack" : "FailsOnce");
}
INSTANTIATE_TEST_SUITE_P(, LogFileFaults, ::testing::Combine(::testing::Bool(), ::testing::Range(1, 8)),
                         WriteFailureName);

// A full disk on the real file system: a write beyond the file size limit stops part-way with EFBIG.
// The torn record is cut back, so the bytes written before stay as they were and the next record
// after mending starts on a line of its own. Then the file is deleted (or moved): the next record
// starts a new file with both header lines, and the pane says so with the error tones.
TEST_F(LogFileFaults, FullDiskLeavesNoTornLineAndAMissingFileStartsAgain) {
  if (!FileSizeLimit::Available()) GTEST_SKIP() << FileSizeLimit::kUnavailable;
  const TempFolder dir;
  DiskFileAppender files;
  MonitorRig rig(&files);
  rig.logPath = (dir / "Gelvar.log").string();
  rig.StartLogging();
  ASSERT_TRUE(rig.RunUntilEvents('L', 2, 2 * 60'000));
  const std::string before = ReadFile(rig.logPath);
  {
    const FileSizeLimit full(before.size() + 100);  // half a record fits, the rest does not
    ASSERT_TRUE(rig.RunUntilEvents('L', 3, 2 * 60'000));
    EXPECT_STREQ(rig.monitor.LogStatus().text, "Last record failed");
  }
  EXPECT_EQ(ReadFile(rig.logPath), before);
  ASSERT_TRUE(rig.RunUntilEvents('L', 4, 2 * 60'000));
  EXPECT_STREQ(rig.monitor.LogStatus().text, "Logging Activ");
  const std::string text = ReadFile(rig.logPath);
  ExpectWholeLines(text);
  ASSERT_TRUE(text.starts_with(before));
  EXPECT_TRUE(RecordLines(text).back().starts_with("00004; "));

  std::filesystem::remove(rig.logPath);
  ASSERT_TRUE(rig.RunUntilEvents('L', 5, 2 * 60'000));
  const std::regex restarted("Logfile Gelvar started [^\r]*\r\nSet#;Date;Time;[^\r]*\r\n00005; [^\r]*\r\n");
  EXPECT_TRUE(std::regex_match(ReadFile(rig.logPath), restarted)) << ReadFile(rig.logPath);
  EXPECT_EQ(rig.TopLine(), "E> Logfile missing, new file started");
  EXPECT_EQ(rig.log.tones.back(), (std::vector<int>{2000, 120, 1000, 80}));
  EXPECT_STREQ(rig.monitor.LogStatus().text, "Logging Activ");
}

constexpr std::int64_t kIntervalMs = 60'000;
#ifdef NDEBUG
constexpr int kDefaultHours = 24;
#else
constexpr int kDefaultHours = 2;
#endif

// Logging starts at a pass end: the first record is written at once, in the pause before the next pass
// ends; every later one right at a pass end, on the grid of the first record, whatever passes cost.
TEST(Soak, OneWellFormedRecordPerMinuteWithoutGapsOrRepeats) {
  const char* hoursSet = std::getenv("GELVAR_SOAK_HOURS");
  const int hours = hoursSet != nullptr && std::atoi(hoursSet) > 0 ? std::atoi(hoursSet) : kDefaultHours;
  const TempFolder dir;
  DiskFileAppender files;
  MonitorRig rig(&files);
  rig.PinTemperatures();
  rig.Unit().Faults().badChecksumRate = 0.05;
  rig.logPath = (dir / "soak.log").string();
  rig.StartLogging();

  const auto wallStart = std::chrono::steady_clock::now();
  const std::int64_t startMs = rig.link.Scheduler().NowMs();
  // The record due at the end of the last hour belongs to the next hour.
  rig.link.RunFor(std::int64_t{hours} * 60 * kIntervalMs - 1);
  const std::chrono::duration<double> wallSeconds = std::chrono::steady_clock::now() - wallStart;

  const std::string text = ReadFile(rig.logPath);
  const std::vector<std::string> records = RecordLines(text);
  const int expected = hours * 60;
  ASSERT_EQ(static_cast<int>(records.size()), expected);
  const int wellFormed = ExpectWholeLines(text);
  const std::vector<Event> written = rig.log.Of('L');
  ASSERT_EQ(written.size(), records.size());
  EXPECT_EQ(written[0].ms, startMs + 10) << "the first record at the first timer message";
  std::int64_t latestMs = 0;
  for (std::size_t k = 0; k < records.size(); ++k) {
    ASSERT_EQ(RecordSetNumber(records[k]), static_cast<int>(k) + 1) << records[k];
    // Record k belongs to minute k of the grid, however long it waited there for a pass to end.
    EXPECT_EQ((written[k].ms - written[0].ms) / kIntervalMs, static_cast<std::int64_t>(k)) << records[k];
    latestMs = std::max(latestMs, (written[k].ms - written[0].ms) % kIntervalMs);
  }
  // Every record after the first comes right after a pass end.
  for (std::size_t i = 1; i < rig.log.events.size(); ++i) {
    const Event& e = rig.log.events[i];
    EXPECT_TRUE(e.kind != 'L' || e.ms == written[0].ms || rig.log.events[i - 1].kind == 'P') << "record " << e.set;
  }
  const auto unread = std::ranges::count_if(records, HoldsUnreadValues);
  EXPECT_EQ(unread, 0);

  PublishTable(
      CFormat("soak_%dh.md", hours),
      {{"Virtual time", "Records", "Set numbers", "Well formed", "With unread values",
        "Latest record after its minute began", "Steps read", "Wall time"},
       {CFormat("%d h", hours), CFormat("%d", expected), CFormat("00001-%05d", expected), CFormat("%d", wellFormed),
        CFormat("%d", static_cast<int>(unread)), CFormat("%.2f s", latestMs / 1000.0),
        CFormat("%d of %d", rig.log.Accepted(), rig.log.Count('S')), CFormat("%.1f s", wallSeconds.count())}});
}

}  // namespace
}  // namespace gelvar::testing
