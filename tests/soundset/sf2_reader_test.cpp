#include "soundset/sf2_reader.h"
#include "io/byte_order.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/sf2_builder.h"

namespace pocketmidi::soundset {
namespace {

using testsupport::Sf2Builder;

// One preset (with a global zone) over one instrument (with a global zone)
// over two samples.
std::vector<uint8_t> SmallBank() {
  Sf2Builder b;
  const int low = b.AddSample("low", std::vector<int16_t>(100, 1000), 10, 90, 22050, 48, -7);
  const int high = b.AddSample("high", std::vector<int16_t>(60, -1000), 0, 60, 44100, 72);
  const int inst = b.AddInstrument(
      "keys", {{{{kGenInitialAttenuation, 30}}, -1},
               {{{kGenKeyRange, Sf2Builder::Range(0, 59)}, {kGenSampleModes, 1}}, low},
               {{{kGenKeyRange, Sf2Builder::Range(60, 127)}, {kGenPan, 0xFF38}}, high}});
  b.AddPreset("Keys", 3, 0, {{{{kGenCoarseTune, 2}}, -1}, {{}, inst}});
  return b.Build();
}

// What the conversion tests cannot see: the name, the pool layout, an
// absent generator, and a preset's global zone.
TEST(Sf2Reader, ReadsSamplesInstrumentsAndPresets) {
  const std::vector<uint8_t> bytes = SmallBank();
  SoundFont font;
  std::string error;
  ASSERT_TRUE(ReadSoundFont(bytes.data(), bytes.size(), &font, &error)) << error;
  EXPECT_EQ(font.name, "test");
  EXPECT_EQ(font.points.size(), 100u + 46 + 60 + 46);  // 46 silent points after each sample
  ASSERT_EQ(font.samples.size(), 2u);
  EXPECT_EQ(font.samples[1].start, 146u);
  ASSERT_EQ(font.instruments.size(), 1u);
  const Sf2ZoneList& zones = font.instruments[0].zones;
  ASSERT_EQ(zones.zones.size(), 2u);
  EXPECT_EQ(zones.zones[1].Signed(kGenPan), -200);
  EXPECT_FALSE(zones.zones[1].Has(kGenSampleModes));
  ASSERT_EQ(font.presets.size(), 1u);
  EXPECT_EQ(font.presets[0].program, 3);
  ASSERT_TRUE(font.presets[0].zones.hasGlobal);
  EXPECT_EQ(font.presets[0].zones.global.Signed(kGenCoarseTune), 2);
  EXPECT_EQ(font.presets[0].zones.zones.size(), 1u);
}

// Offset of a chunk's id in the file (first occurrence).
size_t ChunkAt(const std::vector<uint8_t>& bytes, const char* id) {
  for (size_t i = 0; i + 4 <= bytes.size(); ++i) {
    if (std::memcmp(&bytes[i], id, 4) == 0) return i;
  }
  ADD_FAILURE() << "no chunk " << id;
  return 0;
}

// Some writers leave out the pad byte after a chunk of odd size (Debian's
// MuseScore_General_Lite.sf3): the next chunk is found right after the data.
TEST(Sf2Reader, ReadsAnOddChunkWithoutItsPadByte) {
  std::vector<uint8_t> bytes = SmallBank();
  const uint8_t comment[] = {'I', 'C', 'M', 'T', 3, 0, 0, 0, 'a', 'b', 'c'};
  bytes.insert(bytes.begin() + ChunkAt(bytes, "INAM"), comment, comment + sizeof comment);
  const size_t info = ChunkAt(bytes, "INFO");
  StoreLe32(&bytes[info - 4], LoadLe32(&bytes[info - 4]) + sizeof comment);
  StoreLe32(&bytes[4], LoadLe32(&bytes[4]) + sizeof comment);
  SoundFont font;
  std::string error;
  ASSERT_TRUE(ReadSoundFont(bytes.data(), bytes.size(), &font, &error)) << error;
  EXPECT_EQ(font.name, "test");
}

TEST(Sf2Reader, RefusesMalformedFilesSayingWhy) {
  const struct {
    const char* what;
    const char* chunk;  // the field changed is at this chunk's id + offset
    size_t offset;
    int width;  // bytes
    uint32_t value;
    const char* message;
  } cases[] = {
      {"not RIFF", "RIFF", 0, 1, 'X', "not a SoundFont"},
      {"version 3", "ifil", 8, 2, 3, "not supported; use an SF2"},
      {"chunk longer than its list", "smpl", 4, 4, 0x7FFFFFFF, "'smpl' claims"},
      {"odd table size", "phdr", 4, 4, 2 * 38 + 2, "not a multiple"},
      {"missing table", "shdr", 0, 4, 0x78787878, "'shdr'"},  // renamed "xxxx"
      {"sample past the pool", "shdr", 8 + 46 + 24, 4, 100000, "outside"},
      {"zone names a missing sample", "igen", 8 + 4 * 6 + 2, 2, 7, "names entry 7 of 2"},
      {"bag indices decrease", "ibag", 8 + 4, 2, 9, "out of order"},
      {"preset zones past the bags", "phdr", 8 + 38 + 24, 2, 50, "past the end"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = SmallBank();
    uint8_t* at = &bytes[ChunkAt(bytes, c.chunk) + c.offset];
    if (c.width == 1) *at = static_cast<uint8_t>(c.value);
    if (c.width == 2) StoreLe16(at, static_cast<uint16_t>(c.value));
    if (c.width == 4) StoreLe32(at, c.value);
    SoundFont font;
    std::string error;
    EXPECT_FALSE(ReadSoundFont(bytes.data(), bytes.size(), &font, &error)) << c.what;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
  }
}

// Every cut is refused with a reason. (Corrupted bytes, and converting
// whatever the reader accepts of them, are the fuzz target's job.)
TEST(Sf2Reader, EveryTruncationIsRefused) {
  const std::vector<uint8_t> bytes = SmallBank();
  for (size_t length = 0; length < bytes.size(); ++length) {
    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);  // exact size
    SoundFont font;
    std::string error;
    EXPECT_FALSE(ReadSoundFont(cut.data(), cut.size(), &font, &error)) << length;
    EXPECT_FALSE(error.empty()) << length;
  }
}

// Searching a key's layers walks every (preset zone, instrument zone) pair:
// a small file must not be able to multiply them without bound.
TEST(Sf2Reader, RefusesPresetsWithTooManyZonePairs) {
  for (const int zones : {256, 257}) {  // 256 x 256 = 65536 pairs is the most accepted
    Sf2Builder b;
    const int sample = b.AddSample("s", std::vector<int16_t>(64, 100), 0, 0);
    const int instrument = b.AddInstrument("wide", std::vector<testsupport::Sf2BuildZone>(
                                                       static_cast<size_t>(zones), {{}, sample}));
    b.AddPreset("Wide", 0, 0,
                std::vector<testsupport::Sf2BuildZone>(static_cast<size_t>(zones), {{}, instrument}));
    const std::vector<uint8_t> bytes = b.Build();
    SoundFont font;
    std::string error;
    EXPECT_EQ(ReadSoundFont(bytes.data(), bytes.size(), &font, &error), zones == 256) << zones;
    if (zones == 257) {
      EXPECT_NE(error.find("66049 instrument zones"), std::string::npos) << error;
    }
  }
}

}  // namespace
}  // namespace pocketmidi::soundset
