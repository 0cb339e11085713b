// The message tones: what is synthesised, and that the GUI thread never waits for the sound.
#include "app/tone_player.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace gelvar::testing {
namespace {

int ZeroCrossings(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
  int crossings = 0;
  for (std::size_t i = from + 1; i < to; ++i) crossings += (samples[i - 1] < 0) != (samples[i] < 0);
  return crossings;
}

TEST(SynthesizeTones, TwoTonesOfTheirLengthAndPitchWithSoftEdges) {
  const struct {
    TonePair tones;
  } cases[] = {{{2000, 120, 1000, 80}}, {{1000, 120, 2000, 80}}};
  for (const auto& c : cases) {
    const auto samples = SynthesizeTones(c.tones, kToneSampleRate);
    const std::size_t first = c.tones.milliseconds1 * kToneSampleRate / 1000;
    const std::size_t second = c.tones.milliseconds2 * kToneSampleRate / 1000;
    ASSERT_EQ(samples.size(), first + second);
    // A sine of f Hz crosses zero 2 f times a second.
    EXPECT_NEAR(ZeroCrossings(samples, 0, first), 2 * c.tones.frequency1 * c.tones.milliseconds1 / 1000, 2);
    EXPECT_NEAR(ZeroCrossings(samples, first, first + second), 2 * c.tones.frequency2 * c.tones.milliseconds2 / 1000,
                2);
    EXPECT_EQ(samples.front(), 0);
    EXPECT_LT(std::abs(samples[first - 1]), 200);
    EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 8000);
  }
}

// Holds every pair until the test lets it go, and notes each pair's length.
class GateOutput : public SoundOutput {
 public:
  void Play(const std::vector<std::int16_t>& samples, int) override {
    std::unique_lock lock(mutex);
    played.push_back(samples.size());
    changed.notify_all();
    changed.wait(lock, [this] { return open; });
  }
  void WaitForPlays(std::size_t count) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return played.size() >= count; });
  }
  void Open() {
    const std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::size_t> played;
  bool open = false;
};

TEST(TonePlayer, ReturnsAtOnceAndKeepsOnlyTheNewestWaitingPair) {
  auto output = std::make_unique<GateOutput>();
  GateOutput& gate = *output;
  {
    TonePlayer player(std::move(output));
    player.Play({1000, 10, 2000, 10});
    gate.WaitForPlays(1);  // the first pair sounds (and holds the player)
    player.Play({1000, 20, 2000, 20});
    player.Play({1000, 30, 2000, 30});  // replaces the waiting 20 ms pair
    gate.Open();
    gate.WaitForPlays(2);
  }
  const std::size_t samplesPerMs = kToneSampleRate / 1000;
  EXPECT_EQ(gate.played, (std::vector<std::size_t>{20 * samplesPerMs, 60 * samplesPerMs}));
}

TEST(TonePlayer, WithoutASoundDeviceStaysSilentAndEndsCleanly) {
  TonePlayer player(MakeAlsaOutput());
  player.Play({2000, 120, 1000, 80});
  player.Play({1000, 120, 2000, 80});
}

}  // namespace
}  // namespace gelvar::testing
