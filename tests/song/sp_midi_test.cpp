// SP-MIDI: MIP messages choose and rank the channels for all later events.
#include <gtest/gtest.h>

#include "support/smf_writer.h"
#include "support/song_reader.h"

namespace pocketmidi::test {
namespace {

struct MipCase {
  const char* name;
  std::string sysex;  // body after F0 and its length
  uint32_t spMidi;
  int32_t polyphony;
  std::vector<int> played;  // channels whose note-ons are stored
  std::vector<int> ranks;   // 16 entries
  std::vector<std::pair<int, int>> listed;  // (channel, MIP value) in message order
};

const std::string kMip = "\x7F\x7F\x0B\x01";  // universal real-time, SP-MIDI MIP
const std::vector<int> kAll = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const std::vector<int> kUnranked(16, 16);

std::vector<std::pair<int, int>> EachChannelNeeds1() {
  std::vector<std::pair<int, int>> listed;
  for (int c = 0; c < 16; ++c) listed.push_back({c, 1});
  return listed;
}

std::vector<int> Ranks(std::initializer_list<std::pair<int, int>> listed) {
  std::vector<int> ranks(16, -1);
  for (auto [channel, rank] : listed) ranks[channel] = rank;
  return ranks;
}

std::string SeventeenPairs() {
  std::string body = kMip;
  for (int c = 0; c < 16; ++c) body += {static_cast<char>(c), 1};
  return body + std::string("\x02\x01\x04\x01\xF7", 5);
}

std::vector<MipCase> Cases() {
  const std::string example = kMip + std::string("\x00\x08\x09\x14\x01\x24\xF7", 7);
  return {
      {"PlaysChannelsThatFit", example, 1, 32, {0, 9}, Ranks({{0, 0}, {9, 1}, {1, 2}}),
       {{0, 8}, {9, 20}, {1, 36}}},
      {"LimitIsInclusive", example, 1, 36, {0, 1, 9}, Ranks({{0, 0}, {9, 1}, {1, 2}}),
       {{0, 8}, {9, 20}, {1, 36}}},
      {"SpMidiOffSkipsTheMessage", example, 0, 32, kAll, kUnranked, {}},
      {"WideChannelBytesDoNotCount", kMip + std::string("\x20\x01\x03\x04\xF7", 5), 1, 32, {3},
       Ranks({{3, 0}}), {{3, 4}}},
      {"SeventeenthPairStops", SeventeenPairs(), 1, 32, kAll,
       [] { auto r = Ranks({}); for (int c = 0; c < 16; ++c) r[c] = c; r[2] = 16; return r; }(),
       EachChannelNeeds1()},
      {"MissingEndDoesNotDerail", kMip + std::string("\x05\x02", 2), 1, 32, {5}, Ranks({{5, 0}}), {{5, 2}}},
      {"ShortMessageSkippedWhole", std::string("\x7F\x7F", 2), 1, 32, kAll, kUnranked, {}},
      {"OtherSysExIgnored", std::string("\x7E\x7F\x0B\x01\x00\x01\xF7", 7), 1, 32, kAll, kUnranked, {}},
  };
}

class MipTest : public testing::TestWithParam<MipCase> {};

TEST_P(MipTest, MasksAndRanks) {
  const MipCase& c = GetParam();
  TrackWriter track;
  track.Program(0, 4, 21).SysEx(0, c.sysex);
  for (int ch = 0; ch < 16; ++ch) track.NoteOn(1, ch, 40 + ch, 64);
  track.Tempo(1, 400000);
  const SongResult r = ReadSong(BuildSmf({track.EndOfTrack()}), c.spMidi, c.polyphony);
  ASSERT_TRUE(r.loaded);

  std::vector<Ev> expected = {{0, 4, 9, 21, 0}};  // before the message: always kept
  for (int ch : c.played) expected.push_back({ch + 1u, ch, 1, 40 + ch, 64});
  expected.push_back({17, 0x80, 10, 0x06, 0x1A});  // tempo 400000 is never masked
  EXPECT_EQ(r.events, expected);
  EXPECT_EQ(std::vector<int>(r.ranks, r.ranks + 16), c.ranks);

  const bool mip = c.sysex.compare(0, 4, kMip) == 0 && c.spMidi && c.sysex.size() >= 4;
  EXPECT_EQ(r.info.mipFound, mip ? 1u : 0u);
  std::vector<uint8_t> order(16, 255), values(16, 255);
  for (size_t i = 0; i < c.listed.size(); ++i) {
    order[i] = static_cast<uint8_t>(c.listed[i].first);
    values[c.listed[i].first] = static_cast<uint8_t>(c.listed[i].second);
  }
  EXPECT_EQ(std::vector<uint8_t>(r.info.mipChannelOrder, r.info.mipChannelOrder + 16), order);
  EXPECT_EQ(std::vector<uint8_t>(r.info.mipValues, r.info.mipValues + 16), values);
  // Statistics count masked channels too.
  EXPECT_EQ(r.info.noteOnCount, 16u);
  EXPECT_EQ(r.info.channelInstrument[9], 49);  // the drum channel records its note
  EXPECT_EQ(r.info.channelInstrument[15], 0);
}

INSTANTIATE_TEST_SUITE_P(Song, MipTest, testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pocketmidi::test
