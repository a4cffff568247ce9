#include "soundset/sf2_layers.h"

#include <algorithm>
#include <cmath>

namespace pocketmidi::soundset {

namespace {

// RMS of the volume envelope over the first second of a note, the length
// of a typical note: attack rising in amplitude, hold at full level, decay
// falling in decibels to the sustain level (96 dB in the decay time).
double EnvelopeRms(const Sf2Region& r) {
  constexpr double kStep = 0.001;
  const double delay = TimecentsToSeconds(std::clamp(r.gen[kGenDelayVolEnv], -12000, 5000));
  const double attack = TimecentsToSeconds(std::clamp(r.gen[kGenAttackVolEnv], -12000, 8000));
  const double hold = TimecentsToSeconds(std::clamp(r.gen[kGenHoldVolEnv], -12000, 5000));
  const double decay = TimecentsToSeconds(std::clamp(r.gen[kGenDecayVolEnv], -12000, 8000));
  const double sustainDb = std::clamp(r.gen[kGenSustainVolEnv], 0, 1440) / 10.0;
  double power = 0.0;
  int steps = 0;
  for (double t = kStep / 2; t < 1.0; t += kStep, ++steps) {
    double amplitude = 0.0;
    double s = t - delay;
    if (s >= 0 && s < attack) {
      amplitude = s / attack;
    } else if (s >= attack) {
      s -= attack + hold;
      amplitude = s < 0 ? 1.0 : std::pow(10.0, -std::min(sustainDb, 96.0 * s / decay) / 20.0);
    }
    power += amplitude * amplitude;
  }
  return std::sqrt(power / steps);
}

// The level a note of the layer sounds at, all else equal.
double Loudness(const SoundFont& font, const Sf2Region& r) {
  return AttenuationToLevel(r.gen[kGenInitialAttenuation]) * RegionRms(font, r) * EnvelopeRms(r);
}

// The same sample played the same way (only level and pan may differ): the
// waves line up and amplitudes add.
bool Coherent(const Sf2Region& a, const Sf2Region& b) {
  for (uint16_t g = 0; g < kGenCount; ++g) {
    if (g != kGenPan && g != kGenInitialAttenuation && a.gen[g] != b.gen[g]) return false;
  }
  return a.sampleIndex == b.sampleIndex;
}

}  // namespace

const Sf2Region& MainLayer(const SoundFont& font, const std::vector<Sf2Region>& layers) {
  const Sf2Region* main = &layers.front();
  double mainLoudness = Loudness(font, *main);
  bool mainLoops = RegionLoops(font, *main);
  for (const Sf2Region& r : layers) {
    const double loudness = Loudness(font, r);
    const bool loops = RegionLoops(font, r);
    const bool better = loops != mainLoops ? loops : loudness > mainLoudness;
    if (better) main = &r, mainLoudness = loudness, mainLoops = loops;
  }
  return *main;
}

double LayerGain(const SoundFont& font, const std::vector<Sf2Region>& layers,
                 const Sf2Region& played) {
  const double alone = Loudness(font, played);
  if (!(alone > 0.0)) return 1.0;  // a silent sample stays as it is
  double power = 0.0;
  std::vector<bool> counted(layers.size(), false);
  for (size_t i = 0; i < layers.size(); ++i) {
    if (counted[i]) continue;
    double amplitude = 0.0;
    for (size_t j = i; j < layers.size(); ++j) {
      if (counted[j] || !Coherent(layers[i], layers[j])) continue;
      counted[j] = true;
      amplitude += AttenuationToLevel(layers[j].gen[kGenInitialAttenuation]);
    }
    const double level = amplitude * RegionRms(font, layers[i]) * EnvelopeRms(layers[i]);
    power += level * level;
  }
  return std::sqrt(power) / alone;
}

int32_t LayerPan(const SoundFont& font, const std::vector<Sf2Region>& layers) {
  double weighted = 0.0, power = 0.0;
  for (const Sf2Region& r : layers) {
    const double p = std::pow(Loudness(font, r), 2);
    weighted += p * std::clamp(r.gen[kGenPan], -500, 500);
    power += p;
  }
  return power > 0.0 ? static_cast<int32_t>(std::lround(weighted / power)) : 0;
}

ConvertedRegion ConvertLayers(const SoundFont& font, const std::vector<Sf2Region>& layers, int key,
                              const RegionOptions& options) {
  const Sf2Region& main = MainLayer(font, layers);
  ConvertedRegion out = ConvertRegion(font, main, key, options);
  out.level *= LayerGain(font, layers, main);
  out.pan = LayerPan(font, layers);
  out.patch.balance = PanToBalance(out.pan);
  return out;
}

}  // namespace pocketmidi::soundset
