// Stand-ins for the sensor test's dialog and transaction: a view that records its boxes, and a
// transaction answered from a table, with scriptable delays and refusals.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/ticker.h"
#include "link/transaction.h"
#include "sensortest/sensor_test.h"
#include "support/virtual_scheduler.h"

namespace gelvar::testing {

using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

class FakeSensorTestView : public SensorTestView {
 public:
  void Refresh() override { ++refreshes; }
  void Alert(const std::string& text, AlertIcon icon) override {
    alerts.push_back(icon == AlertIcon::kQuestion ? "(?) " + text : text);
    if (whileAlertShown) whileAlertShown();
  }
  bool ChooseSaveFile(const std::string& defaultName, const std::string& extension,
                      std::string& path) override {
    asked = defaultName + " " + extension;
    path = chosenPath;
    return !chosenPath.empty();
  }

  int refreshes = 0;
  Strings alerts;  // question-mark boxes start with "(?) "
  std::function<void()> whileAlertShown;  // the message box's own event loop
  std::string chosenPath;                 // empty: the user cancels
  std::string asked;
};

// One transaction at a time, like the shared one. Replies come from a table by object ID and, for
// the data set objects, the set number in byte 0 (-1 for the others); several replies to one key are
// given in turn and the last repeats. Unknown data sets answer without data bytes, anything else fails.
class TableTransaction : public StepTransaction {
 public:
  struct Outcome {
    int result;
    Bytes data;
  };

  explicit TableTransaction(std::function<std::int64_t()> clock) : clock_(std::move(clock)) {}

  std::int32_t Start(std::uint32_t objectId, const ObjectRequest* request) override {
    if (running_ || foreignStarts > 0) {
      foreignStarts = std::max(0, foreignStarts - 1);
      ++refusedStarts;
      return 0;
    }
    started.push_back(objectId);
    startedAtMs.push_back(clock_());
    outcome_ = Next(objectId, request != nullptr ? request->data[0] : -1);
    busyLeft_ = busyPolls;
    running_ = true;
    return 1;
  }

  std::int32_t Poll(ObjectRequest* request, int* tries, int* cycles, int* ms) override {
    ++polls;
    *tries = *cycles = *ms = 0;
    if (!running_) return kPollIdle;
    if (busyLeft_-- > 0) return kPollBusy;
    running_ = false;
    if (outcome_.result >= 0) {
      request->count = static_cast<std::uint8_t>(outcome_.result);
      outcome_.data.resize(4);
      std::copy(outcome_.data.begin(), outcome_.data.end(), request->data);
    }
    return outcome_.result;
  }

  void Reply(std::uint32_t objectId, Bytes data, int set = -1) {
    replies[{objectId, set}] = {Outcome{static_cast<int>(data.size()), std::move(data)}};
  }
  bool Running() const { return running_; }

  std::map<std::pair<std::uint32_t, int>, std::deque<Outcome>> replies;
  std::vector<std::uint32_t> started;
  std::vector<std::int64_t> startedAtMs;
  int busyPolls = 0;      // busy answers before each outcome
  int foreignStarts = 0;  // Start refuses this often, as while another caller's transaction runs
  int refusedStarts = 0;
  int polls = 0;

 private:
  Outcome Next(std::uint32_t objectId, int set) {
    const bool dataSet = objectId == 0x0D02 || objectId == 0x0D03;
    auto it = replies.find({objectId, dataSet ? set : -1});
    if (it == replies.end()) return Outcome{dataSet ? 0 : kPollFailed, {}};
    Outcome next = it->second.front();
    if (it->second.size() > 1) it->second.pop_front();
    return next;
  }

  std::function<std::int64_t()> clock_;
  bool running_ = false;
  int busyLeft_ = 0;
  Outcome outcome_{kPollIdle, {}};
};

inline Bytes Words(int word0, int word2) {
  return {static_cast<std::uint8_t>(word0), static_cast<std::uint8_t>(word0 >> 8),
          static_cast<std::uint8_t>(word2), static_cast<std::uint8_t>(word2 >> 8)};
}

// The log pane's lines from top (newest) to bottom.
inline Strings LogLines(const std::string& logText) {
  Strings lines;
  for (std::size_t start = 0; start < logText.size();) {
    const std::size_t end = std::min(logText.find("\r\n", start), logText.size());
    lines.push_back(logText.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// A sensor test with its dialog open, on the table transaction, at a 10 ms tick.
class SensorTestFixture : public ::testing::Test {
 protected:
  SensorTestFixture() { tickPeriod = 10; }
  void SetUp() override { test.Open(view); }

  bool RunToIdle(std::int64_t limitMs = 120000) {
    return scheduler.RunUntil([this] { return test.TestStep() == 0; }, limitMs);
  }

  // A Type II recording with N = 2 and both data sets.
  void LoadRecording() {
    for (auto [id, data] : std::map<std::uint32_t, Bytes>{{0x0D00, Words(1234, 6250)},
                                                           {0x0D01, {0xB0, 0x04}},
                                                           {0x0D05, {19, 0, 10, 0}},
                                                           {0x0D04, Words(1234, 567)},
                                                           {0x0D07, {250, 0}},
                                                           {0x0D06, {1, 0}},
                                                           {0x0D08, {47, 0}}}) {
      link.Reply(id, data);
    }
    for (int set : {0, 1}) {
      link.Reply(0x0D02, Words(1000, 800), set);
      link.Reply(0x0D03, {0xD4, 0x17}, set);
    }
  }

  VirtualScheduler scheduler;
  TableTransaction link{[this] { return scheduler.NowMs(); }};
  FakeSensorTestView view;
  SensorTest test{scheduler, link};
};

}  // namespace gelvar::testing
