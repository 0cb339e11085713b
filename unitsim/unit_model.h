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

#include "unitsim/unit_codec.h"

namespace gelvar::unitsim {

struct UnitFaults {
  bool silent = false;                    // answers nothing (unit unplugged, wrong port)
  std::set<std::uint32_t> silentObjects;  // objects it never answers
  int dropFirstRequests = 0;              // ignores this many requests, then answers normally
  double dropRate = 0.0;                  // share of requests ignored
  double badChecksumRate = 0.0;           // share of replies sent with a wrong checksum
  double badParityRate = 0.0;             // share of replies whose ID word has a wrong parity
  double wrongCountRate = 0.0;            // share of replies with another data count than asked for
  double cutFrameRate = 0.0;              // share of replies that stop half-way
  int latencyMs = 0;                      // time from the request's last byte to the reply
  double noiseRate = 0.0;                 // share of replies preceded by a burst of noise bytes
  int noiseBurstLength = 8;
  bool noiseMayHoldTypeLetters = false;  // false: noise never contains 0x54..0x56
  bool refuseCommands = false;           // answers every command "refused" (byte 0 not 2)
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

  // The object store: what a read of objectId answers (2 or 4 bytes; empty for an object the unit
  // does not know, which it answers with a "T" frame). An object set here is pinned: drifting no
  // longer moves it, though running commands still show in it (heating state 6, sensor state 11)
  // and a factory reset restores the parameters among them. Objects other than the commands and
  // the data set records are read-only: data sent to them is ignored and the reply is the value.
  void SetObject(std::uint32_t objectId, std::vector<std::uint8_t> data);
  std::vector<std::uint8_t> Object(std::uint32_t objectId) const;

  // Recorded sensor test data sets (0x0D02: 4 bytes, 0x0D03: 2 bytes per set), asked for by set
  // number N in the request's word 0; past the last set the reply has no data. The timing object
  // 0x0D05 is left as it is.
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

  // Sensor state byte (0x0C80/0x0C90 byte 0) is 11 while a recording of sensor s runs (the
  // detection of a plain moisture cycle counts as one).
  bool RecordingRunning(int sensor, std::int64_t nowMs) const;

  // Forgets reply bytes due by nowMs: they went out while nobody listened (the port was closed).
  void DiscardSent(std::int64_t nowMs);

 private:
  struct Pending {
    std::int64_t dueMs;
    std::uint8_t byte;
  };
  void HandleFrame(const DecodedFrame& request, std::int64_t nowMs);
  bool Ignores(std::uint32_t objectId);
  std::vector<std::uint8_t> Answer(std::uint32_t objectId, const std::vector<std::uint8_t>& data, std::int64_t nowMs);
  std::vector<std::uint8_t> CurrentValue(std::uint32_t objectId, std::int64_t nowMs) const;
  std::vector<std::uint8_t> FactoryReset(const std::vector<std::uint8_t>& data);
  std::vector<std::uint8_t> MinHeatTime(const std::vector<std::uint8_t>& data, std::int64_t nowMs);
  std::vector<std::uint8_t> StartCycle(int sensor, const std::vector<std::uint8_t>& data, std::int64_t nowMs);
  std::vector<std::uint8_t> ReplyFrame(std::uint32_t objectId, std::vector<std::uint8_t> data);
  void QueueReply(const std::vector<std::uint8_t>& frame, std::int64_t nowMs);
  std::uint8_t NoiseByte();
  void DriftOnce();
  bool Chance(double rate);

  UnitFaults faults_;
  std::mt19937 random_;       // faults
  std::mt19937 driftRandom_;  // values, apart so that drifting leaves the fault sequence alone
  std::map<std::uint32_t, std::vector<std::uint8_t>> objects_;
  std::set<std::uint32_t> pinned_;
  std::vector<std::vector<std::uint8_t>> voltageSets_;
  std::vector<std::vector<std::uint8_t>> temperatureSets_;
  std::int64_t recordingEndMs_[2] = {0, 0};
  std::int64_t minHeatEndMs_ = 0;
  std::int64_t nowMs_ = 0;
  bool driftStarted_ = false;
  std::int64_t lastDriftMs_ = 0;
  FrameDecoder decoder_;
  std::deque<Pending> outgoing_;
  std::vector<Request> requests_;
  int requestsSeen_ = 0;
};

}  // namespace gelvar::unitsim
