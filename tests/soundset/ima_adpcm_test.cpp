#include "soundset/ima_adpcm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "instruments/adpcm_decoder.h"

namespace pocketmidi::soundset {
namespace {

// The encoder chooses its codes against the library's own decoder, so a
// wrong table entry would survive a round trip: the tables are checked here.
TEST(ImaAdpcm, TablesHaveThePublishedEnds) {
  EXPECT_EQ(kImaStepSizes[0], 7);
  EXPECT_EQ(kImaStepSizes[88], 32767);
  for (int i = 1; i < 89; ++i) EXPECT_GT(kImaStepSizes[i], kImaStepSizes[i - 1]);
  for (int code = 0; code < 16; ++code) {
    EXPECT_EQ(kImaIndexChanges[code], (code & 7) < 4 ? -1 : 2 * ((code & 7) - 3));
  }
}

TEST(ImaAdpcm, DecodesHighNibbleFirstCarriesStateAndClamps) {
  // 0x70: code 7 at step 7 adds 0 + 7 + 3 + 1 = 11 and moves the index to 8
  // (step 16); code 0 then adds 16 >> 3 = 2 and moves the index back to 7.
  // 0x8F: code 8 at step 14 subtracts 1; code 15 at step 13 subtracts
  // 1 + 13 + 6 + 3 = 23.
  EXPECT_EQ(DecodeImaAdpcm({0x70, 0x8F}), (std::vector<int16_t>{11, 13, 12, -11}));
  std::vector<uint8_t> bytes(100, 0x77);  // drives the predictor to +32767
  bytes.insert(bytes.end(), 100, 0xFF);   // and down to -32768
  std::vector<int16_t> points(2 * bytes.size());
  AdpcmState state;  // carries over between calls
  DecodeAdpcmBytes(state, bytes.data(), 150, points.data());
  DecodeAdpcmBytes(state, bytes.data() + 150, 50, points.data() + 300);
  EXPECT_EQ(points, DecodeImaAdpcm(bytes));
  EXPECT_EQ(points[199], 32767);
  EXPECT_EQ(points.back(), -32768);
}

TEST(ImaAdpcm, RoundTripStaysCloseToTheSignal) {
  const struct { double amplitude, cyclesPerPoint; int maxError; } cases[] = {
      {20000, 1.0 / 100, 200}, {3000, 1.0 / 37, 100}, {30000, 1.0 / 400, 100}};
  for (const auto& c : cases) {
    std::vector<int16_t> points(4001);  // odd: padded with one point 0
    for (size_t i = 0; i < points.size(); ++i) {
      points[i] = static_cast<int16_t>(
          std::lround(c.amplitude * std::sin(2 * M_PI * c.cyclesPerPoint * i)));
    }
    const std::vector<uint8_t> bytes = EncodeImaAdpcm(points);
    ASSERT_EQ(bytes.size(), 2001u);
    const std::vector<int16_t> decoded = DecodeImaAdpcm(bytes);
    int worst = 0;  // after the step size has adapted
    for (size_t i = 200; i < points.size(); ++i) {
      worst = std::max(worst, std::abs(decoded[i] - points[i]));
    }
    EXPECT_LE(worst, c.maxError) << "amplitude " << c.amplitude;
  }
}

}  // namespace
}  // namespace pocketmidi::soundset
