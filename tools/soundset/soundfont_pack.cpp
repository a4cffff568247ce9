#include "soundset/soundfont_pack.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <optional>
#include <set>

#include "soundset/patch_archive_writer.h"
#include "soundset/sf2_layers.h"
#include "soundset/sf2_regions.h"

namespace pocketmidi::soundset {

namespace {

constexpr int kMiddleC = 60;
constexpr int kFullVelocity = 127;
constexpr uint16_t kDrumBank = 128;
constexpr size_t kMaxPrefix = 10;

// Collects patches, handing out unique names and reusing one patch for
// every slot that converts to exactly the same bytes.
class PatchPool {
 public:
  PatchPool(const PackOptions& options, std::vector<PatchDescription>* patches)
      : options_(options), patches_(patches) {}

  std::string Add(PatchDescription patch, const std::string& wantedName) {
    // Raw encoding is cheap and tells descriptions apart as well as ADPCM would.
    const EncodedPatch encoded = EncodePatch(patch, false);
    std::string key(encoded.header.begin(), encoded.header.end());
    key.append(encoded.data.begin(), encoded.data.end());
    auto known = byContent_.find(key);
    if (known != byContent_.end()) return known->second;
    patch.name = UniqueName(wantedName);
    byContent_.emplace(std::move(key), patch.name);
    patches_->push_back(std::move(patch));
    return patches_->back().name;
  }

 private:
  std::string UniqueName(const std::string& wanted) {
    const size_t room = kIndexNameBytes - 1 - options_.namePrefix.size();
    std::string base = PatchNameFromText(wanted, room);
    if (base.empty()) base = "patch";
    std::string name = options_.namePrefix + base;
    for (int n = 2; used_.count(name); ++n) {
      const std::string suffix = "~" + std::to_string(n);
      name = options_.namePrefix + base.substr(0, room - suffix.size()) + suffix;
    }
    used_.insert(name);
    return name;
  }

  const PackOptions& options_;
  std::vector<PatchDescription>* patches_;
  std::map<std::string, std::string> byContent_;
  std::set<std::string> used_;
};

const Sf2Preset* FindPreset(const SoundFont& font, uint16_t bank, uint16_t program) {
  for (const Sf2Preset& p : font.presets) {
    if (p.bank == bank && p.program == program) return &p;
  }
  return nullptr;
}

// The standard kit, or failing that the lowest-numbered kit of the drum bank.
const Sf2Preset* FindDrumKit(const SoundFont& font) {
  const Sf2Preset* kit = nullptr;
  for (const Sf2Preset& p : font.presets) {
    if (p.bank == kDrumBank && (!kit || p.program < kit->program)) kit = &p;
  }
  return kit;
}

std::string DrumPan(int pan) {
  // drumset_pan p gives pan ((p + 100) * 100) / 157: the SoundFont's
  // -500..500 maps onto -100..100, with "center" for the exact middle (64).
  if (pan == 0) return "center";
  return std::to_string(static_cast<int>(std::lround(pan / 5.0)));
}

// The amp written for a patch: its own level times the set's, rounded, in
// the 0..800 the patch list accepts. A quiet patch never rounds to silence
// (only a level of 0 silences the set).
int ScaledAmp(double level, const PackOptions& options) {
  if (!(level > 0.0) || options.levelPercent <= 0) return 0;
  return static_cast<int>(std::clamp(std::lround(level * options.levelPercent), 1L, 800L));
}

}  // namespace

std::string PatchNameFromText(const std::string& text, size_t maxLength) {
  std::string name;
  for (unsigned char c : text) {
    const bool keep = std::isalnum(c) || c == '-' || c == '.' || c == '_';
    if (keep) {
      name += static_cast<char>(c);
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  if (name.size() > maxLength) name.resize(maxLength);
  return name;
}

bool PackSoundFont(const SoundFont& font, const PackOptions& options, PackResult* out,
                   std::string* error) {
  *out = PackResult();
  bool prefixOk = options.namePrefix.size() <= kMaxPrefix;
  for (unsigned char c : options.namePrefix) {
    prefixOk = prefixOk && (std::isalnum(c) || c == '-' || c == '.' || c == '_');
  }
  if (!prefixOk) {
    *error = "name prefix must be at most 10 letters, digits, '-', '.' or '_'";
    return false;
  }
  SoundSetConfig& config = out->config;
  config.rate = options.rate;
  config.bits = options.bits;
  config.channels = options.channels;
  config.polyphony = options.polyphony;
  PatchPool pool(options, &out->patches);
  RegionOptions regionOptions;
  regionOptions.maxRateHz = options.maxRateHz;
  regionOptions.eightBit = options.eightBit;

  // Melodic programs: the layers that play middle C at full velocity.
  std::vector<Sf2Region> layers[128];
  const Sf2Preset* presets[128] = {};
  for (int program = 0; program < 128; ++program) {
    const Sf2Preset* preset = FindPreset(font, 0, static_cast<uint16_t>(program));
    if (preset && FindLayers(font, *preset, kMiddleC, kFullVelocity, true, &layers[program])) {
      presets[program] = preset;
      ++out->programsFound;
    }
  }
  if (out->programsFound == 0) {
    *error = "the bank has no playable preset in bank 0";
    return false;
  }
  std::optional<ConvertedRegion> converted[128];  // each source converted once
  std::string names[128];
  for (int program = 0; program < 128; ++program) {
    int source = program;
    // Nearest present program; on a tie the lower one.
    for (int d = 1; layers[source].empty(); ++d) {
      if (program - d >= 0 && !layers[program - d].empty())
        source = program - d;
      else if (program + d < 128 && !layers[program + d].empty())
        source = program + d;
    }
    if (source != program) {
      ++out->programsBorrowed;
      out->notes.push_back("program " + std::to_string(program) + " has no preset; using " +
                           std::to_string(source) + " (" + presets[source]->name + ")");
    }
    if (!converted[source]) {
      converted[source] = ConvertLayers(font, layers[source], kMiddleC, regionOptions);
      names[source] = pool.Add(converted[source]->patch, presets[source]->name);
    }
    ToneSlotConfig& slot = config.tones[program];
    slot.name = names[source];
    if (!options.normalize) slot.amp = ScaledAmp(converted[source]->level, options);
  }

  // Drum kit: every note with a region of its own.
  const Sf2Preset* kit = FindDrumKit(font);
  if (!kit) {
    out->notes.push_back("the bank has no drum kit (bank 128); drum notes stay silent");
    return true;
  }
  if (kit->program != 0) {
    out->notes.push_back("no standard drum kit; using '" + kit->name + "'");
  }
  std::vector<Sf2Region> noteLayers;
  for (int note = 0; note < 128; ++note) {
    if (!FindLayers(font, *kit, note, kFullVelocity, false, &noteLayers)) continue;
    const ConvertedRegion converted = ConvertLayers(font, noteLayers, note, regionOptions);
    const std::string& sampleName = font.samples[MainLayer(font, noteLayers).sampleIndex].name;
    DrumSlotConfig& slot = config.drums[note];
    slot.name = pool.Add(converted.patch, "d" + std::to_string(note) + "_" + sampleName);
    if (!options.normalize) slot.amp = ScaledAmp(converted.level, options);
    slot.note = note;
    slot.pan = DrumPan(converted.pan);
    // One-shot drums play their whole sample whatever the note length;
    // looping ones (rolls, sustained cymbals) keep loop and envelope so the
    // note-off releases them.
    slot.stripLoop = converted.looping ? 0 : 1;
    slot.stripEnvelope = converted.looping ? 0 : 1;
    ++out->drumNotes;
  }
  return true;
}

}  // namespace pocketmidi::soundset
