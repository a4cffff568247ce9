// Channel and voice reset, and positioning the engine at any frame of the
// song: the state-changing events before that frame are replayed without
// sounding anything.
#include <cstdint>

#include "song/song_event.h"
#include "synth/channel_controls.h"
#include "synth/synth_engine.h"

namespace pocketmidi {

void SynthEngine::ResetChannels() {
  for (int ch = 0; ch < kChannelCount; ++ch) {
    ResetControllers(ch);
    channels[ch].program = defaultProgram;
    channels[ch].pan = -1;
    channels[ch].bendRange = 2;
  }
  FreeAllVoices();
  for (int i = 0; i < kReleaseListSize; ++i) {
    releaseIsDrum[i] = 0;
    releaseSlot[i] = -1;
    releaseVoice[i] = -1;
  }
}

void SynthEngine::Seek(uint32_t frame) {
  ResetChannels();
  currentSample = frame;
  StartBlock();
  nextEvent = events;
  pendingBytes = 0;  // converted output not yet delivered is discarded
  if (frame != 0 && events != nullptr) SkipTo(frame);
}

void SynthEngine::SkipTo(uint32_t frame) {
  FreeAllVoices();
  // Replays only what changes channel state; no voice is touched, so notes,
  // key pressure, sound off and notes off pass without effect.
  while (nextEvent->time < frame) {
    const SynthEvent& event = *nextEvent;
    if (event.type == kEndOfSong) {
      // Past the end: stay on EndOfSong at the song's last frame.
      currentSample = event.time;
      return;
    }
    if (event.channel < kChannelCount) {
      ApplyChannelEvent(channels[event.channel], event.channel, event);
    }
    ++nextEvent;
  }
  // The last event before the target (a note included) is dispatched again
  // when rendering resumes, at the target frame.
  if (nextEvent != events) --nextEvent;
  currentSample = frame;
}

}  // namespace pocketmidi
