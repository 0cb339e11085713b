// The message tones: what is synthesised, and that the GUI thread never waits
// for the sound.
#include "ui/tone_player.h"

#include <gtest/gtest.h>

#include <semaphore>

namespace gelvar::testing {
namespace {

TEST(SynthesizeTones, TwoTonesOfTheirPitchAndLength) {
  const TonePair tones{2000, 120, 1000, 80};
  const auto samples = SynthesizeTones(tones, kToneSampleRate);
  const std::size_t first = 120 * kToneSampleRate / 1000;
  ASSERT_EQ(samples.size(), first + 80 * kToneSampleRate / 1000);
  // A sine of f Hz crosses zero 2 f times a second.
  int crossings[2] = {};
  for (std::size_t i = 1; i < samples.size(); ++i) crossings[i >= first] += (samples[i - 1] < 0) != (samples[i] < 0);
  EXPECT_NEAR(crossings[0], 2 * 2000 * 120 / 1000, 2);
  EXPECT_NEAR(crossings[1], 2 * 1000 * 80 / 1000, 2);
}

// Holds each pair until the test lets it go.
class HeldOutput : public SoundOutput {
 public:
  void Play(const std::vector<std::int16_t>&, int) override {
    started.release();
    released.acquire();
  }
  std::counting_semaphore<> started{0};
  std::counting_semaphore<> released{0};
};

TEST(TonePlayer, ReturnsAtOnceWhileTheSoundPlays) {
  auto output = std::make_unique<HeldOutput>();
  HeldOutput& held = *output;
  TonePlayer player(std::move(output));
  player.Play({1000, 10, 2000, 10});
  held.started.acquire();
  player.Play({1000, 20, 2000, 20});  // returns although the first pair still sounds
  held.released.release(2);
}

TEST(TonePlayer, WithoutASoundDeviceStaysSilent) {
  TonePlayer player(MakeAlsaOutput());
  player.Play({2000, 120, 1000, 80});
}

}  // namespace
}  // namespace gelvar::testing
