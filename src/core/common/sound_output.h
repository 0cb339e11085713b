// Where the message tones go: the desktop's sound output, through the system's own sound interface
// (one file per system: sound_output_alsa.cpp on Linux).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace gelvar {

class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // 16-bit mono samples. Blocks until they have sounded (or failed to); never call it on a thread that
  // must keep running meanwhile.
  virtual void Play(const std::vector<std::int16_t>& samples, int sampleRate) = 0;
};

// The default sound device, opened for each Play; silent where there is none.
std::unique_ptr<SoundOutput> OpenSoundOutput();

}  // namespace gelvar
