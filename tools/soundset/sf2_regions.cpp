#include "soundset/sf2_regions.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace pocketmidi::soundset {

namespace {

// Generators a preset zone may not change: sample addressing, fixed key and
// velocity, loop mode, exclusive class and root key belong to the instrument.
bool InstrumentOnly(uint16_t g) {
  switch (g) {
    case kGenStartAddrsOffset:
    case kGenEndAddrsOffset:
    case kGenStartloopAddrsOffset:
    case kGenEndloopAddrsOffset:
    case kGenStartAddrsCoarseOffset:
    case kGenEndAddrsCoarseOffset:
    case kGenStartloopAddrsCoarseOffset:
    case kGenKeynum:
    case kGenVelocity:
    case kGenEndloopAddrsCoarseOffset:
    case kGenSampleModes:
    case kGenExclusiveClass:
    case kGenOverridingRootKey:
    case kGenInstrument:
    case kGenSampleId:
    case kGenKeyRange:
    case kGenVelRange:
      return true;
    default:
      return false;
  }
}

struct Range {
  int low = 0, high = 127;
};

// A range from the local zone, else the global zone, else 0..127.
Range ZoneRange(const Sf2ZoneList& list, const Sf2Zone& zone, uint16_t g) {
  const Sf2Zone* from = zone.Has(g)                              ? &zone
                        : (list.hasGlobal && list.global.Has(g)) ? &list.global
                                                                 : nullptr;
  if (!from) return {};
  return {from->RangeLow(g), from->RangeHigh(g)};
}

Range Intersect(Range a, Range b) { return {std::max(a.low, b.low), std::min(a.high, b.high)}; }

int Distance(Range r, int value) {
  if (r.low > r.high) return 1 << 20;  // empty: never chosen
  if (value < r.low) return r.low - value;
  if (value > r.high) return value - r.high;
  return 0;
}

int32_t Value(const Sf2Zone& zone, uint16_t g) {
  return g == kGenKeyRange || g == kGenVelRange ? zone.amount[g] : zone.Signed(g);
}

}  // namespace

int32_t Sf2DefaultValue(uint16_t g) {
  switch (g) {
    case kGenInitialFilterFc:
      return 13500;
    case kGenDelayModLfo:
    case kGenDelayVibLfo:
    case kGenDelayModEnv:
    case kGenAttackModEnv:
    case kGenHoldModEnv:
    case kGenDecayModEnv:
    case kGenReleaseModEnv:
    case kGenDelayVolEnv:
    case kGenAttackVolEnv:
    case kGenHoldVolEnv:
    case kGenDecayVolEnv:
    case kGenReleaseVolEnv:
      return -12000;
    case kGenKeynum:
    case kGenVelocity:
    case kGenOverridingRootKey:
      return -1;
    case kGenScaleTuning:
      return 100;
    case kGenKeyRange:
    case kGenVelRange:
      return 127 << 8;
    default:
      return 0;
  }
}

bool Sf2SampleUsable(const Sf2Sample& sample) {
  // 0x8000: the points are in a ROM we do not have; 0x10: compressed data.
  return !(sample.sampleType & 0x8010) && sample.end > sample.start + 1 && sample.sampleRate > 0;
}

namespace {

Sf2Region Combine(const Sf2Preset& preset, const Sf2Zone& presetZone,
                  const Sf2Instrument& instrument, const Sf2Zone& instrumentZone, Range keys,
                  Range vels) {
  Sf2Region region;
  region.sampleIndex = instrumentZone.amount[kGenSampleId];
  region.keyLow = keys.low, region.keyHigh = keys.high;
  region.velLow = vels.low, region.velHigh = vels.high;
  const Sf2ZoneList& il = instrument.zones;
  const Sf2ZoneList& pl = preset.zones;
  for (uint16_t g = 0; g < kGenCount; ++g) {
    int32_t v = instrumentZone.Has(g)              ? Value(instrumentZone, g)
                : il.hasGlobal && il.global.Has(g) ? Value(il.global, g)
                                                   : Sf2DefaultValue(g);
    if (!InstrumentOnly(g)) {
      if (presetZone.Has(g)) {
        v += Value(presetZone, g);
      } else if (pl.hasGlobal && pl.global.Has(g)) {
        v += Value(pl.global, g);
      }
    }
    region.gen[g] = v;
  }
  return region;
}

}  // namespace

bool FindLayers(const SoundFont& font, const Sf2Preset& preset, int key, int velocity,
                bool nearest, std::vector<Sf2Region>* layers) {
  layers->clear();
  int bestDistance = -1;
  for (const Sf2Zone& pz : preset.zones.zones) {
    const Sf2Instrument& instrument = font.instruments[pz.amount[kGenInstrument]];
    const Range pKeys = ZoneRange(preset.zones, pz, kGenKeyRange);
    const Range pVels = ZoneRange(preset.zones, pz, kGenVelRange);
    for (const Sf2Zone& iz : instrument.zones.zones) {
      if (!Sf2SampleUsable(font.samples[iz.amount[kGenSampleId]])) continue;
      const Range keys = Intersect(pKeys, ZoneRange(instrument.zones, iz, kGenKeyRange));
      const Range vels = Intersect(pVels, ZoneRange(instrument.zones, iz, kGenVelRange));
      const int distance = Distance(keys, key) * 256 + Distance(vels, velocity);
      if (distance >= (1 << 20) || (bestDistance >= 0 && distance > bestDistance)) continue;
      if (distance < bestDistance) layers->clear();
      bestDistance = distance;
      layers->push_back(Combine(preset, pz, instrument, iz, keys, vels));
    }
  }
  if (bestDistance > 0 && !nearest) layers->clear();
  return !layers->empty();
}

}  // namespace pocketmidi::soundset
