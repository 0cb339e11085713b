// Stand-ins for the sensor test's dialog and transaction: a view that records what it was asked to
// show, and a transaction answered by a table of objects, with scriptable delays and refusals.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/ticker.h"
#include "link/transaction.h"
#include "sensortest/sensor_test.h"
#include "support/virtual_scheduler.h"

namespace gelvar::testing {

class FakeSensorTestView : public SensorTestView {
 public:
  void Refresh() override { ++refreshes; }
  void Alert(const std::string& text, AlertIcon icon) override {
    alerts.emplace_back(text, icon);
    if (whileAlertShown) whileAlertShown();
  }
  bool ChooseSaveFile(const std::string& defaultName, const std::string& extension,
                      std::string& path) override {
    askedDefault = defaultName;
    askedExtension = extension;
    if (!chosenPath) return false;
    path = *chosenPath;
    return true;
  }

  int refreshes = 0;
  std::vector<std::pair<std::string, AlertIcon>> alerts;
  std::function<void()> whileAlertShown;  // a nested event loop of the message box
  std::optional<std::string> chosenPath;  // nullopt: the user cancels
  std::string askedDefault;
  std::string askedExtension;
};

// One transaction at a time, like the real one: each Start takes its outcome from the object table
// and Poll hands it out after busyPolls busy answers.
class TableTransaction : public StepTransaction {
 public:
  struct Outcome {
    int result;  // data count, or -2 / -3
    std::vector<std::uint8_t> data;
  };
  struct Started {
    std::uint32_t objectId;
    std::vector<std::uint8_t> data;
    std::int64_t atMs;
  };

  explicit TableTransaction(std::function<std::int64_t()> clock) : clock_(std::move(clock)) {}

  std::int32_t Start(std::uint32_t objectId, const ObjectRequest* request) override {
    if (foreignStarts > 0) {
      --foreignStarts;
      ++refusedStarts;
      return 0;
    }
    if (running_) {
      ++refusedStarts;
      return 0;
    }
    std::vector<std::uint8_t> data;
    if (request != nullptr) data.assign(request->data, request->data + (request->count & 0x0F));
    started.push_back({objectId, data, clock_()});
    outcome_ = OutcomeFor(objectId, data);
    busyLeft_ = busyPolls;
    running_ = true;
    return 1;
  }

  std::int32_t Poll(ObjectRequest* request, int* tries, int* cycles, int* ms) override {
    ++polls;
    *tries = *cycles = *ms = 0;
    if (!running_) return kPollIdle;
    if (busyLeft_ > 0) {
      --busyLeft_;
      *cycles = 1;
      *ms = 250;
      return kPollBusy;
    }
    running_ = false;
    if (outcome_.result >= 0) {
      request->count = static_cast<std::uint8_t>(outcome_.result);
      for (std::size_t i = 0; i < 4; ++i) request->data[i] = i < outcome_.data.size() ? outcome_.data[i] : 0;
    }
    return outcome_.result;
  }

  // Replies by object ID; the data set objects by the set number in the request's byte 0.
  void SetObject(std::uint32_t objectId, std::vector<std::uint8_t> data) {
    objects[objectId] = Outcome{static_cast<int>(data.size()), std::move(data)};
  }
  void SetOutcome(std::uint32_t objectId, int result) { objects[objectId] = Outcome{result, {}}; }
  void SetDataSet(std::uint32_t objectId, int set, std::vector<std::uint8_t> data) {
    dataSets[{objectId, set}] = Outcome{static_cast<int>(data.size()), std::move(data)};
  }
  bool Running() const { return running_; }
  std::vector<std::uint32_t> StartedIds() const {
    std::vector<std::uint32_t> ids;
    for (const auto& s : started) ids.push_back(s.objectId);
    return ids;
  }

  std::map<std::uint32_t, Outcome> objects;
  std::map<std::pair<std::uint32_t, int>, Outcome> dataSets;  // missing: a reply without data
  std::vector<Started> started;
  std::map<std::uint32_t, std::deque<Outcome>> queued;  // answered in turn before the table
  int busyPolls = 0;
  int foreignStarts = 0;  // Start refuses this many times, as while another caller's transaction runs
  int refusedStarts = 0;
  int polls = 0;

 private:
  Outcome OutcomeFor(std::uint32_t objectId, const std::vector<std::uint8_t>& data) {
    if (objectId == 0x0D02 || objectId == 0x0D03) {
      auto it = dataSets.find({objectId, data.empty() ? -1 : data[0]});
      return it == dataSets.end() ? Outcome{0, {}} : it->second;
    }
    if (auto q = queued.find(objectId); q != queued.end() && !q->second.empty()) {
      Outcome next = q->second.front();
      q->second.pop_front();
      return next;
    }
    auto it = objects.find(objectId);
    return it == objects.end() ? Outcome{kPollFailed, {}} : it->second;
  }

  std::function<std::int64_t()> clock_;
  bool running_ = false;
  int busyLeft_ = 0;
  Outcome outcome_{kPollIdle, {}};
};

inline std::vector<std::uint8_t> Words(int word0, int word2) {
  return {static_cast<std::uint8_t>(word0), static_cast<std::uint8_t>(word0 >> 8),
          static_cast<std::uint8_t>(word2), static_cast<std::uint8_t>(word2 >> 8)};
}
inline std::vector<std::uint8_t> Word(int word0) {
  return {static_cast<std::uint8_t>(word0), static_cast<std::uint8_t>(word0 >> 8)};
}

// The log pane's lines from top (newest) to bottom.
inline std::vector<std::string> LogLines(const std::string& logText) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < logText.size()) {
    std::size_t end = logText.find("\r\n", start);
    if (end == std::string::npos) end = logText.size();
    lines.push_back(logText.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// A complete recording of either type: start values, timing with N = 2, two data sets, results.
inline void LoadRecording(TableTransaction& link, int sensorType) {
  link.SetObject(0x0D00, Words(1234, 6250));
  link.SetObject(0x0D01, Word(1200));
  if (sensorType == 0) {
    link.SetObject(0x0D05, {0x2C, 0x01, 9, 5});  // Tv 300, Ti 9, Tm 5
    link.SetObject(0x0D04, Words(4700, 10000));  // Rs 47, Ri 100
    link.SetDataSet(0x0D02, 1, Words(900, 0));
  } else {
    link.SetObject(0x0D05, {19, 0, 10, 0});  // Ti 19, Tm 10
    link.SetObject(0x0D04, Words(1234, 567));
    link.SetObject(0x0D07, Word(250));
    link.SetObject(0x0D06, Word(1));
    link.SetObject(0x0D08, Word(47));
    link.SetDataSet(0x0D02, 1, Words(900, 300));
  }
  link.SetDataSet(0x0D02, 0, Words(1000, 800));
  link.SetDataSet(0x0D03, 0, Word(6100));
  link.SetDataSet(0x0D03, 1, Word(5900));
}

// A sensor test with its dialog open, on the table transaction, at a 10 ms tick.
class SensorTestFixture : public ::testing::Test {
 protected:
  SensorTestFixture() { tickPeriod = 10; }
  void SetUp() override { test.Open(view); }

  bool RunToIdle(std::int64_t limitMs = 120000) {
    return scheduler.RunUntil([this] { return test.TestStep() == 0; }, limitMs);
  }

  VirtualScheduler scheduler;
  TableTransaction link{[this] { return scheduler.NowMs(); }};
  FakeSensorTestView view;
  SensorTest test{scheduler, link};
};

}  // namespace gelvar::testing
