#include "instruments/patch_loader.h"

#include <cstdlib>
#include <cstring>

#include "instruments/instrument.h"
#include "instruments/instrument_bank.h"
#include "instruments/patch_archive_format.h"
#include "instruments/patch_conversions.h"
#include "instruments/patch_name.h"
#include "instruments/patch_sample_data.h"
#include "io/file_stream.h"
#include "synth/synth_engine.h"
#include "voice/anti_alias.h"

namespace pocketmidi {

namespace {

// Reads the header at the archive's position. A short read of the first 47
// bytes fails; the last four bytes are skipped whether or not they are there.
bool ReadPatchHeader(FileStream* archive, PatchHeader& header) {
  uint8_t bytes[kPatchHeaderBytes] = {};
  if (FileRead(archive, bytes, kPatchCheckedHeaderBytes) !=
      static_cast<int32_t>(kPatchCheckedHeaderBytes)) {
    return false;
  }
  FileRead(archive, bytes + kPatchCheckedHeaderBytes, kPatchHeaderBytes - kPatchCheckedHeaderBytes);
  header = DecodePatchHeader(bytes);
  return true;
}

// The loop, envelope and sustain flags after the per-slot strip options.
uint8_t AdjustModes(const PatchHeader& header, int32_t stripLoop, int32_t stripEnvelope) {
  constexpr uint8_t kLoopFlags = kModeLooping | kModePingPong | kModeReverse;
  uint8_t modes = header.modes;
  if (modes & kModeLooping) modes |= kModeSustain;
  if (stripLoop == 1 && (modes & (kLoopFlags | kModeSustain))) {
    modes &= static_cast<uint8_t>(~(kLoopFlags | kModeSustain));
  }
  if (stripEnvelope == 1) {
    modes &= static_cast<uint8_t>(~kModeEnvelope);
  } else if (stripEnvelope != 0) {
    // Automatic: a one-shot sample has nothing to sustain; a looping one
    // keeps its envelope only if it looks like a real one.
    if (!(modes & kLoopFlags)) {
      modes &= static_cast<uint8_t>(~(kModeSustain | kModeEnvelope));
    } else {
      bool placeholderRates = true;  // rates "??????"
      for (uint8_t rate : header.envelopeRates) placeholderRates &= (rate == 0x3F);
      if (placeholderRates || header.envelopeOffsets[5] >= 100 || !(modes & kModeSustain)) {
        modes &= static_cast<uint8_t>(~kModeEnvelope);
      }
    }
  }
  return modes;
}

void ConvertHeader(const SynthEngine& engine, const PatchHeader& header, int32_t pan,
                   int32_t note, PatchSample& sample) {
  const uint32_t rate = engine.sampleRate;
  const int32_t ratio = engine.controlRatio;
  sample.sampleRate = header.sampleRate;
  sample.lowFreq = header.lowFreq;
  sample.highFreq = header.highFreq;
  sample.rootFreq = header.rootFreq;
  sample.pan = static_cast<uint8_t>(
      (pan == -1 ? static_cast<uint32_t>(header.balance * 8 + 4) : static_cast<uint32_t>(pan)) & 127);
  if (header.tremoloRate != 0 && header.tremoloDepth != 0) {
    sample.tremSweepStep = ConvertTremoloSweep(header.tremoloSweep, rate, ratio);
    sample.tremPhaseStep = ConvertTremoloRate(header.tremoloRate, rate, ratio);
    sample.tremDepth = header.tremoloDepth;
  }
  if (header.vibratoRate != 0 && header.vibratoDepth != 0) {
    sample.vibControlRatio = ConvertVibratoRate(header.vibratoRate, rate);
    sample.vibSweepStep = ConvertVibratoSweep(header.vibratoSweep, sample.vibControlRatio, rate);
    sample.vibDepth = header.vibratoDepth;
  }
  // The configuration only gives notes 0..127; anything else is kept in
  // range so the frequency table lookup stays inside the table.
  sample.fixedNote = static_cast<int8_t>(note == -1 ? 0 : (note & 127));
  for (int i = 0; i < 6; ++i) {
    sample.envRate[i] = ConvertEnvelopeRate(header.envelopeRates[i], rate, ratio);
    sample.envOffset[i] = ConvertEnvelopeOffset(header.envelopeOffsets[i]);
  }
}

}  // namespace

// Names are compared over at most 16 bytes, so an index entry whose name
// lacks its terminator compares as a 16-character name instead of running
// on into the next entry. A name longer than 15 characters cannot be in the
// index and is not found; so is an entry whose header lies beyond the reach
// of a seek.
uint32_t FindPatch(SynthEngine& engine, const char* name) {
  if (!PatchNameFits(name) || engine.patchIndex == nullptr) return 0;
  int32_t lower = 0;
  int32_t upper = engine.patchIndexCount - 1;
  while (upper >= lower) {
    const int32_t probe = lower + (upper - lower) / 2;
    const PatchIndexEntry& entry = engine.patchIndex[probe];
    const int order = std::strncmp(entry.name, name, sizeof(entry.name));
    if (order == 0) {
      const uint64_t headerOffset = static_cast<uint64_t>(entry.offset) + kPatchLeadBytes;
      if (headerOffset > 0x7FFFFFFFu) return 0;
      if (FileSeek(engine.patchArchive, kFromStart, static_cast<int32_t>(headerOffset)) != 0) return 0;
      return entry.size;
    }
    if (order < 0) {
      lower = probe + 1;
    } else {
      upper = probe - 1;
    }
  }
  return 0;
}

Instrument* LoadPatch(SynthEngine& engine, InstrumentSlot& slot, int32_t pan, int32_t amp,
                      int32_t note, int32_t stripLoop, int32_t stripEnvelope, int32_t stripTail) {
  const uint32_t entrySize = FindPatch(engine, slot.name);
  if (entrySize == 0) return nullptr;
  PatchHeader header;
  if (!ReadPatchHeader(engine.patchArchive, header)) return nullptr;

  auto* instrument = static_cast<Instrument*>(std::calloc(1, sizeof(Instrument)));
  auto* sample = static_cast<PatchSample*>(std::calloc(1, sizeof(PatchSample)));
  if (instrument == nullptr || sample == nullptr) {
    std::free(instrument);
    std::free(sample);
    return nullptr;
  }
  instrument->sampleCount = 1;
  instrument->samples = sample;
  ConvertHeader(engine, header, pan, note, *sample);
  sample->modes = AdjustModes(header, stripLoop, stripEnvelope);

  // Data: read, widened to 16 bits, sign and direction fixed, filtered.
  const bool compressed = engine.archiveHeader != 0;
  const bool sixteenBit = (sample->modes & kMode16Bit) != 0;
  // An entry smaller than its own header wraps to a huge byte count: the
  // stream is then read until the data are full or the file ends, never
  // further than the data.
  const uint32_t compressedBytes = entrySize - kPatchHeaderBytes;
  SampleData data;
  if (!ReadSampleData(engine.patchArchive, compressed, sixteenBit, header.dataSize, compressedBytes,
                      data)) {
    FreeInstrument(instrument);
    return nullptr;
  }
  sample->data = data.points;
  const int64_t widening = sixteenBit ? 1 : 2;
  BytePositions bytes{static_cast<int64_t>(header.loopStart) * widening,
                      static_cast<int64_t>(header.loopEnd) * widening, data.byteLength};
  if (sample->modes & kModeUnsigned) FlipUnsignedPoints(data.points, data.pointCount);
  if (sample->modes & kModeReverse) {
    ReversePoints(data.points, data.pointCount);
    const int64_t oldStart = bytes.loopStart;
    bytes.loopStart = bytes.dataLength - bytes.loopEnd;
    bytes.loopEnd = bytes.dataLength - oldStart;
    sample->modes = static_cast<uint8_t>((sample->modes & ~kModeReverse) | kModeLooping);
  }
  sample->dataLength = static_cast<int32_t>(data.byteLength);  // bytes, as the filter expects
  AntiAliasSample(engine, *sample, engine.sampleRate);
  FillGuardPoints(data.points, data.pointCount);

  sample->volume = amp == -1 ? NormalisedVolume(data.points, data.pointCount) : VolumeFromAmp(amp);
  SetSamplePositions(*sample, bytes, data.pointCount, header.fractions, stripTail == 1);

  CacheInstrument(engine, instrument, slot.name);
  return instrument;
}

}  // namespace pocketmidi
