#include <gtest/gtest.h>

#include <vector>

#include "instruments/adpcm_decoder.h"
#include "instruments/patch_conversions.h"
#include "soundset/ima_adpcm.h"

namespace pocketmidi {
namespace {

TEST(PatchConversions, EnvelopeRate) {
  const struct { uint8_t rate; uint32_t outputRate; int32_t ratio; int32_t expected; } cases[] = {
      {0x3F, 22050, 11, 726663168},  // e = 9, m = 63 x 512
      {0x7F, 22050, 11, 90832896},   // e = 6
      {0xFF, 22050, 11, 1419264},    // e = 0
      {0x3F, 11025, 5, 660602880},
      {0xC1, 8000, 4, 20480},        // 44100 / 8000 truncates to 5
      {0x00, 8000, 4, 0},            // rate 0 freezes the envelope
      {0x3F, 0, 11, 0},              // no output rate: no division
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConvertEnvelopeRate(c.rate, c.outputRate, c.ratio), c.expected) << int(c.rate);
  }
}

TEST(PatchConversions, LfoValues) {
  EXPECT_EQ(ConvertTremoloSweep(10, 22050, 11), 124);
  EXPECT_EQ(ConvertTremoloSweep(0, 22050, 11), 0);  // no sweep, no division by zero
  EXPECT_EQ(ConvertTremoloRate(50, 22050, 11), 21);
  EXPECT_EQ(ConvertVibratoRate(1, 44100), 26184);
  EXPECT_EQ(ConvertVibratoRate(255, 8000), 18);
  EXPECT_EQ(ConvertVibratoSweep(3, 2618, 22050), 98560);
  EXPECT_EQ(ConvertVibratoSweep(0, 2618, 22050), 0);
  // 26184 x 38 x 65536 needs 36 bits; a 32-bit product would give 17761.
  EXPECT_EQ(ConvertVibratoSweep(1, 26184, 44100), 1478634);
}

TEST(AdpcmDecoder, MatchesTheReferenceAcrossCallsAndClamps) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 300; ++i) bytes.push_back(static_cast<uint8_t>(i * 37 + (i >> 3)));
  bytes.insert(bytes.end(), 100, 0x77);  // drives the predictor to +32767
  bytes.insert(bytes.end(), 100, 0xFF);  // and down to -32768
  std::vector<int16_t> points(2 * bytes.size());
  AdpcmState state;
  DecodeAdpcmBytes(state, bytes.data(), 250, points.data());  // the state carries over
  DecodeAdpcmBytes(state, bytes.data() + 250, static_cast<uint32_t>(bytes.size() - 250),
                   points.data() + 500);
  EXPECT_EQ(points, soundset::DecodeImaAdpcm(bytes));
  EXPECT_EQ(points[799], 32767);
  EXPECT_EQ(points.back(), -32768);
}

}  // namespace
}  // namespace pocketmidi
