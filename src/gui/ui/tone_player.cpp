#include "gui/ui/tone_player.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <numbers>

namespace gelvar {
namespace {

constexpr double kAmplitude = 0.3 * 32767.0;
constexpr int kFadeMs = 3;
constexpr unsigned kDeviceLatencyUs = 100000;
constexpr int kWaitStepMs = 50;
// However the device behaves, one pair never holds the player for longer than its own length and this.
constexpr std::chrono::milliseconds kDeviceGrace{1000};

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

// ALSA writes its complaints to stderr, for instance on a machine without a sound card; a missing
// sound device only means silence here.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

class AlsaOutput : public SoundOutput {
 public:
  void Play(const std::vector<std::int16_t>& samples, int sampleRate) override {
    snd_pcm_t* pcm = nullptr;
    // Non-blocking throughout: a busy or stalled device must not hold the player (and with it the
    // program's exit) for longer than the pair lasts.
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return;
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, static_cast<unsigned>(sampleRate),
                           1, kDeviceLatencyUs) == 0) {
      Write(pcm, samples, sampleRate);
    }
    snd_pcm_close(pcm);
  }

 private:
  static void Write(snd_pcm_t* pcm, const std::vector<std::int16_t>& samples, int sampleRate) {
    const auto length = std::chrono::milliseconds(static_cast<long long>(samples.size()) * 1000 / sampleRate);
    const auto deadline = std::chrono::steady_clock::now() + length + kDeviceGrace;
    std::size_t done = 0;
    while (done < samples.size() && std::chrono::steady_clock::now() < deadline) {
      const snd_pcm_sframes_t written = snd_pcm_writei(pcm, samples.data() + done, samples.size() - done);
      if (written == -EAGAIN) {
        snd_pcm_wait(pcm, kWaitStepMs);
      } else if (written < 0) {
        if (snd_pcm_recover(pcm, static_cast<int>(written), 1) < 0) return;
      } else {
        done += static_cast<std::size_t>(written);
      }
    }
    // Closing drops what the device still holds: let the last samples sound first.
    snd_pcm_sframes_t pending = 0;
    if (snd_pcm_delay(pcm, &pending) == 0 && pending > 0) {
      const auto rest = std::chrono::milliseconds(std::min<snd_pcm_sframes_t>(pending, sampleRate) * 1000 / sampleRate);
      std::this_thread::sleep_for(rest);
    }
  }
};

}  // namespace

std::vector<std::int16_t> SynthesizeTones(const TonePair& tones, int sampleRate) {
  std::vector<std::int16_t> samples;
  AppendTone(samples, tones.frequency1, tones.milliseconds1, sampleRate);
  AppendTone(samples, tones.frequency2, tones.milliseconds2, sampleRate);
  return samples;
}

std::unique_ptr<SoundOutput> MakeAlsaOutput() {
  snd_lib_error_set_handler(&IgnoreAlsaError);
  return std::make_unique<AlsaOutput>();
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
