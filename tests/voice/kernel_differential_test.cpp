// Every kernel set against the scalar reference, byte for byte: seeded random
// voices (every loop mode, steps from tiny to past 2.0 and backwards,
// ping-pong turns, vibrato, tremolo with and without sweep, envelopes in every
// stage, every pan mode and output format, gains past the 16-bit multiplies)
// mixed in random blocks of 1..1024 frames, with ticks falling on block
// edges, then converted to PCM. Runs on whatever sets the machine has (under
// qemu for ARM too).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <vector>

#include "voice/fixed_point.h"
#include "voice/kernel_set.h"
#include "voice/mix_kernels.h"
#include "voice/tremolo_ticks.h"
#include "voice_test_engine.h"

namespace pocketmidi {
namespace {

using testing_voice::VoiceTestEngine;

std::vector<const KernelSet*> VectorSets() {
  std::vector<const KernelSet*> sets;
  for (const char* name : {"sse2", "avx2", "neon"}) {
    if (const KernelSet* set = FindKernelSet(name)) sets.push_back(set);
  }
  return sets;
}

class Scenario {
 public:
  explicit Scenario(uint32_t seed) : rng_(seed) {}

  // Renders the scenario with one kernel set: the accumulators and the PCM
  // of every block, and the voice fields the kernels write, in one record.
  std::vector<int32_t> Run(const KernelSet& set) {
    const uint32_t formats[] = {kFormat16Bit, kFormat16Bit | kFormatMono, 0, kFormatMono};
    VoiceTestEngine t(22050, formats[Pick(0, 3)]);
    t.engine.kernels = &set;
    const int32_t ratios[] = {1, 3, 11, 22, 255};
    t.engine.controlRatio = ratios[Pick(0, 4)];
    const PatchSample& sample = MakeSample(t);
    Voice& voice = t.voice(0);
    MakeVoice(voice, sample, t.engine.controlRatio);

    std::vector<int32_t> record;
    const bool mono = (t.engine.formatFlags & kFormatMono) != 0;
    for (int block = Pick(1, 6); block > 0 && voice.state != kVoiceFree; --block) {
      // Block lengths: anything, or exactly up to the next tick.
      int32_t count = Pick(0, 3) == 0 ? Pick(1, 1024) : Pick(1, 64);
      if (Pick(0, 3) == 0 && voice.controlCounter > 0) count = voice.controlCounter;
      const int32_t values = mono ? count : 2 * count;
      for (int32_t i = 0; i < values; ++i) t.engine.mixBuffer[i] = Pick(-2147483647 - 1, 2147483647);
      MixVoice(t.engine, t.engine.mixBuffer, 0, count);
      record.insert(record.end(), t.engine.mixBuffer, t.engine.mixBuffer + values);
      uint8_t* bytes = reinterpret_cast<uint8_t*>(t.engine.mixBuffer);
      if ((t.engine.formatFlags & kFormat16Bit) != 0) {
        set.convert16(bytes, static_cast<uint32_t>(values));
      } else {
        set.convert8(bytes, static_cast<uint32_t>(values));
      }
      record.insert(record.end(), t.engine.mixBuffer, t.engine.mixBuffer + (values + 1) / 2);
      const int32_t fields[] = {voice.state,    voice.position,       voice.step,
                                voice.envLevel, voice.envStage,       voice.envStep,
                                voice.mixLeft,  voice.mixRight,       voice.tremGain,
                                voice.tremPhase, voice.tremSweepPos,  voice.tremSweepStep,
                                voice.controlCounter, voice.vibTickCounter, voice.vibPhase};
      record.insert(record.end(), std::begin(fields), std::end(fields));
    }
    return record;
  }

 private:
  int32_t Pick(int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(rng_);
  }

  const PatchSample& MakeSample(VoiceTestEngine& t) {
    const int32_t points = Pick(0, 3) == 0 ? Pick(1, 8) : Pick(9, 3000);
    std::vector<int16_t> data(static_cast<size_t>(points));
    for (int16_t& p : data) p = static_cast<int16_t>(Pick(0, 7) == 0 ? (Pick(0, 1) ? 32767 : -32768) : Pick(-32768, 32767));
    const uint8_t loops[] = {0, kModeLooping, kModeLooping | kModePingPong};
    const uint8_t modes = static_cast<uint8_t>(loops[Pick(0, 2)] | (Pick(0, 1) ? kModeEnvelope : 0));
    const int32_t length = points * kPositionOne;
    const int32_t loopStart = Pick(0, length - 1);
    const int32_t loopEnd = Pick(0, 2) == 0 ? loopStart + Pick(1, 3 * kPositionOne) : Pick(loopStart + 1, length);
    PatchSample& s = t.AddSample(data, -1, modes, loopStart, loopEnd < length ? loopEnd : length,
                                 Pick(0, 9) == 0 ? 0 : 22050);
    s.dataLength = Pick(0, 4) == 0 ? length - Pick(0, kPositionOne - 1) : length;
    for (int k = 0; k < 6; ++k) {
      s.envRate[k] = Pick(1, 1 << Pick(4, 28));
      s.envOffset[k] = Pick(0, 3) == 0 ? s.envOffset[k > 0 ? k - 1 : 0] : Pick(0, 1 << 30);
    }
    s.tremDepth = static_cast<uint8_t>(Pick(0, 255));
    s.vibDepth = static_cast<uint8_t>(Pick(0, 255));
    s.volume = 268435456u;
    return s;
  }

  void MakeVoice(Voice& v, const PatchSample& s, int32_t ratio) {
    const uint8_t states[] = {kVoicePlaying, kVoiceHeld, kVoiceReleasing, kVoiceDying};
    v.state = states[Pick(0, 12) == 0 ? 3 : Pick(0, 2)];
    v.sample = &s;
    v.freq = v.baseFreq = 261626;
    v.position = Pick(0, 9) == 0 ? s.dataLength + Pick(0, 9999) : Pick(0, s.dataLength);
    const int32_t magnitudes[] = {Pick(1, 64), Pick(1000, 8191), Pick(8192, 40000),
                                  s.loopEnd - s.loopStart};
    v.step = magnitudes[Pick(0, 3)] * ((s.modes & kModePingPong) != 0 && Pick(0, 1) ? -1 : 1);
    // The envelope: frozen, or moving towards a target in any stage.
    v.envStage = static_cast<int16_t>(Pick(0, 6));
    v.envLevel = Pick(0, 1 << 30);
    v.envTarget = Pick(0, 1 << 30);
    v.envStep = Pick(0, 3) == 0 ? 0 : Pick(1, 1 << Pick(4, 26)) * (v.envTarget < v.envLevel ? -1 : 1);
    if (Pick(0, 1)) {
      v.tremPhaseStep = Pick(1, 4000);
      v.tremPhase = Pick(-2147483647, 2147483647);
      v.tremSweepStep = Pick(0, 1) ? Pick(1, 3000) : 0;
      v.tremSweepPos = Pick(0, 65535);
      v.tremGain = 268435456;
    }
    if (Pick(0, 2) == 0) {
      v.vibTicksPerStep = static_cast<int16_t>(Pick(1, 300));
      v.vibTickCounter = static_cast<int16_t>(Pick(0, v.vibTicksPerStep));
      v.vibSweepStep = Pick(0, 1) ? Pick(1, 3000) : 0;
      v.vibPhase = static_cast<int16_t>(Pick(0, 63));
    }
    const int16_t pans[] = {kPanSpread, kPanLeftOnly, kPanRightOnly, kPanCentre};
    v.panMode = pans[Pick(0, 3)];
    // Gains of a few beyond 16 bits take the scalar loops inside vector sets.
    const int32_t gainLimit = Pick(0, 9) == 0 ? 70000 : 8191;
    v.mixLeft = Pick(0, gainLimit);
    v.mixRight = Pick(0, gainLimit);
    // Amplitudes past 2^32 (loud patches) leave the narrow gain products.
    const int shift = Pick(0, 7) == 0 ? 12 : 0;
    v.ampLeft = int64_t{Pick(0, 1 << 30)} << shift;
    v.ampRight = int64_t{Pick(0, 1 << 30)} << shift;
    v.controlCounter = static_cast<int16_t>(Pick(0, ratio));
  }

  std::mt19937 rng_;
};

TEST(KernelDifferentialTest, EveryVectorSetMatchesTheScalarBytes) {
  const std::vector<const KernelSet*> sets = VectorSets();
  for (uint32_t seed = 1; seed <= 600; ++seed) {
    const std::vector<int32_t> expected = Scenario(seed).Run(ScalarKernels());
    for (const KernelSet* set : sets) {
      SCOPED_TRACE(testing::Message() << set->name << " seed " << seed);
      ASSERT_EQ(Scenario(seed).Run(*set), expected);
    }
  }
}

// The conversions on their own over every length up to two vectors' worth
// past the widest, with the clamp edges of both formats in the data.
TEST(KernelDifferentialTest, PcmConversionMatchesAtEveryLength) {
  std::mt19937 rng(7);
  const int32_t edges[] = {INT32_MIN, INT32_MAX, 268427264, 268435455, 268435456, -268435456,
                           -268443648, 0, -1, 8191, 8192, -8193};
  for (const KernelSet* set : VectorSets()) {
    for (uint32_t values = 0; values <= 80; ++values) {
      std::vector<int32_t> in(values + 1);  // never empty: a real buffer even for 0
      for (uint32_t i = 0; i < values; ++i) {
        in[i] = (rng() & 1) ? edges[rng() % 12] : static_cast<int32_t>(rng());
      }
      for (bool sixteen : {true, false}) {
        SCOPED_TRACE(testing::Message() << set->name << " values " << values << " 16-bit " << sixteen);
        std::vector<int32_t> expected = in, actual = in;
        const KernelSet& scalar = ScalarKernels();
        (sixteen ? scalar.convert16 : scalar.convert8)(reinterpret_cast<uint8_t*>(expected.data()), values);
        (sixteen ? set->convert16 : set->convert8)(reinterpret_cast<uint8_t*>(actual.data()), values);
        ASSERT_EQ(std::memcmp(expected.data(), actual.data(), values * (sixteen ? 2 : 1)), 0);
      }
    }
  }
}

// Batches of tremolo ticks against the reference over the inputs the mix
// kernels batch: amplitudes up to 2^32 - 1, envelope levels crossing gain
// indices towards targets inside and just past the batch, full depth,
// sweeps ending inside it, blocks ending inside it, gains before the batch
// equal to the first tick's or not.
TEST(KernelDifferentialTest, TremoloBatchesMatchTheReference) {
  std::mt19937 rng(11);
  auto pick = [&rng](int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(rng);
  };
  const uint32_t amps[] = {0, 1, 0xFFFF, 0x10000, 1u << 28, 0xFFFFFFFFu};
  for (const KernelSet* set : VectorSets()) {
    if (set->tremoloGains == nullptr) continue;
    for (int round = 0; round < 20000; ++round) {
      TremoloTicks ticks{};
      ticks.ampLeft = pick(0, 2) == 0 ? amps[pick(0, 5)] : static_cast<uint32_t>(pick(0, 0xFFFFFFFF));
      ticks.ampRight = pick(0, 2) == 0 ? amps[pick(0, 5)] : static_cast<uint32_t>(pick(0, 0xFFFFFFFF));
      ticks.envelope = pick(0, 3) != 0;
      ticks.envLevel = static_cast<int32_t>(pick(0, 1 << 30));
      ticks.envStep = static_cast<int32_t>(pick(-(1 << 27) + 1, (1 << 27) - 1));
      if (pick(0, 3) == 0) ticks.envStep = 0;
      // A target a few ticks away (on a tick's level or one off), or anywhere.
      const int64_t near = ticks.envLevel + pick(0, 9) * ticks.envStep + pick(-1, 1);
      ticks.envTarget = static_cast<int32_t>(pick(0, 1) == 0 && near >= 0 && near <= (1 << 30)
                                                 ? near
                                                 : pick(0, 1 << 30));
      ticks.fullDepth = pick(0, 3) == 0 ? 32640 : static_cast<int32_t>(pick(0, 255)) * 128;
      ticks.sweepStep = pick(0, 2) == 0 ? 0 : static_cast<int32_t>(pick(1, (1 << 24) - 1) >> pick(0, 14));
      ticks.sweepPos = static_cast<int32_t>(pick(0, 65535));
      ticks.phase = static_cast<int32_t>(pick(INT32_MIN, INT32_MAX));
      ticks.phaseStep = static_cast<int32_t>(pick(INT32_MIN, INT32_MAX));
      ticks.ratio = static_cast<int32_t>(pick(1, 255));
      ticks.room = static_cast<int32_t>(pick(1, 8 * ticks.ratio + 1));
      ticks.spread = pick(0, 1) == 0;
      ticks.left = static_cast<int32_t>(pick(0, 8191));
      ticks.right = static_cast<int32_t>(pick(0, 8191));
      ASSERT_TRUE(TremoloBatchable(ticks.envLevel, ticks.envTarget, ticks.envStep, ticks.sweepPos,
                                   ticks.sweepStep));
      int32_t want[3][kTremoloBatch], got[3][kTremoloBatch];
      uint32_t wantChanges = 0, gotChanges = 0;
      const int32_t n = TremoloGainsScalar(ticks, want[0], want[1], want[2], &wantChanges);
      if (n > 0 && pick(0, 1) == 0) {  // the gains before: often the first tick's own
        ticks.left = want[0][0];
        ticks.right = want[1][0];
        TremoloGainsScalar(ticks, want[0], want[1], want[2], &wantChanges);
      }
      SCOPED_TRACE(testing::Message() << set->name << " round " << round);
      ASSERT_EQ(set->tremoloGains(ticks, got[0], got[1], got[2], &gotChanges), n);
      ASSERT_EQ(gotChanges, wantChanges);
      for (int32_t j = 0; j < n; ++j) {
        for (int k = 0; k < 3; ++k) ASSERT_EQ(got[k][j], want[k][j]) << "tick " << j << " field " << k;
      }
    }
  }
}

// The vector interpolations compute (a x (4096 - f) + b x f) >> 12 in place
// of a + (((b - a) x f) >> 12): equal because 4096 x a is a multiple of 4096.
// Checked over the extremes and a spread of 16-bit points at every weight.
TEST(KernelDifferentialTest, InterpolationIdentityHolds) {
  std::vector<int32_t> points = {-32768, -32767, -4097, -4096, -1, 0, 1, 4095, 4096, 32766, 32767};
  std::mt19937 rng(3);
  while (points.size() < 48) points.push_back(static_cast<int16_t>(rng()));
  for (int32_t a : points) {
    for (int32_t b : points) {
      for (int32_t f = 0; f < kPositionOne; ++f) {
        const int32_t weighted = (a * (kPositionOne - f) + b * f) >> kPositionFractionBits;
        ASSERT_EQ(weighted, InterpolateQ12(a, b, f)) << a << " " << b << " " << f;
      }
    }
  }
}

TEST(KernelDifferentialTest, RequestedSetOrTheBestOne) {
  EXPECT_STREQ(ChooseKernelSet("scalar").name, "scalar");
  const KernelSet& best = ChooseKernelSet(nullptr);
  EXPECT_EQ(&ChooseKernelSet("no such set"), &best);
  for (const KernelSet* set : VectorSets()) EXPECT_EQ(&ChooseKernelSet(set->name), set);
#if defined(__x86_64__) && defined(__GNUC__)
  // The library asks cpuid itself; the compiler's own survey must agree.
  EXPECT_EQ(Avx2Kernels() != nullptr, __builtin_cpu_supports("avx2") != 0);
#endif
}

}  // namespace
}  // namespace pocketmidi
