// Engine construction and destruction.
#include "synth/synth_engine.h"

#include <cstdlib>
#include <cstring>

#include "instruments/instrument_bank.h"
#include "platform/utf16_path.h"
#include "synth/song_duration.h"
#include "voice/kernel_set.h"

namespace pocketmidi {

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
  // The kernels are chosen once per engine; the variable lets tests and bug
  // reports force one instruction set (the bytes are the same on all).
  kernels = &ChooseKernelSet(std::getenv("POCKETMIDI_KERNELS"));
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

}  // namespace pocketmidi
