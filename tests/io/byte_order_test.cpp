#include "io/byte_order.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pocketmidi {
namespace {

// The same bytes give the same numbers on every host; bytes with the top bit
// set must not sign-extend into the higher bytes.
TEST(ByteOrder, FixedOrderOnEveryHost) {
  const struct {
    uint8_t bytes[4];
    uint32_t le32, be32;
    uint16_t le16, be16;
  } cases[] = {
      {{0x01, 0x02, 0x03, 0x04}, 0x04030201u, 0x01020304u, 0x0201, 0x0102},
      {{0xFF, 0x80, 0x7F, 0xFE}, 0xFE7F80FFu, 0xFF807FFEu, 0x80FF, 0xFF80},
      {{0x00, 0x00, 0x00, 0x80}, 0x80000000u, 0x00000080u, 0x0000, 0x0000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LoadLe32(c.bytes), c.le32);
    EXPECT_EQ(LoadBe32(c.bytes), c.be32);
    EXPECT_EQ(LoadLe16(c.bytes), c.le16);
    EXPECT_EQ(LoadBe16(c.bytes), c.be16);
    uint8_t out[4];
    StoreLe32(out, c.le32);
    EXPECT_EQ(std::memcmp(out, c.bytes, 4), 0);
    StoreBe32(out, c.be32);
    EXPECT_EQ(std::memcmp(out, c.bytes, 4), 0);
    StoreLe16(out, c.le16);
    StoreBe16(out + 2, c.be16);
    EXPECT_EQ(std::memcmp(out, c.bytes, 2), 0);
    EXPECT_EQ(std::memcmp(out + 2, c.bytes, 2), 0);
  }
  // Points read from a little-endian file become host values in place.
  const uint8_t file[4] = {0x34, 0x12, 0x00, 0x80};
  int16_t points[2];
  std::memcpy(points, file, sizeof points);
  LittleEndian16ToHost(points, 2);
  EXPECT_EQ(points[0], 0x1234);
  EXPECT_EQ(points[1], -32768);
}

}  // namespace
}  // namespace pocketmidi
