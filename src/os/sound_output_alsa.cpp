// The sound output on Linux: ALSA's default device.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "core/common/sound_output.h"

namespace gelvar {
namespace {

constexpr unsigned kDeviceLatencyUs = 100000;
constexpr int kWaitStepMs = 50;
// However the device behaves, one pair never holds the player for longer than its own length and this.
constexpr std::chrono::milliseconds kDeviceGrace{1000};

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

std::unique_ptr<SoundOutput> OpenSoundOutput() {
  snd_lib_error_set_handler(&IgnoreAlsaError);
  return std::make_unique<AlsaOutput>();
}

}  // namespace gelvar
