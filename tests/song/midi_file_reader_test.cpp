// Reading track events and headers into the merged event list, and SP-MIDI's
// MIP messages, which choose and rank the channels for all later events. The
// golden render covers the plain path (format 0, notes, the mixing
// controllers, program, bend, tempo); these are the rules around it.
#include <gtest/gtest.h>

#include "support/smf_writer.h"
#include "support/song_reader.h"

namespace pocketmidi::test {
namespace {

using namespace std::string_literals;

struct ReaderCase {
  const char* name;
  std::string file;
  std::vector<Ev> expected;  // head entry left out
};

TrackWriter Track() { return TrackWriter(); }

std::string One(TrackWriter track, SmfOptions options = {}) {
  return BuildSmf({track.EndOfTrack()}, options);
}

// Controller messages on one channel, all at time 0.
TrackWriter Controllers(int channel, std::initializer_list<std::pair<int, int>> messages) {
  TrackWriter track;
  for (const auto& [number, value] : messages) track.Controller(0, channel, number, value);
  return track;
}

std::vector<ReaderCase> Cases() {
  return {
      // Running status, also after a meta event; data bytes lose bit 7.
      {"RunningStatusAndDataBytes",
       One(Track().NoteOn(0, 2, 60, 100).Raw("\x0A\x40\x00"s).Name(0, "x")
               .Raw("\x04\x3E\x50\x00\x93\xBC\xFF"s)),
       {{0, 2, 1, 60, 100}, {10, 2, 1, 64, 0}, {14, 2, 1, 62, 80}, {14, 3, 1, 60, 127}}},
      // Key pressure is kept. 0xF8 sets kind 7 on channel 8 and eats one byte;
      // the data byte after it runs on under kind 7 and is dropped as well.
      {"KeyPressureKeptChannelPressureAndSystemDropped",
       One(Track().Channel(0, 0xA4, 60, 9).Channel(0, 0xD0, 5)
               .Raw("\x00\xF8\x01\x00\x02\x00\x90\x01\x01"s)),
       {{0, 4, 3, 60, 9}, {0, 0, 1, 1, 1}}},
      // Bank LSB only when 0; modulation (1) is not used.
      {"Controllers",
       One(Controllers(5, {{0, 3}, {32, 5}, {32, 0}, {120, 0}, {121, 0}, {123, 0}, {1, 50}})),
       {{0, 5, 15, 3, 0}, {0, 5, 15, 0, 0}, {0, 5, 12, 0, 0}, {0, 5, 13, 0, 0}, {0, 5, 14, 0, 0}}},
      // Data entry only for RPN 0/0 (where the parameter bytes start) and the
      // null parameter 127/127, which means 2; never under an NRPN.
      {"RegisteredParameters",
       One(Controllers(
           5, {{6, 7}, {99, 0}, {6, 13}, {101, 127}, {100, 127}, {6, 50}, {100, 1}, {6, 9}})),
       {{0, 5, 11, 7, 0}, {0, 5, 11, 2, 0}}},
      {"TempoReadsThreeBytesWhateverTheLength",
       One(Track().Raw("\x00\xFF\x51\x00\x07\xA1\x20"s).NoteOn(0, 0, 1, 1)),
       {{0, 0x20, 10, 0x07, 0xA1}, {0, 0, 1, 1, 1}}},
      {"LongEventsSkippedWhole",
       One(Track().SysEx(1, std::string(5000, '\x11')).Meta(1, 0x7F, std::string(3000, 'm'))
               .NoteOn(1, 0, 60, 1)),
       {{3, 0, 1, 60, 1}}},
      {"FiveByteDeltaWrapsIn32Bits",
       One(Track().Raw("\x8F\xFF\xFF\xFF\x7F\x90\x01\x01"s).NoteOn(1, 0, 2, 2)),
       {{0xFFFFFFFF, 0, 1, 1, 1}, {0, 0, 1, 2, 2}}},  // time wraps; list order as inserted
      {"Format0ReadsOneTrackOnly",
       BuildSmf({Track().NoteOn(0, 0, 1, 1).EndOfTrack(), Track().NoteOn(0, 0, 2, 2).EndOfTrack()},
                {0, 96, 3}),
       {{0, 0, 1, 1, 1}}},
      // The later track goes first at equal times, and running status carries
      // into it from the track before.
      {"Format1MergesTracks",
       BuildSmf({Track().NoteOn(0, 0, 1, 1).NoteOn(10, 0, 3, 3).EndOfTrack(),
                 Track().Raw("\x05\x02\x02"s).NoteOn(5, 1, 4, 4).EndOfTrack()}),
       {{0, 0, 1, 1, 1}, {5, 0, 1, 2, 2}, {10, 1, 1, 4, 4}, {10, 0, 1, 3, 3}}},
      {"Format2AppendsTracks",
       BuildSmf(
           {Track().NoteOn(7, 0, 1, 1).EndOfTrack(50), Track().NoteOn(0, 1, 2, 2).EndOfTrack()},
           {2, 96, -1}),
       {{7, 0, 1, 1, 1}, {7, 1, 1, 2, 2}}},
      // A RIFF RMID wrapper puts the header at offset 20.
      {"WrappedWithALongerHeader",
       "RIFF\0\0\0\0RMIDdata\0\0\0\0"s + One(Track().NoteOn(0, 0, 9, 9), {1, 96, -1, 8}),
       {{0, 0, 1, 9, 9}}},
      // The second track runs out inside a note-on; the third is never looked for.
      {"TruncatedTrackKeepsEventsAndStops",
       BuildSmf({Track().NoteOn(0, 0, 1, 1).EndOfTrack(),
                 Track().NoteOn(0, 0, 2, 2).NoteOn(0, 0, 3, 3).Raw("\x00\x90\x05"s)},
                {1, 96, 3}),
       {{0, 0, 1, 2, 2}, {0, 0, 1, 3, 3}, {0, 0, 1, 1, 1}}},
  };
}

class ReaderTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderTest, Events) {
  const SongResult r = ReadSong(GetParam().file);
  ASSERT_TRUE(r.loaded);
  EXPECT_EQ(r.events, GetParam().expected);
  EXPECT_EQ(ReadSong(GetParam().file, 1, 32, false).events, r.events);  // the playing path
}

INSTANTIATE_TEST_SUITE_P(Song, ReaderTest, testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderHeaderTest, RefusedFilesAndDivision) {
  const std::string good = One(Track().NoteOn(0, 0, 1, 1));
  const std::string refused[] = {
      "\0\0"s + good,  // the tag is looked for on 4-byte steps only
      BuildSmf({}, {0xFFFF, 96, 0}), good.substr(0, 13),
      // Header lengths beyond the file, and one that is negative as a signed number.
      "MThd\x7F\xFF\xFF\xFF"s + good.substr(8), "MThd\x80\0\0\x06"s + good.substr(8)};
  for (const std::string& file : refused) EXPECT_FALSE(ReadSong(file).loaded) << file.size();
  // SMPTE: minus the frame rate times ticks per frame; 29 counts as 30.
  const std::pair<int, int32_t> divisions[] = {
      {0x7FFF, 32767}, {0xE350, 2400}, {0xE250, 2400}, {0x8001, 128}};
  for (const auto& [raw, expected] : divisions) {
    EXPECT_EQ(ReadSong(One(Track(), {1, raw, -1})).division, expected) << std::hex << raw;
  }
}

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

std::vector<MipCase> MipCases() {
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

INSTANTIATE_TEST_SUITE_P(Song, MipTest, testing::ValuesIn(MipCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pocketmidi::test
