// The two tones that go with every line of the message pane, played on the desktop's sound output
// without holding up the GUI thread: the link's tick must keep running while they sound.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/common/sound_output.h"
#include "core/common/tone_pair.h"

namespace gelvar {

inline constexpr int kToneSampleRate = 48000;

// 16-bit mono samples of the first tone followed by the second, each faded in and out over a few
// milliseconds so that no click marks the edges.
std::vector<std::int16_t> SynthesizeTones(const TonePair& tones, int sampleRate);

// Plays on a thread of its own, never on the GUI thread.
class TonePlayer {
 public:
  explicit TonePlayer(std::unique_ptr<SoundOutput> output);
  ~TonePlayer();
  TonePlayer(const TonePlayer&) = delete;
  TonePlayer& operator=(const TonePlayer&) = delete;

  // Returns at once. While a pair sounds, the newest request waits and any older waiting one is
  // dropped: a burst of messages ends with the tones of its last line instead of a long queue.
  void Play(const TonePair& tones);

 private:
  void Run();

  std::unique_ptr<SoundOutput> output_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<TonePair> waiting_;
  bool stopping_ = false;
  std::thread worker_;  // last: starts once everything it uses exists
};

}  // namespace gelvar
