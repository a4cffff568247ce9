// Folding the layers that sound one key into one patch. SoundFont banks
// often play several zones at once (a stereo pair, an organ's stops, a
// piano's hammer noise); a patch plays one sample, so it takes the main
// layer's sample at the level and pan of all the layers together.
#pragma once

#include <cstdint>
#include <vector>

#include "soundset/sf2_patch.h"
#include "soundset/sf2_regions.h"
#include "soundset/sf2_types.h"

namespace pocketmidi::soundset {

// The layer that carries the sound: a looping one before one-shots (a held
// note needs the loop), then the loudest by attenuation and sample RMS, the
// first of equals. layers must not be empty.
const Sf2Region& MainLayer(const SoundFont& font, const std::vector<Sf2Region>& layers);

// How much louder the layers sound together than `played` (one of them)
// alone. Layers playing the same sample at the same pitch add in amplitude,
// others in power; each counts with its attenuation and its sample's RMS.
double LayerGain(const SoundFont& font, const std::vector<Sf2Region>& layers,
                 const Sf2Region& played);

// The layers' pan, -500..500, weighted by their power: a left and right pair
// of equal level sits in the middle.
int32_t LayerPan(const SoundFont& font, const std::vector<Sf2Region>& layers);

// The main layer converted for key, at the layers' level and pan.
ConvertedRegion ConvertLayers(const SoundFont& font, const std::vector<Sf2Region>& layers, int key,
                              const RegionOptions& options);

}  // namespace pocketmidi::soundset
