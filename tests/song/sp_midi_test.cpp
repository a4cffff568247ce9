// SP-MIDI: MIP messages choose and rank the channels for all later events.
#include <gtest/gtest.h>

#include "support/smf_writer.h"
#include "support/song_reader.h"

namespace pocketmidi::test {
namespace {

using namespace std::string_literals;

const std::string kMip = "\x7F\x7F\x0B\x01";  // universal real-time, SP-MIDI MIP

struct MipCase {
  const char* name;
  std::string sysex;  // body after F0 and its length
  uint32_t spMidi;
  std::vector<int> played;                  // channels whose note-ons are stored
  std::vector<std::pair<int, int>> listed;  // (channel, MIP value) in rank order
};

// Ch 0 needs 8 voices, ch 9 (with ch 0) 20, ch 1 (with both) 36.
const std::string kExample = kMip + "\x00\x08\x09\x14\x01\x24\xF7"s;
const std::vector<int> kAll = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

std::vector<MipCase> Cases() {
  std::string seventeen = kMip;
  std::vector<std::pair<int, int>> sixteen;
  for (char c = 0; c < 16; ++c) {
    seventeen += {c, 1};
    sixteen.push_back({c, 1});
  }
  return {
      // The limit of 20 voices is inclusive.
      {"PlaysChannelsThatFit", kExample, 1, {0, 9}, {{0, 8}, {9, 20}, {1, 36}}},
      {"SpMidiOffSkipsTheMessage", kExample, 0, kAll, {}},
      {"WideChannelBytesDoNotCount", kMip + "\x20\x01\x03\x04\xF7"s, 1, {3}, {{3, 4}}},
      // A channel listed twice makes a 17th pair, which ends the list.
      {"SeventeenthPairStops", seventeen + "\x02\x01\x04\x01\xF7"s, 1, kAll, sixteen},
      {"MissingEndDoesNotDerail", kMip + "\x05\x02"s, 1, {5}, {{5, 2}}},
      {"ShortMessageSkippedWhole", "\x7F\x7F"s, 1, kAll, {}},
      {"OtherSysExIgnored", "\x7E\x7F\x0B\x01\x00\x01\xF7"s, 1, kAll, {}},
  };
}

class MipTest : public testing::TestWithParam<MipCase> {};

TEST_P(MipTest, MasksAndRanks) {
  const MipCase& c = GetParam();
  TrackWriter track;
  track.Program(0, 4, 21).SysEx(0, c.sysex);
  for (int ch = 0; ch < 16; ++ch) track.NoteOn(1, ch, 40 + ch, 64);
  track.Tempo(1, 400000);
  const SongResult r = ReadSong(BuildSmf({track.EndOfTrack()}), c.spMidi, 20);
  ASSERT_TRUE(r.loaded);

  std::vector<Ev> expected = {{0, 4, 9, 21, 0}};  // before the message: always kept
  for (int ch : c.played) expected.push_back({ch + 1u, ch, 1, 40 + ch, 64});
  expected.push_back({17, 0x80, 10, 0x06, 0x1A});  // tempo 400000 is never masked
  EXPECT_EQ(r.events, expected);

  // Ranks in list order, -1 for unlisted channels once a message was read, 16
  // without one; a repeated channel is ranked 16.
  std::vector<int> ranks(16, c.listed.empty() ? 16 : -1);
  std::vector<uint8_t> order(16, 255), values(16, 255);
  for (size_t i = 0; i < c.listed.size(); ++i) {
    ranks[c.listed[i].first] = static_cast<int>(i);
    order[i] = static_cast<uint8_t>(c.listed[i].first);
    values[c.listed[i].first] = static_cast<uint8_t>(c.listed[i].second);
  }
  if (c.listed.size() == 16) ranks[2] = 16;  // listed a second time
  EXPECT_EQ(std::vector<int>(r.ranks, r.ranks + 16), ranks);
  EXPECT_EQ(r.info.mipFound, c.listed.empty() ? 0u : 1u);
  EXPECT_EQ(std::vector<uint8_t>(r.info.mipChannelOrder, r.info.mipChannelOrder + 16), order);
  EXPECT_EQ(std::vector<uint8_t>(r.info.mipValues, r.info.mipValues + 16), values);
  // Statistics count masked channels too.
  EXPECT_EQ(r.info.noteOnCount, 16u);
  EXPECT_EQ(r.info.channelInstrument[9], 49);  // the drum channel records its note
}

INSTANTIATE_TEST_SUITE_P(Song, MipTest, testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pocketmidi::test
