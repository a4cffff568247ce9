#include "soundset/ima_adpcm.h"

#include <gtest/gtest.h>

#include "instruments/adpcm_decoder.h"

namespace pocketmidi::soundset {
namespace {

// The encoder chooses its codes against the library's own decoder, so a
// wrong table entry would survive a round trip: exact decoded values pin
// the low entries here, and the compressed golden renders pin the encoder's
// output and the rest of the tables.
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

}  // namespace
}  // namespace pocketmidi::soundset
