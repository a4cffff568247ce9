// An engine over a patch archive written to a temporary file, for the
// loader and bank tests.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "instruments/instrument.h"
#include "instruments/instrument_bank.h"
#include "instruments/patch_loader.h"
#include "soundset/patch_archive_writer.h"
#include "support/temp_directory.h"
#include "synth/synth_engine.h"

namespace pocketmidi::test::patches {

namespace ss = pocketmidi::soundset;

// A one-shot 16-bit patch of the given points at 22050 Hz.
inline ss::PatchDescription TonePatch(const std::string& name, std::vector<int16_t> points) {
  ss::PatchDescription patch;
  patch.name = name;
  patch.points = std::move(points);
  return patch;
}

inline std::vector<int16_t> Ramp(size_t count, int step = 100) {
  std::vector<int16_t> points(count);
  for (size_t i = 0; i < count; ++i) points[i] = static_cast<int16_t>((i * step) % 30000);
  return points;
}

// Points of a loaded sample, without its guard points.
inline std::vector<int16_t> Points(const PatchSample& sample) {
  return std::vector<int16_t>(sample.data, sample.data + (sample.dataLength >> 12));
}

class ArchiveEngine {
 public:
  explicit ArchiveEngine(const std::vector<uint8_t>& archive, uint32_t sampleRate = 22050) {
    const std::string path = directory_.File("patches.pat");
    ss::WriteBytesToFile(path, archive);
    const std::u16string path16(path.begin(), path.end());
    engine_ = std::make_unique<SynthEngine>(path16.c_str());
    engine_->sampleRate = sampleRate;
    engine_->controlRatio = static_cast<int32_t>(sampleRate / 2000);
    engine_->voices = static_cast<Voice*>(std::calloc(engine_->voiceCount, sizeof(Voice)));
  }
  ArchiveEngine(const std::vector<ss::PatchDescription>& patches, bool compressed)
      : ArchiveEngine(ss::BuildArchive(patches, compressed)) {}

  SynthEngine& engine() { return *engine_; }

  // Opens the archive and its index for loading at first note.
  int32_t OpenForFirstNotes() {
    engine_->loadAll = 0;
    return LoadInstruments(*engine_);
  }

  // Loads one patch by name into a fresh melodic slot, as LoadPatch does
  // with the given slot settings.
  const PatchSample* Load(const std::string& name, int32_t pan = -1, int32_t amp = -1,
                          int32_t note = -1, int32_t stripLoop = -1, int32_t stripEnvelope = 0,
                          int32_t stripTail = -1) {
    if (engine_->patchArchive == nullptr && OpenForFirstNotes() != 0) return nullptr;
    InstrumentSlot& slot = engine_->toneSlots[next_++ % 128];
    std::snprintf(slot.name, sizeof(slot.name), "%s", name.c_str());
    slot.instrument =
        LoadPatch(*engine_, slot, pan, amp, note, stripLoop, stripEnvelope, stripTail);
    return slot.instrument != nullptr ? &slot.instrument->samples[0] : nullptr;
  }

  // Marks a slot as needed by the song, with every setting left automatic.
  void Configure(bool drum, int index, const std::string& name) {
    InstrumentSlot& slot = drum ? engine_->drumSlots[index] : engine_->toneSlots[index];
    std::snprintf(slot.name, sizeof(slot.name), "%s", name.c_str());
    slot.note = slot.amp = slot.pan = -1;
    slot.stripLoop = slot.stripEnvelope = slot.stripTail = -1;
    slot.instrument = PendingInstrument();
  }

 private:
  TempDirectory directory_;
  std::unique_ptr<SynthEngine> engine_;
  int next_ = 0;
};

}  // namespace pocketmidi::test::patches
