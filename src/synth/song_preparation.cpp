// Song preparation: the song's tick-timed event list becomes the engine's
// own array of events timed in output frames, which also fixes the voice
// count, marks the instruments the song needs and, under FREEATONCE, finds
// the last note-ending event of every program and drum note.
#include <cstdlib>

#include "instruments/instrument_bank.h"
#include "song/song_event.h"
#include "synth/engine_result.h"
#include "synth/slot_index.h"
#include "synth/synth_engine.h"
#include "voice/wide_math.h"

namespace pocketmidi {

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note
// Lead-in states: 2 before any note, 1 on the first NoteOn, 0 afterwards.
constexpr int kLeadInWaiting = 2;
constexpr int kLeadInFirstNote = 1;
// Voices beyond the song's peak of sounding notes, for releases and cuts.
constexpr int32_t kSpareVoices = 8;

// The timeline must stay below 2^31 frames: gaps between events are
// rendered as signed 32-bit counts.
constexpr uint64_t kFrameLimit = 0x80000000u;

// Frames per tick in 16.16 fixed point, rounded up by 1/65536:
// tempo * rate * 65536 / division / 1000000 with the truncating wide
// division, so 22050 Hz, division 96, tempo 500000 gives 7526393 rather
// than the exact 7526401.
void ComputeSamplesPerTick(SynthEngine& engine, uint32_t tempo, int32_t division) {
  // A division of 0 cannot time anything: every event then falls at the
  // song's first frame and the song has no length.
  if (division == 0) {
    engine.samplesPerTick = 0;
    engine.samplesPerTickFrac = 0;
    return;
  }
  WideValue p = WideMul(static_cast<int32_t>(tempo), static_cast<int32_t>(engine.sampleRate));
  p = WideShl(p, 16);
  p = WideDiv(p, division);
  p = WideDiv(p, 1000000);
  const uint32_t v = p.lo + 1;
  engine.samplesPerTickFrac = v & 65535u;
  engine.samplesPerTick = v >> 16;
}

void MarkNeeded(InstrumentSlot& slot) {
  if (slot.instrument == nullptr) slot.instrument = PendingInstrument();
}

// One walk over the song's events: what each event does to the working
// programs, the note counts and the lead-in, and the running frame time.
class TimelineBuilder {
 public:
  TimelineBuilder(SynthEngine& engine, int32_t division) : engine_(engine), division_(division) {
    for (int32_t& program : workingProgram_) program = engine.defaultProgram;
  }

  // Writes the kept events to out; false when the song is too long.
  bool Build(const SongEventList& list, SynthEvent* out) {
    const SongEvent* song = list.first;
    for (uint32_t n = 0; n < list.count && song != nullptr; ++n, song = song->next) {
      const bool keep = Classify(*song);
      if (!AdvanceTo(song->time)) return false;
      if (keep) {
        SynthEvent& event = out[written_++];
        event.time = runningTime_;
        event.channel = song->channel;
        event.type = song->type;
        event.dataByte1 = song->dataByte1;
        event.dataByte2 = song->dataByte2;
      }
    }
    return true;
  }

  uint32_t runningTime() const { return runningTime_; }
  int32_t peak() const { return peak_; }
  size_t written() const { return written_; }

 private:
  // The event's own effect during preparation; false when it is dropped.
  bool Classify(const SongEvent& song) {
    const int ch = song.channel;
    switch (song.type) {
      case kTempo:
        // Recomputed before the delta is timed: the gap leading up to a
        // tempo change is already measured at the new tempo.
        ComputeSamplesPerTick(engine_, TempoOf(song), division_);
        return false;
      case kNoteOn:
        CountNoteOn(song.dataByte2 != 0);
        MarkInstrument(ch, song.dataByte1);
        return true;
      case kNoteOff:
        if (sounding_ != 0) --sounding_;
        return true;
      case kProgramChange:
        return ch == kDrumChannel || ChangeProgram(ch, song.dataByte1);
      case kBankSelect:
        return false;
      default:
        return true;
    }
  }

  void CountNoteOn(bool sounds) {
    if (sounds) {
      ++sounding_;
      if (sounding_ > peak_) peak_ = sounding_;
    } else if (sounding_ != 0) {
      --sounding_;
    }
    if (leadIn_ != 0) leadIn_ = kLeadInFirstNote;
  }

  // The slot a note on ch will play gets the "needed" marker.
  void MarkInstrument(int ch, int32_t note) {
    if (ch == kDrumChannel) {
      MarkNeeded(engine_.drumSlots[SlotIndex(note)]);
    } else if (ch < kChannelCount && workingProgram_[ch] != -1) {
      MarkNeeded(engine_.toneSlots[SlotIndex(workingProgram_[ch])]);
    }
  }

  // A melodic program change is kept only when it changes the program.
  bool ChangeProgram(int ch, int32_t program) {
    if (ch >= kChannelCount || workingProgram_[ch] == -1 || workingProgram_[ch] == program) {
      return false;
    }
    workingProgram_[ch] = program;
    return true;
  }

  // Adds the frames from the previous event to this one. Nothing before
  // the first note takes time, nor the first note's own delta: the song
  // starts sounding at frame 0.
  bool AdvanceTo(uint32_t tick) {
    const uint32_t delta = tick - previousTick_;
    previousTick_ = tick;
    if (delta == 0 || leadIn_ != 0) {
      if (leadIn_ == kLeadInFirstNote) leadIn_ = 0;
      return true;
    }
    // 32-bit products, as the timeline has always been computed; the
    // exact sum below only guards the engine's frame range.
    uint32_t frames = engine_.samplesPerTick * delta;
    fraction_ += engine_.samplesPerTickFrac * delta;
    const uint32_t carried = fraction_ >> 16;
    if (fraction_ >= 65536) {
      frames += carried;
      fraction_ &= 65535u;
    }
    runningTime_ += frames;
    exactTime_ += static_cast<uint64_t>(engine_.samplesPerTick) * delta + carried;
    // Over 13 hours at 44100 Hz does not fit a 32-bit signed frame count.
    return exactTime_ < kFrameLimit;
  }

  SynthEngine& engine_;
  const int32_t division_;
  int32_t workingProgram_[kChannelCount];
  uint32_t previousTick_ = 0;
  uint32_t runningTime_ = 0;
  uint64_t exactTime_ = 0;  // the same sum without 32-bit wrap, for the limit
  uint32_t fraction_ = 0;   // 1/65536 frames not yet added
  int32_t sounding_ = 0;
  int32_t peak_ = 0;
  int leadIn_ = kLeadInWaiting;
  size_t written_ = 0;
};

}  // namespace

int32_t SynthEngine::PrepareSong(const SongEventList* list) {
  if (list == nullptr) return kEngineMissingInput;
  ComputeSamplesPerTick(*this, kDefaultTempo, list->division);
  const size_t capacity = static_cast<size_t>(list->count) + 1;
  SynthEvent* out = static_cast<SynthEvent*>(std::malloc(capacity * sizeof(SynthEvent)));
  if (out == nullptr) return kEngineLoadFailed;

  TimelineBuilder timeline(*this, list->division);
  if (!timeline.Build(*list, out)) {
    std::free(out);
    return kEngineMissingInput;  // too long: refused like unusable input
  }
  if (!SizeVoicePool(timeline.peak())) {
    std::free(out);
    return kEngineLoadFailed;
  }
  size_t written = timeline.written();
  SynthEvent& end = out[written++];
  end.time = timeline.runningTime();
  end.channel = 0;
  end.type = kEndOfSong;
  end.dataByte1 = 0;
  end.dataByte2 = 0;
  songSamples = timeline.runningTime();
  eventCount = static_cast<int32_t>(written);
  events = out;

  if (controlRatio == 0) {
    // One control tick per half millisecond, within 1..255 frames.
    int32_t ratio = static_cast<int32_t>(sampleRate / 2000);
    if (ratio < 1) ratio = 1;
    if (ratio > 255) ratio = 255;
    controlRatio = ratio;
  }
  if (freeAtOnce == 0) return kEngineOk;
  return FindLastNoteOffs() ? kEngineOk : kEngineLoadFailed;
}

// At most the song's peak of sounding notes plus spares; the array is
// made once per engine. False when it cannot be allocated.
bool SynthEngine::SizeVoicePool(int32_t peak) {
  if (voiceCount > peak + kSpareVoices) voiceCount = peak + kSpareVoices;
  if (voices != nullptr) return true;
  // Zeroed, so state is Free and every field a first note does not set
  // starts at 0.
  voices = static_cast<Voice*>(std::calloc(static_cast<size_t>(voiceCount), sizeof(Voice)));
  return voices != nullptr;
}

// Last note-ending event of every program and drum note, so the release
// list can unload each instrument after its last note. False when the
// tables cannot be allocated.
bool SynthEngine::FindLastNoteOffs() {
  if (lastProgramNoteOff == nullptr) {
    lastProgramNoteOff = static_cast<const SynthEvent**>(std::calloc(128, sizeof(SynthEvent*)));
  }
  if (lastDrumNoteOff == nullptr) {
    lastDrumNoteOff = static_cast<const SynthEvent**>(std::calloc(128, sizeof(SynthEvent*)));
  }
  if (lastProgramNoteOff == nullptr || lastDrumNoteOff == nullptr) return false;
  for (int i = 0; i < 128; ++i) {
    lastProgramNoteOff[i] = nullptr;
    lastDrumNoteOff[i] = nullptr;
  }
  int32_t workingProgram[kChannelCount];
  for (int32_t& program : workingProgram) program = defaultProgram;
  for (int32_t i = 0; i < eventCount; ++i) {
    const SynthEvent& event = events[i];
    const int ch = event.channel;
    if (ch >= kChannelCount) continue;
    if (event.type == kProgramChange) {
      if (ch != kDrumChannel && workingProgram[ch] != -1) workingProgram[ch] = event.dataByte1;
    } else if (event.type == kNoteOff || (event.type == kNoteOn && event.dataByte2 == 0)) {
      if (ch == kDrumChannel) {
        lastDrumNoteOff[SlotIndex(event.dataByte1)] = &event;
      } else {
        lastProgramNoteOff[SlotIndex(workingProgram[ch])] = &event;
      }
    }
  }
  return true;
}

}  // namespace pocketmidi
