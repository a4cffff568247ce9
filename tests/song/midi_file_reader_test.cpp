// Reading track events and headers into the merged event list.
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

TrackWriter Track(bool running = false) { return TrackWriter(running); }

std::string One(TrackWriter track, SmfOptions options = {}) {
  return BuildSmf({track.EndOfTrack()}, options);
}

std::vector<ReaderCase> Cases() {
  return {
      {"NotesAndRunningStatus",
       One(Track(true).NoteOn(0, 2, 60, 100).NoteOn(10, 2, 64, 0).NoteOff(5, 2, 60, 30)),
       {{0, 2, 1, 60, 100}, {10, 2, 1, 64, 0}, {15, 2, 2, 60, 30}}},
      {"RunningStatusSurvivesMetaEvent",
       One(Track().NoteOn(0, 1, 60, 90).Name(0, "x").Raw(std::string("\x04\x3E\x50", 3))),
       {{0, 1, 1, 60, 90}, {4, 1, 1, 62, 80}}},
      {"DataBytesLoseBit7", One(Track().Raw(std::string("\x00\x93\xBC\xFF", 4))),
       {{0, 3, 1, 60, 127}}},
      {"KeyPressurePitchBendProgram",
       One(Track().Channel(0, 0xA4, 60, 9).Channel(0, 0xE4, 0x11, 0x40).Program(1, 4, 33)),
       {{0, 4, 3, 60, 9}, {0, 4, 8, 0x11, 0x40}, {1, 4, 9, 33, 0}}},
      {"ChannelPressureAndSystemStatusDropped",
       // 0xF8 sets kind 7 on channel 8 and eats one byte; the data byte after
       // it runs on under kind 7 and is dropped as well.
       One(Track().Channel(0, 0xD0, 5).Raw(std::string("\x00\xF8\x01\x00\x02", 5)).NoteOn(0, 0, 1, 1)),
       {{0, 0, 1, 1, 1}}},
      {"ControllerTable",
       One(Track().Controller(0, 5, 0, 3).Controller(0, 5, 7, 100).Controller(0, 5, 10, 64)
               .Controller(0, 5, 11, 90).Controller(0, 5, 64, 127).Controller(0, 5, 120, 0)
               .Controller(0, 5, 121, 0).Controller(0, 5, 123, 0).Controller(0, 5, 1, 50)
               .Controller(0, 5, 32, 5).Controller(0, 5, 32, 0)),
       {{0, 5, 15, 3, 0}, {0, 5, 4, 100, 0}, {0, 5, 5, 64, 0}, {0, 5, 7, 90, 0},
        {0, 5, 6, 127, 0}, {0, 5, 12, 0, 0}, {0, 5, 13, 0, 0}, {0, 5, 14, 0, 0},
        {0, 5, 15, 0, 0}}},
      {"RegisteredParameters",
       One(Track().Controller(0, 0, 6, 7)  // parameter bytes start at 0: bend range
               .Controller(0, 0, 101, 0).Controller(0, 0, 100, 0).Controller(0, 0, 6, 12)
               .Controller(0, 0, 99, 0).Controller(0, 0, 6, 13)   // NRPN selected: dropped
               .Controller(0, 0, 101, 127).Controller(0, 0, 100, 127).Controller(0, 0, 6, 50)
               .Controller(0, 0, 101, 0).Controller(0, 0, 100, 1).Controller(0, 0, 6, 9)),
       {{0, 0, 11, 7, 0}, {0, 0, 11, 12, 0}, {0, 0, 11, 2, 0}}},
      {"TempoReadsThreeBytesWhateverTheLength",
       One(Track().Raw(std::string("\x00\xFF\x51\x00\x07\xA1\x20", 7)).NoteOn(0, 0, 1, 1)),
       {{0, 0x20, 10, 0x07, 0xA1}, {0, 0, 1, 1, 1}}},
      {"LongEventsSkippedWhole",
       One(Track().SysEx(1, std::string(5000, '\x11')).Meta(1, 0x7F, std::string(3000, 'm'))
               .NoteOn(1, 0, 60, 1)),
       {{3, 0, 1, 60, 1}}},
      {"FiveByteDeltaWrapsIn32Bits",
       One(Track().Raw(std::string("\x8F\xFF\xFF\xFF\x7F\x90\x01\x01", 8)).NoteOn(1, 0, 2, 2)),
       {{0xFFFFFFFF, 0, 1, 1, 1}, {0, 0, 1, 2, 2}}},  // time wraps; list order as inserted
      {"Format0ReadsOneTrackOnly",
       BuildSmf({Track().NoteOn(0, 0, 1, 1).EndOfTrack(), Track().NoteOn(0, 0, 2, 2).EndOfTrack()},
                {0, 96, 3}),
       {{0, 0, 1, 1, 1}}},
      {"Format1MergesLaterTrackFirst",
       BuildSmf({Track().NoteOn(0, 0, 1, 1).NoteOn(10, 0, 3, 3).EndOfTrack(),
                 Track().NoteOn(5, 1, 2, 2).NoteOn(5, 1, 4, 4).EndOfTrack()}),
       {{0, 0, 1, 1, 1}, {5, 1, 1, 2, 2}, {10, 1, 1, 4, 4}, {10, 0, 1, 3, 3}}},
      {"Format2AppendsTracks",
       BuildSmf({Track().NoteOn(7, 0, 1, 1).EndOfTrack(50), Track().NoteOn(0, 1, 2, 2).EndOfTrack()},
                {2, 96, -1}),
       {{7, 0, 1, 1, 1}, {7, 1, 1, 2, 2}}},
      {"RunningStatusCarriesIntoNextTrack",
       BuildSmf({Track().NoteOn(0, 3, 1, 1).EndOfTrack(), Track().Raw(std::string("\x00\x05\x06", 3)).EndOfTrack()}),
       {{0, 3, 1, 5, 6}, {0, 3, 1, 1, 1}}},
      {"HeaderExcessSkipped", One(Track().NoteOn(0, 0, 9, 9), {1, 96, -1, 8}), {{0, 0, 1, 9, 9}}},
      {"RmidContainer", WrapRmid(One(Track().NoteOn(0, 0, 9, 9))), {{0, 0, 1, 9, 9}}},
      {"TruncatedTrackKeepsEventsAndStops",
       // The second track runs out inside a note-on; the third is never looked for.
       BuildSmf({Track().NoteOn(0, 0, 1, 1).EndOfTrack(),
                 Track().NoteOn(0, 0, 2, 2).NoteOn(0, 0, 3, 3).Raw(std::string("\x00\x90\x05", 3))},
                {1, 96, 3}),
       {{0, 0, 1, 2, 2}, {0, 0, 1, 3, 3}, {0, 0, 1, 1, 1}}},
  };
}

class ReaderTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderTest, Events) {
  const SongResult r = ReadSong(GetParam().file);
  ASSERT_TRUE(r.loaded);
  EXPECT_EQ(r.events, GetParam().expected);
  EXPECT_EQ(r.info.eventCount, r.count);
  EXPECT_EQ(ReadSong(GetParam().file, 1, 32, false).events, r.events);  // the playing path
}

INSTANTIATE_TEST_SUITE_P(Song, ReaderTest, testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderHeaderTest, RefusedFiles) {
  const std::string good = One(Track().NoteOn(0, 0, 1, 1));
  const std::vector<std::string> refused = {
      "", "MTh", std::string("\0\0", 2) + good,  // tag not on a 4-byte step
      BuildSmf({}, {1, 96, 0, 5}), BuildSmf({}, {3, 96, 0}), BuildSmf({}, {-1 & 0xFFFF, 96, 0}),
      good.substr(0, 13),
      // Header lengths beyond the file, and one that is negative as a signed number.
      "MThd\x7F\xFF\xFF\xFF" + good.substr(8), "MThd\x80\0\0\x06"s + good.substr(8)};
  for (const std::string& file : refused) EXPECT_FALSE(ReadSong(file).loaded) << file.size();
}

TEST(ReaderHeaderTest, Division) {
  const std::pair<int, int32_t> cases[] = {
      {96, 96}, {0x7FFF, 32767}, {0xE728, 1000}, {0xE350, 2400}, {0xE250, 2400}, {0x8001, 128}, {0xFF00, 0}};
  for (const auto& [raw, expected] : cases) {
    const SongResult r = ReadSong(One(Track(), {1, raw, -1}));
    EXPECT_EQ(r.division, expected) << std::hex << raw;
    EXPECT_EQ(r.info.division, static_cast<int16_t>(expected));
  }
}

TEST(EventPoolTest, BlocksHoldExactly1024Events) {
  TrackWriter track;
  for (int i = 0; i < 1023; ++i) track.NoteOn(1, 0, 60, 1);
  const std::string full = One(track);
  const std::string overflow = One(track.NoteOn(1, 0, 61, 1));
  TempDirectory dir;
  for (const std::string* file : {&full, &overflow}) {
    FileStream* stream = FileOpen(dir.Write("pool.mid", *file).c_str(), kOpenRead);
    MidiSong song;
    ASSERT_NE(song.Load(stream, nullptr), nullptr);
    FileClose(stream);
    if (file == &full) {
      EXPECT_EQ(song.firstBlock, song.lastBlock);
      EXPECT_EQ(song.blockUsed, static_cast<int32_t>(song.blockSize));
    } else {
      ASSERT_NE(song.firstBlock->next, nullptr);
      EXPECT_EQ(song.firstBlock->next, song.lastBlock);
      EXPECT_EQ(reinterpret_cast<uint8_t*>(song.lastEvent), song.lastBlock->data);
    }
    song.channelRank[3] = 7;
    song.ReleaseEvents();  // leak checking covers the blocks
    EXPECT_EQ(song.firstBlock, nullptr);
    EXPECT_EQ(song.ChannelOrder()[3], 7);
  }
}

}  // namespace
}  // namespace pocketmidi::test
