// Engine construction and destruction, and song preparation: the song's
// tick-timed event list becomes the engine's own array of events timed in
// output frames, which also fixes the voice count and marks the instruments
// the song needs.
#include "synth/synth_engine.h"

#include <cstdlib>
#include <cstring>

#include "instruments/instrument_bank.h"
#include "platform/utf16_path.h"
#include "song/song_event.h"
#include "synth/slot_index.h"
#include "synth/song_duration.h"
#include "voice/wide_math.h"

namespace pocketmidi {

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note
// Lead-in states: 2 before any note, 1 on the first NoteOn, 0 afterwards.
constexpr int kLeadInWaiting = 2;
constexpr int kLeadInFirstNote = 1;

// The timeline must stay below 2^31 frames: gaps between events are
// rendered as signed 32-bit counts.
constexpr uint64_t kFrameLimit = 0x80000000u;

}  // namespace

// Frames per tick in 16.16 fixed point, rounded up by 1/65536:
// tempo * rate * 65536 / division / 1000000 with the truncating wide
// division, so 22050 Hz, division 96, tempo 500000 gives 7526393 rather
// than the exact 7526401.
static void ComputeSamplesPerTick(SynthEngine& engine, uint32_t tempo, int32_t division) {
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

SynthEngine::SynthEngine(const char16_t* directoryPath) {
  // The engine is a plain record: all-zero is its cleared state (null
  // pointers, empty names, free voices).
  std::memset(static_cast<void*>(this), 0, sizeof(*this));
  sampleRate = 11025;
  formatFlags = kFormat16Bit;  // stereo, 16-bit
  archiveHeader = 1;
  spMidiEnabled = 1;
  loadAll = 1;
  freeAtOnce = 0;
  voiceCount = 32;
  cacheHashHint = -1;
  defaultProgram = 0;
  for (int i = 0; i < kReleaseListSize; ++i) {
    releaseIsDrum[i] = 0;
    releaseSlot[i] = -1;
    releaseVoice[i] = -1;
  }
  // The decoder and player refuse directories that do not fit before an
  // engine is made; should a longer one arrive anyway it is cut to the
  // field, never copied past it.
  CopyUtf16(directory, kMaxPathUnits, directoryPath);
}

SynthEngine::~SynthEngine() {
  std::free(events);
  events = nullptr;
  nextEvent = nullptr;
  std::free(voices);
  voices = nullptr;
  ReleaseAllInstruments(*this);
  // Freed whenever they exist, not only under freeAtOnce, so nothing leaks
  // whatever the order of configuration and preparation was.
  std::free(lastProgramNoteOff);
  std::free(lastDrumNoteOff);
  lastProgramNoteOff = nullptr;
  lastDrumNoteOff = nullptr;
}

int32_t SynthEngine::SongDurationMs(const SongEventList* list) {
  return pocketmidi::SongDurationMs(list);
}

int32_t SynthEngine::PrepareSong(const SongEventList* list) {
  if (list == nullptr) return -3;

  int32_t workingProgram[kChannelCount];
  for (int32_t& program : workingProgram) program = defaultProgram;
  ComputeSamplesPerTick(*this, kDefaultTempo, list->division);

  const size_t capacity = static_cast<size_t>(list->count) + 1;
  SynthEvent* out = static_cast<SynthEvent*>(std::malloc(capacity * sizeof(SynthEvent)));
  if (out == nullptr) return -2;

  uint32_t previousTick = 0;
  uint32_t runningTime = 0;
  uint64_t exactTime = 0;  // the same sum without 32-bit wrap, for the limit
  uint32_t fraction = 0;
  int32_t sounding = 0;
  int32_t peak = 0;
  int leadIn = kLeadInWaiting;
  size_t written = 0;

  const SongEvent* song = list->first;
  for (uint32_t n = 0; n < list->count && song != nullptr; ++n, song = song->next) {
    const int ch = song->channel;
    const bool melodic = ch != kDrumChannel;
    bool keep = true;

    switch (song->type) {
      case kTempo:
        // Recomputed before the delta is timed: the gap leading up to a
        // tempo change is already measured at the new tempo.
        ComputeSamplesPerTick(*this, TempoOf(*song), list->division);
        keep = false;
        break;
      case kNoteOn:
        if (song->dataByte2 != 0) {
          ++sounding;
          if (sounding > peak) peak = sounding;
        } else if (sounding != 0) {
          --sounding;
        }
        if (leadIn != 0) leadIn = kLeadInFirstNote;
        if (!melodic) {
          InstrumentSlot& slot = drumSlots[SlotIndex(song->dataByte1)];
          if (slot.instrument == nullptr) slot.instrument = PendingInstrument();
        } else if (ch < kChannelCount && workingProgram[ch] != -1) {
          InstrumentSlot& slot = toneSlots[SlotIndex(workingProgram[ch])];
          if (slot.instrument == nullptr) slot.instrument = PendingInstrument();
        }
        break;
      case kNoteOff:
        if (sounding != 0) --sounding;
        break;
      case kProgramChange:
        if (melodic) {
          if (ch >= kChannelCount || workingProgram[ch] == -1 ||
              workingProgram[ch] == song->dataByte1) {
            keep = false;
          } else {
            workingProgram[ch] = song->dataByte1;
          }
        }
        break;
      case kBankSelect:
        keep = false;
        break;
      default:
        break;
    }

    // Nothing before the first note takes time, nor the first note's own
    // delta: the song starts sounding at frame 0.
    const uint32_t delta = song->time - previousTick;
    if (delta == 0 || leadIn != 0) {
      if (leadIn == kLeadInFirstNote) leadIn = 0;
    } else {
      // 32-bit products, as the timeline has always been computed; the
      // exact sum below only guards the engine's frame range.
      uint32_t frames = samplesPerTick * delta;
      fraction += samplesPerTickFrac * delta;
      const uint32_t carried = fraction >> 16;
      if (fraction >= 65536) {
        frames += carried;
        fraction &= 65535u;
      }
      runningTime += frames;
      exactTime += static_cast<uint64_t>(samplesPerTick) * delta + carried;
      if (exactTime >= kFrameLimit) {
        // Too long for a 32-bit signed frame count (over 13 hours at
        // 44100 Hz): refused like unusable input.
        std::free(out);
        return -3;
      }
    }

    if (keep) {
      SynthEvent& event = out[written++];
      event.time = runningTime;
      event.channel = song->channel;
      event.type = song->type;
      event.dataByte1 = song->dataByte1;
      event.dataByte2 = song->dataByte2;
    }
    previousTick = song->time;
  }

  if (voiceCount > peak + 8) voiceCount = peak + 8;
  if (voices == nullptr) {
    // Zeroed, so state is Free and every field a first note does not set
    // starts at 0.
    voices = static_cast<Voice*>(std::calloc(static_cast<size_t>(voiceCount), sizeof(Voice)));
    if (voices == nullptr) {
      std::free(out);
      return -2;
    }
  }

  SynthEvent& end = out[written++];
  end.time = runningTime;
  end.channel = 0;
  end.type = kEndOfSong;
  end.dataByte1 = 0;
  end.dataByte2 = 0;
  songSamples = runningTime;
  eventCount = static_cast<int32_t>(written);
  events = out;

  if (controlRatio == 0) {
    int32_t ratio = static_cast<int32_t>(sampleRate / 2000);
    if (ratio < 1) ratio = 1;
    if (ratio > 255) ratio = 255;
    controlRatio = ratio;
  }

  if (freeAtOnce == 0) return 0;

  // Last note-ending event of every program and drum note, so the release
  // list can unload each instrument after its last note.
  if (lastProgramNoteOff == nullptr) {
    lastProgramNoteOff = static_cast<const SynthEvent**>(std::calloc(128, sizeof(SynthEvent*)));
  }
  if (lastDrumNoteOff == nullptr) {
    lastDrumNoteOff = static_cast<const SynthEvent**>(std::calloc(128, sizeof(SynthEvent*)));
  }
  if (lastProgramNoteOff == nullptr || lastDrumNoteOff == nullptr) return -2;
  for (int i = 0; i < 128; ++i) {
    lastProgramNoteOff[i] = nullptr;
    lastDrumNoteOff[i] = nullptr;
  }
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
  return 0;
}

}  // namespace pocketmidi
