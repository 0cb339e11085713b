// A simulated detector unit on the far end of the line: it decodes request frames byte by byte,
// answers every object the monitor and the sensor test use, runs its commands, and can be told to
// misbehave in the ways a real line and a real unit do.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace gelvar::unitsim {

struct UnitFaults {
  bool silent = false;                      // answers nothing (unit unplugged, wrong port)
  std::set<std::uint32_t> silentObjects;    // objects it never answers
  int dropFirstRequests = 0;                // ignores this many requests, then answers normally
  double dropRate = 0.0;                    // share of requests ignored
  double badChecksumRate = 0.0;             // share of replies sent with a wrong checksum
  double badParityRate = 0.0;               // share of replies whose ID word has a wrong parity
  double wrongCountRate = 0.0;              // share of replies with another data count than asked for
  double cutFrameRate = 0.0;                // share of replies that stop half-way
  int latencyMs = 0;                        // time from the request's last byte to the reply
  double noiseRate = 0.0;                   // share of replies preceded by a burst of noise bytes
  int noiseBurstLength = 8;
  bool noiseMayHoldTypeLetters = false;     // false: noise never contains 0x54..0x56
};

class UnitModel {
 public:
  explicit UnitModel(std::uint32_t seed = 1);

  UnitFaults& Faults() { return faults_; }

  // One byte from the program, at virtual or real time nowMs.
  void Receive(std::uint8_t byte, std::int64_t nowMs);
  // Reply bytes due by nowMs, at most maxCount; never waits.
  int Transmit(std::uint8_t* buffer, int maxCount, std::int64_t nowMs);
  // Lets time-driven state move on (recordings, drifting values).
  void Advance(std::int64_t nowMs);

  // The object store: what a read of objectId answers (2 or 4 bytes).
  void SetObject(std::uint32_t objectId, std::vector<std::uint8_t> data);
  std::vector<std::uint8_t> Object(std::uint32_t objectId) const;

  // Recorded sensor test data sets (0x0D02: 4 bytes, 0x0D03: 2 bytes per set).
  void SetRecordedSets(std::vector<std::vector<std::uint8_t>> voltageSets,
                       std::vector<std::vector<std::uint8_t>> temperatureSets);

  // Every well-formed request the unit decoded, in order (object ID and data bytes as received).
  struct Request {
    std::uint32_t objectId;
    std::vector<std::uint8_t> data;
    std::int64_t atMs;
  };
  const std::vector<Request>& Requests() const { return requests_; }
  void ClearRequests() { requests_.clear(); }

  // Sensor state byte (0x0C80/0x0C90 byte 0) is 11 while a recording of sensor s runs.
  bool RecordingRunning(int sensor, std::int64_t nowMs) const;

 private:
  struct Pending {
    std::int64_t dueMs;
    std::uint8_t byte;
  };
  void HandleFrame(std::uint32_t objectId, const std::vector<std::uint8_t>& data, std::int64_t nowMs);
  std::vector<std::uint8_t> Answer(std::uint32_t objectId, const std::vector<std::uint8_t>& data,
                                   std::int64_t nowMs, bool& answer);
  void QueueReply(std::uint32_t objectId, std::vector<std::uint8_t> data, std::int64_t nowMs);
  bool Chance(double rate);

  UnitFaults faults_;
  std::mt19937 random_;
  std::map<std::uint32_t, std::vector<std::uint8_t>> objects_;
  std::vector<std::vector<std::uint8_t>> voltageSets_;
  std::vector<std::vector<std::uint8_t>> temperatureSets_;
  std::int64_t recordingEndMs_[2] = {0, 0};
  std::vector<std::uint8_t> frame_;  // request being received
  std::size_t frameLength_ = 0;
  std::deque<Pending> outgoing_;
  std::vector<Request> requests_;
  int requestsSeen_ = 0;
};

}  // namespace gelvar::unitsim
