#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "soundset/patch_units.h"
#include "soundset/resampler.h"
#include "soundset/sf2_layers.h"
#include "soundset/sf2_patch.h"
#include "soundset/sf2_reader.h"
#include "soundset/soundfont_pack.h"
#include "support/sf2_builder.h"

namespace pocketmidi::soundset {
namespace {

using testsupport::Sf2Builder;
using testsupport::Sf2BuildZone;

TEST(Sf2Convert, VolumeEnvelopeBecomesSixStages) {
  // Slopes in offset units a second (one unit = 0.1422 dB, 675 units = the
  // 96 dB that decay and release times refer to). E.g. attack 0 tc = 1 s over
  // 255 units: 23.7 x 10.7666 -> range 3, mantissa 24 = 216; a 1 s hold sags
  // round(10.77) = 11 units at the slowest rate (193). Shortest times take
  // the fastest rates; a sustain of 144 dB is the floor.
  const struct {
    int32_t attack, hold, decay, sustain, release;
    std::array<uint8_t, 6> rates, offsets;
  } cases[] = {
      {-12000, -12000, -12000, 0, -12000, {47, 46, 63, 63, 63, 63}, {255, 255, 255, 0, 0, 0}},
      {0, 0, 1200, 200, -1200, {216, 193, 223, 144, 144, 144}, {255, 244, 114, 0, 0, 0}},
      {-2400, -1200, 2400, 1440, 0, {140, 193, 208, 255, 255, 255}, {255, 250, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    PatchDescription patch;
    ConvertVolumeEnvelope(c.attack, c.hold, c.decay, c.sustain, c.release, &patch);
    EXPECT_EQ(patch.envelopeRates, c.rates) << c.attack << " " << c.hold;
    EXPECT_EQ(patch.envelopeOffsets, c.offsets) << c.attack << " " << c.hold;
    EXPECT_TRUE(patch.envelope);
  }
}

// Balance b sounds at pan 8b + 4: SoundFont centre (63.5 of 127) is nearest
// to balance 7 (pan 60), a little right of it to 8. A negative attenuation
// does not amplify.
TEST(Sf2Convert, PanRoundingAndAttenuationFloor) {
  EXPECT_EQ(PanToBalance(0), 7);
  EXPECT_EQ(PanToBalance(4), 8);
  EXPECT_DOUBLE_EQ(AttenuationToLevel(-20), 1.0);
}

std::vector<int16_t> Sine(int count, double cyclesPerPoint, double amplitude) {
  constexpr double kPi = 3.14159265358979323846;  // M_PI is POSIX, not C++
  std::vector<int16_t> points(count);
  for (int i = 0; i < count; ++i) {
    points[i] =
        static_cast<int16_t>(std::lround(amplitude * std::sin(2 * kPi * cyclesPerPoint * i)));
  }
  return points;
}

SoundFont Read(const std::vector<uint8_t>& bytes) {
  SoundFont font;
  std::string error;
  EXPECT_TRUE(ReadSoundFont(bytes.data(), bytes.size(), &font, &error)) << error;
  return font;
}

PackResult Pack(const SoundFont& font, const PackOptions& options) {
  PackResult result;
  std::string error;
  EXPECT_TRUE(PackSoundFont(font, options, &result, &error)) << error;
  return result;
}

SoundFont TestBank() {
  Sf2Builder b;
  const int sine = b.AddSample("sine", Sine(200, 0.01, 20000), 50, 150, 22050, 60, 10);
  const int low = b.AddSample("low", Sine(100, 0.02, 8000), 0, 0, 22050, 48);
  const int kick = b.AddSample("kick", Sine(80, 0.05, 30000), 0, 0, 22050, 60);
  const int hat = b.AddSample("hat", Sine(120, 0.1, 5000), 20, 100, 44100, 60);
  const int lead = b.AddInstrument(
      "lead", {{{{kGenInitialAttenuation, 150}}, -1},
               {{{kGenKeyRange, Sf2Builder::Range(0, 59)}}, low},
               // A quieter layer over the same keys: the louder zone below wins.
               {{{kGenKeyRange, Sf2Builder::Range(60, 127)}, {kGenInitialAttenuation, 400}}, low},
               {{{kGenKeyRange, Sf2Builder::Range(60, 127)},
                 {kGenSampleModes, 1},
                 {kGenCoarseTune, 2},
                 {kGenFineTune, static_cast<uint16_t>(-50)},
                 {kGenPan, 250},
                 {kGenAttackVolEnv, 0},
                 {kGenHoldVolEnv, 0},
                 {kGenDecayVolEnv, 1200},
                 {kGenSustainVolEnv, 200},
                 {kGenReleaseVolEnv, static_cast<uint16_t>(-1200)}},
                sine}});
  const int bass = b.AddInstrument("bass", {{{{kGenKeyRange, Sf2Builder::Range(30, 50)}}, low}});
  const int kit = b.AddInstrument(
      "kit",
      {{{{kGenKeyRange, Sf2Builder::Range(36, 36)}, {kGenPan, static_cast<uint16_t>(-500)}}, kick},
       {{{kGenKeyRange, Sf2Builder::Range(42, 42)}, {kGenSampleModes, 1}, {kGenScaleTuning, 0}},
        hat}});
  // The preset's coarse tune adds to the instrument's: 2 - 1 semitones.
  b.AddPreset("Lead", 0, 0, {{{{kGenCoarseTune, static_cast<uint16_t>(-1)}}, lead}});
  b.AddPreset("Lead", 4, 0, {{{}, bass}});
  b.AddPreset("Standard", 0, 128, {{{}, kit}});
  return Read(b.Build());
}

// The set's level scales every patch's amp (program 0: 51.3 %, 6 dB down
// with a little from its quieter layer; program 4: 100 %), rounded, never to
// silence, and within the 800 % the list accepts.
TEST(Sf2Convert, ScalesPatchLevelsByTheSetLevel) {
  const int cases[][3] = {{50, 26, 50}, {1, 1, 1}, {1000, 513, 800}, {0, 0, 0}};
  const SoundFont font = TestBank();
  for (const auto& c : cases) {
    PackOptions options;
    options.levelPercent = c[0];
    const PackResult result = Pack(font, options);
    EXPECT_EQ(result.config.tones[0].amp, c[1]) << "level " << c[0];
    EXPECT_EQ(result.config.tones[4].amp, c[2]) << "level " << c[0];
  }
}

const PatchDescription* Find(const PackResult& result, const std::string& name) {
  for (const PatchDescription& p : result.patches) {
    if (p.name == name) return &p;
  }
  ADD_FAILURE() << "no patch " << name;
  static const PatchDescription none;
  return &none;
}

TEST(Sf2Convert, PacksProgramsFromMiddleCAndDrumsPerNote) {
  PackOptions options;
  options.namePrefix = "tt";
  options.maxRateHz = 22050;
  options.levelPercent = 100;  // the patches' own levels
  const PackResult result = Pack(TestBank(), options);
  // Drum notes only with a region of their own; borrowed programs share
  // their source's patch.
  EXPECT_EQ(std::tuple(result.programsFound, result.programsBorrowed, result.drumNotes),
            std::tuple(2, 126, 2));
  ASSERT_EQ(result.patches.size(), 4u);

  // Nearest program, the lower one on a tie (2 is as near to 0 as to 4).
  const char* expected[] = {"ttLead", "ttLead", "ttLead", "ttLead~2", "ttLead~2", "ttLead~2"};
  for (int program = 0; program < 6; ++program) {
    EXPECT_EQ(result.config.tones[program].name, expected[program]) << program;
  }
  EXPECT_EQ(result.config.tones[127].name, "ttLead~2");

  // Tuned up 100 - 50 + 10 (sample correction) = 60 cents: root note 59.4;
  // the point after the loop repeats its start for seamless interpolation.
  const PatchDescription& lead = *Find(result, "ttLead");
  EXPECT_EQ(std::tuple(lead.loopMode, lead.loopEnd, lead.points[150], lead.rootFreqMilliHz,
                       lead.balance),
            std::tuple(LoopMode::kForward, 150u, lead.points[50], 252714, 11));
  EXPECT_EQ(lead.envelopeOffsets, (std::array<uint8_t, 6>{255, 244, 114, 0, 0, 0}));

  // No zone covers middle C: the nearest one (keys 30..50) is taken, whole
  // (so strip_tail keeps it).
  const PatchDescription& bass = *Find(result, "ttLead~2");
  EXPECT_EQ(std::tuple(bass.loopMode, bass.loopEnd, bass.lowFreqMilliHz, bass.highFreqMilliHz),
            std::tuple(LoopMode::kOneShot, 100u, NoteFreqMilliHz(30), NoteFreqMilliHz(50)));

  // Played at key 36 with root key 60, the kick sounds two octaves down:
  // drum note 36 over root note 60.
  const DrumSlotConfig& kick = result.config.drums[36];
  EXPECT_EQ(std::tuple(kick.name, kick.pan, kick.stripLoop), std::tuple("ttd36_kick", "-100", 1));
  EXPECT_EQ(Find(result, "ttd36_kick")->rootFreqMilliHz, 261626);

  // Scale tuning 0: key 42 plays the sample unchanged. Halved from 44100 Hz
  // with the loop kept whole: 80 points -> 40.
  const DrumSlotConfig& hat = result.config.drums[42];
  EXPECT_EQ(std::tuple(hat.pan, hat.stripEnvelope), std::tuple("center", 0));
  const PatchDescription& h = *Find(result, "ttd42_hat");
  EXPECT_EQ(std::tuple(h.rootFreqMilliHz, h.sampleRate, h.points.size(), h.loopStart, h.loopEnd),
            std::tuple(NoteFreqMilliHz(42), 22050, 60u, 10u, 50u));
}

// A patch plays one sample: the main layer (looping before one-shot, then
// the loudest with its envelope) at the level of all the layers that sound
// the key together (the same sample played the same way adds in amplitude,
// anything else in power) and at their power-weighted pan.
TEST(Sf2Convert, LayersFoldIntoOnePatch) {
  struct Layer {
    // 0: looped sine, 1: one-shot sine of the same RMS, 2: the looped sine at
    // half, 3: that at half in a looping mode but with an empty loop
    int sample;
    uint16_t attenuation = 0, coarseTune = 0, pan = 0, sustain = 0;
  };
  const struct {
    const char* what;
    std::vector<Layer> layers;
    size_t main;
    double gain;
    int32_t pan;
  } cases[] = {
      {"doubled", {{0}, {0}}, 0, 2.0, 0},
      {"quieter one first", {{0, 150}, {0}}, 1, 1.501, 0},
      {"an octave apart", {{0}, {0, 0, 12}}, 0, std::sqrt(2.0), 0},
      {"three, two alike", {{0}, {1}, {0}}, 0, std::sqrt(5.0), 0},
      {"a louder one-shot over a loop", {{1}, {2}}, 1, std::sqrt(5.0), 0},
      {"an empty loop plays as a one-shot", {{1}, {3}}, 0, std::sqrt(1.25), 0},
      {"stereo pair", {{0, 0, 0, static_cast<uint16_t>(-500)}, {0, 0, 0, 500}}, 0, 2.0, 0},
      {"louder on the left", {{0, 0, 0, static_cast<uint16_t>(-500)}, {2, 0, 0, 500}}, 0,
       std::sqrt(1.25), -300},
      // 12 dB down after the 2 ms of attack and hold the defaults leave.
      {"sustaining 12 dB down", {{0, 0, 0, 0, 120}, {2}}, 1, 1.121, 0},
  };
  for (const auto& c : cases) {
    Sf2Builder b;
    const int samples[] = {b.AddSample("loop", Sine(100, 0.01, 16000), 0, 100),
                           b.AddSample("shot", Sine(100, 0.03, 16000), 0, 0),
                           b.AddSample("half", Sine(100, 0.01, 8000), 0, 100),
                           b.AddSample("empty", Sine(100, 0.01, 8000), 0, 0)};
    std::vector<Sf2BuildZone> zones;
    for (const Layer& l : c.layers) {
      zones.push_back({{{kGenInitialAttenuation, l.attenuation},
                        {kGenCoarseTune, l.coarseTune},
                        {kGenPan, l.pan},
                        {kGenSustainVolEnv, l.sustain},
                        {kGenSampleModes, static_cast<uint16_t>(l.sample == 1 ? 0 : 1)}},
                       samples[l.sample]});
    }
    b.AddPreset("Layered", 0, 0, {{{}, b.AddInstrument("layered", zones)}});
    const SoundFont font = Read(b.Build());

    std::vector<Sf2Region> layers;
    ASSERT_TRUE(FindLayers(font, font.presets[0], 60, 127, false, &layers)) << c.what;
    ASSERT_EQ(layers.size(), c.layers.size()) << c.what;
    const Sf2Region& main = MainLayer(font, layers);
    EXPECT_EQ(&main, &layers[c.main]) << c.what;
    EXPECT_NEAR(LayerGain(font, layers, main), c.gain, 2e-3) << c.what;
    EXPECT_EQ(LayerPan(font, layers), c.pan) << c.what;

    PackOptions options;
    options.levelPercent = 100;
    const PackResult result = Pack(font, options);
    const double mainLevel = AttenuationToLevel(main.gen[kGenInitialAttenuation]);
    EXPECT_EQ(result.config.tones[0].amp, std::lround(100 * mainLevel * c.gain)) << c.what;
  }
}

TEST(Sf2Convert, OptionsAndRefusals) {
  PackOptions options;
  options.eightBit = true;
  options.normalize = true;
  PackResult result = Pack(TestBank(), options);
  EXPECT_FALSE(result.config.tones[0].amp.has_value());
  EXPECT_FALSE(result.config.drums[36].amp.has_value());
  for (const PatchDescription& p : result.patches) {
    EXPECT_EQ(p.bitsPerPoint, 8);
    for (int16_t point : p.points) ASSERT_EQ(point % 256, 0) << p.name;
  }
  std::string error;
  options.namePrefix = "much_too_long";
  EXPECT_FALSE(PackSoundFont(TestBank(), options, &result, &error));
  options.namePrefix = "a/b";
  EXPECT_FALSE(PackSoundFont(TestBank(), options, &result, &error));
  EXPECT_FALSE(PackSoundFont(SoundFont(), PackOptions(), &result, &error));
  EXPECT_NE(error.find("no playable preset"), std::string::npos);
  EXPECT_EQ(PatchNameFromText("  Grand Piano (soft)!", 15), "Grand_Piano_sof");
}

TEST(Resampler, KeepsTheBandAndRemovesWhatWouldFold) {
  const std::vector<int16_t> low = ResampleDown(Sine(2000, 0.01, 10000), 0.5);
  ASSERT_EQ(low.size(), 1000u);
  const std::vector<int16_t> expected = Sine(1000, 0.02, 10000);
  for (int j = 100; j < 900; ++j) ASSERT_NEAR(low[j], expected[j], 30) << j;
  // 0.4 cycles a point is above the new limit of 0.25 and must not alias.
  const std::vector<int16_t> high = ResampleDown(Sine(2000, 0.4, 10000), 0.5);
  for (int j = 100; j < 900; ++j) ASSERT_LE(std::abs(high[j]), 50) << j;
}

}  // namespace
}  // namespace pocketmidi::soundset
