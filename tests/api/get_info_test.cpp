// MIDI_GetInfo: the record byte by byte, failures, and hostile files.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/utf16_path.h"
#include "pocketmidi.h"
#include "support/smf_writer.h"
#include "support/song_reader.h"

namespace pocketmidi::test {
namespace {

using namespace std::string_literals;

MidiFileInfo Untouched() {
  MidiFileInfo info;
  std::memset(&info, kUntouched, sizeof info);
  return info;
}

struct InfoRun {
  int32_t result;
  MidiFileInfo info = Untouched();
};

InfoRun GetInfo(const std::string& bytes) {
  TempDirectory dir;
  InfoRun run;
  run.result = MIDI_GetInfo(Utf8ToUtf16(dir.Write("song.mid", bytes)).c_str(), &run.info);
  return run;
}

// What Load's header step writes, on top of the caller's bytes.
void HeaderFields(MidiFileInfo& info, uint16_t format, uint16_t tracks, int16_t division) {
  info.format = format;
  info.trackCount = tracks;
  info.division = division;
  std::memset(info.mipChannelOrder, 255, 16);
  std::memset(info.mipValues, 255, 16);
  std::memset(info.channelInstrument, 255, 16);
  std::memset(info.channelPeakNotes, 0, 16);
  info.noteOnCount = info.mipFound = 0;
  std::memset(info.copyright, 0, sizeof info.copyright);
  std::memset(info.trackLengths, 0, sizeof info.trackLengths);
  std::memset(info.trackNames, 0, sizeof info.trackNames);
}

void ExpectSameBytes(const MidiFileInfo& actual, const MidiFileInfo& expected) {
  const auto* a = reinterpret_cast<const uint8_t*>(&actual);
  const auto* e = reinterpret_cast<const uint8_t*>(&expected);
  for (size_t i = 0; i < sizeof(MidiFileInfo); ++i) {
    ASSERT_EQ(a[i], e[i]) << "first difference at offset " << i;
  }
}

TEST(GetInfoTest, WholeRecord) {
  std::vector<TrackWriter> tracks(3);
  tracks[0].Name(0, "Piano").Copyright(0, "A").Tempo(0, 500000).EndOfTrack();
  tracks[1].Copyright(0, "B").Program(0, 0, 5).NoteOn(0, 0, 60, 100).NoteOn(0, 0, 64, 100)
      .NoteOff(96, 0, 60).NoteOff(0, 0, 64).EndOfTrack();
  tracks[2].Name(0, "Ba").Name(0, "").Name(0, "ss").NoteOn(48, 9, 36, 100).NoteOn(0, 9, 36, 0)
      .EndOfTrack();
  const InfoRun run = GetInfo(BuildSmf(tracks));

  MidiFileInfo expected = Untouched();
  HeaderFields(expected, 1, 3, 96);
  expected.durationMs = 500;  // first note to last event: 96 ticks at 120 bpm
  std::memcpy(expected.trackNames, "Piano\0\0Bass", 11);
  for (int i = 0; i < 3; ++i) {
    expected.trackLengths[i] = static_cast<uint16_t>(tracks[i].bytes().size());
  }
  expected.eventCount = 9;
  expected.channelInstrument[0] = 5;
  expected.channelInstrument[9] = 36;
  expected.channelPeakNotes[0] = 2;
  expected.channelPeakNotes[9] = 1;
  expected.noteOnCount = 3;
  expected.peakNotes = 3;
  std::strcpy(expected.copyright, "A\r\nB");
  EXPECT_EQ(run.result, 1);
  ExpectSameBytes(run.info, expected);
}

TEST(GetInfoTest, FailedLoadsWriteOnlyWhatWasReached) {
  // Format 3: the header fields are written, the load fails before the
  // event count and the statistics, and the duration is 0.
  InfoRun run = GetInfo(BuildSmf({TrackWriter().NoteOn(0, 0, 1, 1).EndOfTrack()}, {3, 480, 7}));
  MidiFileInfo expected = Untouched();
  HeaderFields(expected, 3, 7, 480);
  expected.durationMs = 0;
  EXPECT_EQ(run.result, 0);
  ExpectSameBytes(run.info, expected);

  // A header of the wrong length: only the duration is written.
  expected = Untouched();
  expected.durationMs = 0;
  run = GetInfo("MThd\0\0\0\x05\0\0\0\x01\0\x60"s);
  EXPECT_EQ(run.result, 0);
  ExpectSameBytes(run.info, expected);

  // Nothing opened, nothing written.
  MidiFileInfo info = Untouched();
  EXPECT_EQ(MIDI_GetInfo(u"/nonexistent/dir/song.mid", &info), 0);
  ExpectSameBytes(info, Untouched());
  EXPECT_EQ(MIDI_GetInfo(nullptr, &info), 0);
  EXPECT_EQ(MIDI_GetInfo(u"/dev/null", nullptr), 0);
}

TEST(GetInfoTest, TextAreasAreCutAndNeverLeft) {
  // 200 tracks named with 12 letters: 157 entries fit whole, the 158th is
  // cut to 4 letters, the rest open no room at all.
  std::vector<TrackWriter> tracks(200);
  for (auto& t : tracks) {
    t.Name(0, "ABCDEFGHIJKL").NoteOn(0, 0, 60, 1).NoteOff(1, 0, 60).EndOfTrack();
  }
  InfoRun run = GetInfo(BuildSmf(tracks));
  std::string area;
  for (int i = 0; i < 157; ++i) area += std::string("ABCDEFGHIJKL") + '\0';
  area += std::string("ABCD\0\0\0", 7);
  ASSERT_EQ(area.size(), sizeof run.info.trackNames);
  EXPECT_EQ(std::string(run.info.trackNames, sizeof run.info.trackNames), area);
  // Only the first 64 track lengths are kept; the division after them is intact.
  for (int i = 0; i < 64; ++i) EXPECT_EQ(run.info.trackLengths[i], tracks[0].bytes().size());
  EXPECT_EQ(run.info.division, 96);
  EXPECT_EQ(run.info.reserved[0], kUntouched);
  EXPECT_EQ(run.info.eventCount, 401u);

  // Four notices of 200 letters: the second is cut so the terminator fits.
  TrackWriter track;
  for (int i = 0; i < 4; ++i) track.Copyright(0, std::string(200, 'x'));
  run = GetInfo(BuildSmf({track.NoteOn(0, 0, 1, 1).NoteOff(10, 0, 1).EndOfTrack()}));
  const std::string expected = std::string(200, 'x') + "\r\n" + std::string(51, 'x') + "\r\n";
  EXPECT_EQ(std::string(run.info.copyright), expected);
  EXPECT_EQ(run.info.copyright[255], '\0');
  EXPECT_EQ(run.info.noteOnCount, 1u);  // the events after the notices are read correctly
}

TEST(GetInfoTest, HostileFilesEndCleanly) {
  std::vector<TrackWriter> tracks(2);
  tracks[0].Name(0, "n").Copyright(0, "c").Tempo(0, 400000)
      .SysEx(0, "\x7F\x7F\x0B\x01\x00\x04\xF7"s).NoteOn(0, 0, 60, 90).Controller(3, 0, 101, 0)
      .EndOfTrack();
  tracks[1].NoteOn(5, 9, 36, 90).NoteOff(9, 9, 36).EndOfTrack();
  const std::string good = BuildSmf(tracks);
  // Cut anywhere: read without going past the end (the sanitizer build checks).
  for (size_t cut = 0; cut < good.size(); ++cut) EXPECT_LE(GetInfo(good.substr(0, cut)).result, 1);
  // Lengths near 2^32 in a small file: skipped until the data ends.
  const std::string huge = "\x8F\xFF\xFF\xFF\x7F"s;
  for (const std::string& events :
       {"\x00\xF0"s + huge + "\x7F\x7F\x0B\x01", "\x00\xFF\x03"s + huge + "name",
        "\x00\xFF\x02"s + huge + "c", "\x00\xFF\x01"s + huge}) {
    const std::string file =
        BuildSmf({}, {1, 96, 1}) + "MTrk\xFF\xFF\xFF\xFF" +
        TrackWriter().NoteOn(0, 0, 1, 1).NoteOff(1, 0, 1).Raw(events).bytes();
    const InfoRun run = GetInfo(file);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.info.trackLengths[0], 0xFFFF);
    EXPECT_EQ(run.info.copyright[255], static_cast<char>(0));
  }
}

}  // namespace
}  // namespace pocketmidi::test
