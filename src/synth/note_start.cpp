// Starting notes: voice allocation with stealing by SP-MIDI rank and
// loudness, instrument loading at first note, sample choice and the voice's
// initial state.
//
// Every search over the voice pool runs from the highest index down.
#include <cstdint>

#include "instruments/instrument.h"
#include "instruments/instrument_bank.h"
#include "synth/engine_result.h"
#include "synth/slot_index.h"
#include "synth/synth_engine.h"
#include "voice/envelope.h"
#include "voice/pitch.h"
#include "voice/voice_tables.h"

namespace pocketmidi {

namespace {

// Without the song's ranks every channel counts as the default rank 16.
constexpr int32_t kDefaultRank = 16;

}  // namespace

void SynthEngine::NoteOn(const SynthEvent& event) {
  const int ch = event.channel;
  const int32_t note = event.dataByte1;

  // Pass 1: the lowest-numbered free voice, and the same note restruck on
  // this channel is cut (the new note never takes the voice being cut).
  Voice* candidate = nullptr;
  for (int32_t i = voiceCount - 1; i >= 0; --i) {
    Voice& voice = voices[i];
    if (voice.state == kVoiceFree) {
      candidate = &voice;
    } else if (voice.channel == ch && voice.note == note) {
      CutVoice(voice);
    }
  }
  if (candidate != nullptr) {
    StartNote(event, *candidate);
    return;
  }

  // Pass 2: steal a held or releasing voice. Both conditions are applied
  // together at each step, so a candidate must be at least as highly ranked
  // and strictly quieter than the one before it; rank -1 never qualifies.
  int32_t bestRank = 0;
  int32_t lowestLoudness = 2147483647;
  for (int32_t i = voiceCount - 1; i >= 0; --i) {
    Voice& voice = voices[i];
    if (voice.state == kVoicePlaying || voice.state == kVoiceDying) continue;
    int32_t loudness = voice.mixLeft;
    if (voice.panMode == kPanSpread && voice.mixRight > loudness) loudness = voice.mixRight;
    // A voice's channel always comes from an event below 16.
    const int32_t rank = channelRanks != nullptr ? channelRanks[voice.channel & 15] : kDefaultRank;
    if (rank >= bestRank && loudness < lowestLoudness) {
      candidate = &voice;
      bestRank = rank;
      lowestLoudness = loudness;
    }
  }
  if (candidate == nullptr) return;  // every voice playing or dying: dropped
  candidate->state = kVoiceFree;
  StartNote(event, *candidate);
}

void SynthEngine::StartNote(const SynthEvent& event, Voice& voice) {
  const int ch = event.channel;
  const int32_t note = event.dataByte1;
  const bool drum = ch == kDrumChannel;
  const int32_t slotIndex = SlotIndex(drum ? note : channels[ch].program);
  InstrumentSlot& slot = drum ? drumSlots[slotIndex] : toneSlots[slotIndex];

  if (slot.instrument == nullptr) return;
  if (loadAll == 0 && IsPendingInstrument(slot.instrument)) {
    if (LoadSlots(*this, drum, slotIndex) != kEngineOk) return;
  }
  const Instrument* instrument = slot.instrument;
  // Still marked (instruments never loaded) or empty: nothing to play, and
  // the marker must never be dereferenced.
  if (instrument == nullptr || IsPendingInstrument(instrument)) return;
  if (instrument->sampleCount < 1 || instrument->samples == nullptr) return;

  const int32_t fixedNote = instrument->samples[0].fixedNote;
  voice.baseFreq = NoteFreqTable[SlotIndex(fixedNote != 0 ? fixedNote : note)];
  const PatchSample* sample = drum ? &instrument->samples[0] : SelectSample(voice, *instrument);
  voice.sample = sample;

  // Exactly these fields are set; the rest (tremGain, and controlCounter of
  // a sample without envelope) carry over from the voice's previous note.
  voice.state = kVoicePlaying;
  voice.channel = static_cast<uint8_t>(ch);
  voice.note = static_cast<uint8_t>(note);
  voice.velocity = event.dataByte2;
  voice.position = 0;
  voice.step = 0;
  voice.tremPhase = 0;
  voice.tremPhaseStep = sample->tremPhaseStep;
  voice.tremSweepStep = sample->tremSweepStep;
  voice.tremSweepPos = 0;
  voice.vibSweepStep = sample->vibSweepStep;
  voice.vibSweepPos = 0;
  voice.vibTicksPerStep = static_cast<int16_t>(sample->vibControlRatio);
  voice.vibPhase = 0;
  voice.vibTickCounter = 0;
  for (int32_t& cached : voice.vibStepCache) cached = 0;
  voice.vibBase.sign = 0;
  voice.pan = static_cast<int16_t>(channels[ch].pan != -1 ? channels[ch].pan : sample->pan);

  RecomputeStep(*this, static_cast<int32_t>(&voice - voices));
  ComputeVoiceAmp(*this, voice);
  if ((sample->modes & kModeEnvelope) != 0) {
    voice.envStage = 0;
    voice.envLevel = 0;
    voice.controlCounter = 0;
    NextEnvelopeStage(*this, voice);
  } else {
    voice.envStep = 0;
  }
  ApplyGains(*this, voice);
  UpdateVoiceWait(voice);
}

const PatchSample* SynthEngine::SelectSample(const Voice& voice,
                                             const Instrument& instrument) const {
  const PatchSample* samples = instrument.samples;
  if (instrument.sampleCount == 1) return &samples[0];
  const int32_t freq = voice.baseFreq;
  for (int32_t i = 0; i < instrument.sampleCount; ++i) {
    if (samples[i].lowFreq <= freq && freq <= samples[i].highFreq) return &samples[i];
  }
  // Nearest root frequency; the first of equally near ones. 64-bit so that
  // a patch's arbitrary root cannot overflow the difference.
  const PatchSample* nearest = &samples[0];
  int64_t nearestDistance = INT64_MAX;
  for (int32_t i = 0; i < instrument.sampleCount; ++i) {
    int64_t distance = static_cast<int64_t>(samples[i].rootFreq) - freq;
    if (distance < 0) distance = -distance;
    if (distance < nearestDistance) {
      nearest = &samples[i];
      nearestDistance = distance;
    }
  }
  return nearest;
}

}  // namespace pocketmidi
