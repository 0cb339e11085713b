// Two tones played one after the other: the sound of a message line.
#pragma once

namespace gelvar {

struct TonePair {
  int frequency1;
  int milliseconds1;
  int frequency2;
  int milliseconds2;
};

}  // namespace gelvar
