// Voices that wait. Mixing a voice's stretch of a block in one call or in
// several adds the same values while nothing in the voice depends on where
// a call ends: positions, loops, vibrato and control ticks carry on where a
// call stopped. So a voice is mixed up to the engine's frame only when
// something needs it: an event that reads or changes it, and the end of the
// block. Where a call's end does matter, the calls are the ones the engine
// made at every event (MixFrames): see MixedAtEveryEvent and VoiceCallEnd.
// The reference kernel set lets no voice wait, so comparing it with the
// others checks the waiting too.
#include <cstdint>

#include "instruments/instrument.h"
#include "synth/synth_engine.h"
#include "voice/envelope.h"
#include "voice/kernel_set.h"
#include "voice/mix_kernels.h"
#include "voice/resamplers.h"
#include "voice/voice.h"

namespace pocketmidi {

namespace {

// Voices mixed at every call of MixFrames, since there the end of a call
// decides something:
// - a ping-pong loop tests for a turn where each call ends;
// - a dying voice is ramped out over the first call after its cut;
// - a loop too short for the voice's step plays as one-shot until a vibrato
//   step makes it playable, tested as each call begins.
bool MixedAtEveryEvent(const Voice& voice) {
  if (voice.state == kVoiceDying) return true;
  const PatchSample* sample = voice.sample;
  if (sample == nullptr) return false;
  if ((sample->modes & kModePingPong) != 0) return true;
  return (sample->modes & kModeLooping) != 0 &&
         !LoopIsPlayable(sample->loopStart, sample->loopEnd, voice.step);
}

}  // namespace

void SynthEngine::MixVoicesThatCannotWait() {
  if (voices == nullptr || voicesMixedAtEveryEvent == 0) return;
  for (int32_t v = 0; v < voiceCount; ++v) {
    if (voices[v].mixEveryEvent != 0 && voices[v].state != kVoiceFree) MixVoiceUpTo(v, mixFrames);
  }
}

// Whether a voice waits changes when it starts a note, is cut or retuned,
// and with a vibrato step while it is mixed.
void SynthEngine::UpdateVoiceWait(Voice& voice) {
  const uint8_t now =
      voice.state != kVoiceFree && (kernels->literalTicks || MixedAtEveryEvent(voice)) ? 1 : 0;
  voicesMixedAtEveryEvent += now - voice.mixEveryEvent;
  voice.mixEveryEvent = now;
}

void SynthEngine::MixWaitingVoices(int channel) {
  if (voices == nullptr) return;
  for (int32_t v = 0; v < voiceCount; ++v) {
    Voice& voice = voices[v];
    if (channel != kChannelCount && voice.channel != channel) continue;
    if (voice.state == kVoiceFree) {
      voice.mixedFrames = static_cast<int16_t>(mixFrames);
    } else {
      MixVoiceUpTo(v, mixFrames);
    }
  }
}

// The note-on's search reads: the voices of its channel (the note restruck
// there is cut); which voices are free (the lowest one takes the note), so
// every voice that may have ended while it waited; and, when none is free,
// the loudness of the held and releasing voices, so then every voice. A
// free voice starts its note from the engine's frame.
void SynthEngine::MixVoicesForNoteOn(int channel) {
  if (voices == nullptr) return;
  bool anyFree = false;
  for (int32_t v = 0; v < voiceCount; ++v) {
    Voice& voice = voices[v];
    if (voice.state != kVoiceFree && (voice.channel == channel || MayHaveEnded(voice))) {
      MixVoiceUpTo(v, mixFrames);
    }
    if (voice.state == kVoiceFree) {
      voice.mixedFrames = static_cast<int16_t>(mixFrames);
      anyFree = true;
    }
  }
  if (!anyFree) MixWaitingVoices(kChannelCount);
}

// A waiting voice ends only with its sample (when it does not loop) or its
// envelope, whose end is known ahead.
bool SynthEngine::MayHaveEnded(const Voice& voice) const {
  const int32_t from = voice.mixedFrames;
  if (from >= mixFrames) return false;
  const PatchSample* sample = voice.sample;
  if (sample == nullptr || sample->data == nullptr || sample->sampleRate == 0 ||
      !PlaysLooped(voice, *sample)) {
    return true;
  }
  bool ends = false;
  return EnvelopeRestFrame(voice, from, mixFrames, &ends) < mixFrames && ends;
}

void SynthEngine::MixVoiceUpTo(int32_t v, int32_t frames) {
  Voice& voice = voices[v];
  int32_t from = voice.mixedFrames;
  voice.mixedFrames = static_cast<int16_t>(frames);
  while (from < frames && voice.state != kVoiceFree) {
    const int32_t end = VoiceCallEnd(voice, from, frames);
    MixVoice(*this, mixBuffer + ((formatFlags & kFormatMono) != 0 ? from : 2 * from), v, end - from);
    from = end;
  }
  UpdateVoiceWait(voice);
}

// The block frame of the control tick at which the voice's envelope comes
// to rest (see TicksUntilEnvelopeRests), counting its ticks from `from`;
// `to` or more when that is not before `to`. *ends: the envelope ends there
// rather than holding.
int64_t SynthEngine::EnvelopeRestFrame(const Voice& voice, int32_t from, int32_t to,
                                       bool* ends) const {
  if (voice.envStep == 0) return to;
  const int64_t ratio = controlRatio > 0 ? controlRatio : 1;
  const int64_t first = from + (voice.controlCounter > 0 ? voice.controlCounter : 0);
  // Mostly the current stage alone outlasts the stretch.
  if (first + (TicksToTarget(voice.envLevel, voice.envTarget, voice.envStep) - 1) * ratio >= to) {
    return to;
  }
  return first + (TicksUntilEnvelopeRests(*this, voice, ends) - 1) * ratio;
}

// Where a waiting voice's next call from `from` ends: at `to`, unless its
// envelope comes to rest before. The call of that tick is then the one the
// voice had at every event (starting and ending where MixFrames's calls
// did): a call whose envelope reaches the sustain level ticks on to its end
// and the tick counter then rests until the release; an envelope that ends
// frees the voice with the counter it had when the call began, which a
// later note on the voice starts from. Up to that call the voice waits as
// before; after it there is nothing left to move.
int32_t SynthEngine::VoiceCallEnd(const Voice& voice, int32_t from, int32_t to) const {
  const int64_t at = EnvelopeRestFrame(voice, from, to, nullptr);
  if (at >= to) return to;
  int32_t call = callCount - 1;  // the call of MixFrames holding that tick
  while (call > 0 && callStarts[call] > at) --call;
  if (callStarts[call] > from) return callStarts[call];
  return call + 1 < callCount && callStarts[call + 1] < to ? callStarts[call + 1] : to;
}

void SynthEngine::FreeAllVoices() {
  if (voices == nullptr) return;
  for (int32_t v = 0; v < voiceCount; ++v) {
    voices[v].state = kVoiceFree;
    voices[v].mixEveryEvent = 0;
  }
  voicesMixedAtEveryEvent = 0;
}

void SynthEngine::StartBlock() {
  mixCursor = mixBuffer;
  mixFrames = 0;
  callCount = 0;
  if (voices == nullptr) return;
  for (int32_t v = 0; v < voiceCount; ++v) voices[v].mixedFrames = 0;
}

}  // namespace pocketmidi
