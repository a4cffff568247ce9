#include "soundset/sf2_patch.h"

#include <algorithm>
#include <cmath>

#include "soundset/patch_units.h"
#include "soundset/resampler.h"

namespace pocketmidi::soundset {

namespace {

// SoundFont decay and release times are for a fall of 96 dB.
constexpr double kEnvelopeSpanDb = 96.0;
constexpr uint32_t kArchiveMaxRateHz = 65535;

int32_t Clamp(int32_t value, int32_t low, int32_t high) { return std::clamp(value, low, high); }

struct SampleSpan {
  int64_t start, end, loopStart, loopEnd;
};

// The sample's points after the zone's address offsets, kept inside the pool.
SampleSpan Span(const SoundFont& font, const Sf2Sample& sample, const Sf2Region& region) {
  const auto& g = region.gen;
  SampleSpan span{
      sample.start + g[kGenStartAddrsOffset] + 32768LL * g[kGenStartAddrsCoarseOffset],
      sample.end + g[kGenEndAddrsOffset] + 32768LL * g[kGenEndAddrsCoarseOffset],
      sample.loopStart + g[kGenStartloopAddrsOffset] + 32768LL * g[kGenStartloopAddrsCoarseOffset],
      sample.loopEnd + g[kGenEndloopAddrsOffset] + 32768LL * g[kGenEndloopAddrsCoarseOffset]};
  const int64_t pool = static_cast<int64_t>(font.points.size());
  span.start = std::clamp<int64_t>(span.start, 0, pool);
  span.end = std::clamp<int64_t>(span.end, span.start, pool);
  if (span.end - span.start < 2) {  // offsets that leave nothing: use the sample as stored
    span.start = sample.start;
    span.end = sample.end;
  }
  return span;
}

// Whether the zone plays its loop: a looping mode and a loop of at least two
// points inside the span.
bool Loops(const SampleSpan& span, int32_t sampleModes) {
  const int mode = sampleModes & 3;
  return (mode == 1 || mode == 3) && span.loopStart >= span.start && span.loopEnd <= span.end &&
         span.loopEnd - span.loopStart >= 2;
}

// The points, loop and rate of the patch: the zone's part of the sample,
// reduced in rate and depth as the options ask.
void FillSample(const SoundFont& font, const Sf2Region& region, const RegionOptions& options,
                ConvertedRegion* converted) {
  const Sf2Sample& sample = font.samples[region.sampleIndex];
  const auto& g = region.gen;
  ConvertedRegion& out = *converted;
  PatchDescription& patch = out.patch;

  const SampleSpan span = Span(font, sample, region);
  std::vector<int16_t> points(font.points.begin() + span.start, font.points.begin() + span.end);
  out.looping = Loops(span, g[kGenSampleModes]);
  uint32_t loopStart = out.looping ? static_cast<uint32_t>(span.loopStart - span.start) : 0;
  uint32_t loopEnd = out.looping ? static_cast<uint32_t>(span.loopEnd - span.start) : 0;

  uint32_t rate = sample.sampleRate;
  uint32_t maxRate = kArchiveMaxRateHz;
  if (options.maxRateHz > 0) maxRate = std::min(maxRate, options.maxRateHz);
  if (rate > maxRate) {
    // Choose the ratio so that the loop keeps a whole number of points and
    // its pitch stays exact (the rate absorbs the rounding).
    double ratio = static_cast<double>(maxRate) / rate;
    if (out.looping) {
      const uint32_t loopLength = loopEnd - loopStart;
      const uint32_t newLength = std::max<uint32_t>(2, std::lround(loopLength * ratio));
      ratio = static_cast<double>(newLength) / loopLength;
      loopStart = static_cast<uint32_t>(std::lround(loopStart * ratio));
      loopEnd = loopStart + newLength;
    }
    points = ResampleDown(points, ratio);
    rate = std::min<uint32_t>(maxRate, std::lround(rate * ratio));
    if (loopEnd > points.size()) {
      const uint32_t shift = loopEnd - static_cast<uint32_t>(points.size());
      loopStart -= std::min(loopStart, shift);
      loopEnd -= shift;
    }
  }
  if (options.eightBit) {
    for (int16_t& p : points) {
      p = static_cast<int16_t>(std::clamp(std::lround(p / 256.0) * 256, -32768L, 32512L));
    }
    patch.bitsPerPoint = 8;
  }
  if (out.looping) {
    // Interpolating in the loop's last interval reads the point at the loop
    // end: make it the loop start's point so the seam is smooth.
    if (loopEnd < points.size()) {
      points[loopEnd] = points[loopStart];
    } else {
      points.push_back(points[loopStart]);
    }
  }
  patch.points = std::move(points);
  patch.sampleRate = static_cast<uint16_t>(rate);
  patch.loopMode = out.looping ? LoopMode::kForward : LoopMode::kOneShot;
  // A one-shot patch gets the whole sample as its "loop", so that a
  // configured strip_tail (which cuts the data at the loop end) keeps it all.
  patch.loopStart = out.looping ? loopStart : 0;
  patch.loopEnd = out.looping ? loopEnd : static_cast<uint32_t>(patch.points.size());
}

}  // namespace

bool RegionLoops(const SoundFont& font, const Sf2Region& region) {
  return Loops(Span(font, font.samples[region.sampleIndex], region), region.gen[kGenSampleModes]);
}

double RegionRms(const SoundFont& font, const Sf2Region& region) {
  const SampleSpan span = Span(font, font.samples[region.sampleIndex], region);
  const bool loops = Loops(span, region.gen[kGenSampleModes]);
  const int64_t from = loops ? span.loopStart : span.start;
  const int64_t to = loops ? span.loopEnd : span.end;
  double sum = 0.0;
  for (int64_t i = from; i < to; ++i) sum += static_cast<double>(font.points[i]) * font.points[i];
  return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

double TimecentsToSeconds(int32_t timecents) { return std::pow(2.0, timecents / 1200.0); }

void ConvertVolumeEnvelope(int32_t attackTc, int32_t holdTc, int32_t decayTc, int32_t sustainCb,
                           int32_t releaseTc, PatchDescription* patch) {
  const double offsetsPerSpan = kEnvelopeSpanDb / kEnvelopeDecibelsPerOffset;
  const double attack = TimecentsToSeconds(Clamp(attackTc, -12000, 8000));
  const double hold = TimecentsToSeconds(Clamp(holdTc, -12000, 5000));
  const double decay = TimecentsToSeconds(Clamp(decayTc, -12000, 8000));
  const double release = TimecentsToSeconds(Clamp(releaseTc, -12000, 8000));
  const uint8_t sustain = EnvelopeOffsetForDecibels(Clamp(sustainCb, 0, 1440) / 10.0);
  // Stage 0: attack from the floor to full level.
  patch->envelopeOffsets[0] = 255;
  patch->envelopeRates[0] = EnvelopeRateByte(255.0 / attack);
  // Stage 1: hold, as a slow sag: offsets 255 and 254 give the same gain,
  // and even the slowest rate (10.8 units a second) needs a longer way for a
  // long hold, so the sag deepens with the hold time, to at most 16 units
  // (2.3 dB; holds beyond 1.5 s end early). A stage aiming at the level it
  // starts from is skipped, which is what a hold of no length needs.
  const bool holds = hold > 0.002;
  const double sag = std::clamp(std::round(EnvelopeRateSlope(0xC1) * hold), 1.0, 16.0);
  patch->envelopeOffsets[1] = static_cast<uint8_t>(holds ? 255 - sag : 255);
  patch->envelopeRates[1] = EnvelopeRateByte(holds ? sag / hold : 255000.0);
  // Stage 2: decay to the sustain level. SoundFont decay and release times
  // are for a 96 dB fall; the slope is kept whatever the distance.
  patch->envelopeOffsets[2] = sustain;
  patch->envelopeRates[2] = EnvelopeRateByte(offsetsPerSpan / decay);
  // Stage 3: release to the floor; stages 4 and 5 start there and are skipped.
  patch->envelopeRates[3] = EnvelopeRateByte(offsetsPerSpan / release);
  patch->envelopeOffsets[3] = patch->envelopeOffsets[4] = patch->envelopeOffsets[5] = 0;
  patch->envelopeRates[4] = patch->envelopeRates[5] = patch->envelopeRates[3];
  patch->envelope = true;
}

int8_t PanToBalance(int32_t pan) {
  // The loader turns balance b into pan 8b + 4 of 0..127.
  const double pan127 = (Clamp(pan, -500, 500) + 500) * 127.0 / 1000.0;
  return static_cast<int8_t>(std::clamp(std::lround((pan127 - 4.0) / 8.0), 0L, 15L));
}

double AttenuationToLevel(int32_t centibels) {
  // Banks are voiced on players that apply 0.4 of the nominal attenuation
  // (the EMU hardware convention that FluidSynth follows too); doing the
  // same keeps instruments balanced as their authors heard them.
  const double decibels = Clamp(centibels, 0, 1440) * 0.4 / 10.0;
  return std::pow(10.0, -decibels / 20.0);
}

double RootNote(int key, int rootKey, int32_t scaleTuning, double tuneCents) {
  const double semitonesAboveRoot = (key - rootKey) * scaleTuning / 100.0 + tuneCents / 100.0;
  return key - semitonesAboveRoot;
}

ConvertedRegion ConvertRegion(const SoundFont& font, const Sf2Region& region, int key,
                              const RegionOptions& options) {
  const Sf2Sample& sample = font.samples[region.sampleIndex];
  const auto& g = region.gen;
  ConvertedRegion out;
  PatchDescription& patch = out.patch;
  FillSample(font, region, options, &out);

  const int rootKey = g[kGenOverridingRootKey] >= 0 && g[kGenOverridingRootKey] <= 127
                          ? g[kGenOverridingRootKey]
                          : (sample.originalPitch <= 127 ? sample.originalPitch : 60);
  const double tune = g[kGenCoarseTune] * 100.0 + g[kGenFineTune] + sample.pitchCorrection;
  const double root = std::clamp(RootNote(key, rootKey, g[kGenScaleTuning], tune), -60.0, 180.0);
  patch.rootFreqMilliHz = NoteFreqMilliHz(root);
  patch.lowFreqMilliHz = NoteFreqMilliHz(region.keyLow);
  patch.highFreqMilliHz = NoteFreqMilliHz(region.keyHigh);

  const int keyOffset = 60 - key;
  ConvertVolumeEnvelope(g[kGenAttackVolEnv],
                        g[kGenHoldVolEnv] + g[kGenKeynumToVolEnvHold] * keyOffset,
                        g[kGenDecayVolEnv] + g[kGenKeynumToVolEnvDecay] * keyOffset,
                        g[kGenSustainVolEnv], g[kGenReleaseVolEnv], &patch);
  out.pan = Clamp(g[kGenPan], -500, 500);
  patch.balance = PanToBalance(out.pan);
  out.level = AttenuationToLevel(g[kGenInitialAttenuation]);

  if (g[kGenVibLfoToPitch] != 0) {
    patch.vibratoDepth = VibratoDepthByte(Clamp(g[kGenVibLfoToPitch], -12000, 12000));
    patch.vibratoRate =
        LfoRateByte(8.176 * std::pow(2.0, Clamp(g[kGenFreqVibLfo], -16000, 4500) / 1200.0));
    patch.vibratoSweep = LfoSweepByte(TimecentsToSeconds(Clamp(g[kGenDelayVibLfo], -12000, 5000)));
  }
  if (g[kGenModLfoToVolume] != 0) {
    patch.tremoloDepth = TremoloDepthByte(2.0 * Clamp(g[kGenModLfoToVolume], -960, 960) / 10.0);
    patch.tremoloRate =
        LfoRateByte(8.176 * std::pow(2.0, Clamp(g[kGenFreqModLfo], -16000, 4500) / 1200.0));
    patch.tremoloSweep = LfoSweepByte(TimecentsToSeconds(Clamp(g[kGenDelayModLfo], -12000, 5000)));
  }
  return out;
}

}  // namespace pocketmidi::soundset
