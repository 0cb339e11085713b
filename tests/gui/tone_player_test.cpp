// The message tones: the GUI thread never waits for the sound.
#include "ui/tone_player.h"

#include <gtest/gtest.h>

#include <semaphore>

namespace gelvar::testing {
namespace {

// Holds each pair until the test lets it go.
struct HeldOutput : SoundOutput {
  void Play(const std::vector<std::int16_t>&, int) override {
    started.release();
    released.acquire();
  }
  std::counting_semaphore<> started{0};
  std::counting_semaphore<> released{0};
};

TEST(TonePlayer, ReturnsAtOnceWhileTheSoundPlaysAndIsSilentWithoutADevice) {
  auto output = std::make_unique<HeldOutput>();
  HeldOutput& held = *output;
  TonePlayer player(std::move(output));
  player.Play({1000, 10, 2000, 10});
  held.started.acquire();
  player.Play({1000, 20, 2000, 20});  // returns although the first pair still sounds
  held.released.release(2);

  TonePlayer withoutDevice(MakeAlsaOutput());
  withoutDevice.Play({2000, 120, 1000, 80});
}

}  // namespace
}  // namespace gelvar::testing
