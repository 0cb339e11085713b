#include "gui/ui/tone_player.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace gelvar {
namespace {

constexpr double kAmplitude = 0.3 * 32767.0;
constexpr int kFadeMs = 3;

void AppendTone(std::vector<std::int16_t>& samples, int frequency, int milliseconds, int sampleRate) {
  const int count = std::max(0, milliseconds) * sampleRate / 1000;
  const int fade = std::min(count / 4, kFadeMs * sampleRate / 1000);
  const double step = 2.0 * std::numbers::pi * frequency / sampleRate;
  for (int i = 0; i < count; ++i) {
    const int edge = std::min(i, count - 1 - i);
    const double envelope = edge < fade ? static_cast<double>(edge) / fade : 1.0;
    samples.push_back(static_cast<std::int16_t>(std::lround(kAmplitude * envelope * std::sin(step * i))));
  }
}

}  // namespace

std::vector<std::int16_t> SynthesizeTones(const TonePair& tones, int sampleRate) {
  std::vector<std::int16_t> samples;
  AppendTone(samples, tones.frequency1, tones.milliseconds1, sampleRate);
  AppendTone(samples, tones.frequency2, tones.milliseconds2, sampleRate);
  return samples;
}

TonePlayer::TonePlayer(std::unique_ptr<SoundOutput> output) : output_(std::move(output)), worker_([this] { Run(); }) {}

TonePlayer::~TonePlayer() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void TonePlayer::Play(const TonePair& tones) {
  {
    const std::lock_guard lock(mutex_);
    waiting_ = tones;
  }
  wake_.notify_one();
}

void TonePlayer::Run() {
  for (;;) {
    TonePair tones{};
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || waiting_.has_value(); });
      if (stopping_) return;
      tones = *waiting_;
      waiting_.reset();
    }
    output_->Play(SynthesizeTones(tones, kToneSampleRate), kToneSampleRate);
  }
}

}  // namespace gelvar
