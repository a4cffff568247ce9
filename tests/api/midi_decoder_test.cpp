// File-type detection, the configuration directory limits, MIDI_GetInfo's
// record, and the MIDI decoder end to end for what a whole render cannot
// show: its seek arithmetic, its open failures, and the settings and messages
// the golden render's song does not use (first-note loading, bend range, MIP
// ranks).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "api/file_type.h"
#include "api/midi_player.h"
#include "platform/utf16_path.h"
#include "pocketmidi.h"
#include "support/render_fixture.h"
#include "support/smf_writer.h"
#include "support/song_reader.h"
#include "synth/synth_engine.h"

namespace pocketmidi::test::render {
namespace {

using namespace std::string_literals;

TEST(FileTypeTest, FirstBytesDecideAndThePositionStays) {
  const std::pair<std::string, FileType> cases[] = {
      {"MThd\0\0\0\x06"s, kFileMidi},       {"RIFF\0\0\0\0RMIDdata"s, kFileMidi},
      {"RIFF\0\0\0\0WAVEfmt "s, kFileWave}, {"RIFF\0\0\0\0AVI LIST"s, kFileUnknown},
      {"RIFF\0\0\0\0RM"s, kFileUnknown},    {"MTh"s, kFileUnknown}};
  TempDirectory dir;
  for (const auto& [bytes, type] : cases) {
    FileStream* stream = FileOpen(dir.Write("f", bytes).c_str(), kOpenRead);
    ASSERT_NE(stream, nullptr);
    FileSeek(stream, kFromStart, 3);
    EXPECT_EQ(DetectFileType(stream), type) << bytes;
    EXPECT_EQ(FileTell(stream), 3);
    FileClose(stream);
  }
  EXPECT_EQ(DetectFileType(nullptr), kFileUnknown);
}

// The player (for MIDI_Load) and the decoder (for the tool's --config) each
// copy the configuration directory into 260 units: 259 and the terminator
// fit, a longer one is refused rather than written past the end or cut.
TEST(ConfigDirectory, FitsItsBufferOrIsRefused) {
  const std::u16string fits(259, u'a'), tooLong(260, u'a');
  EXPECT_NE(std::unique_ptr<StreamDecoder>(CreateDecoder(kFileMidi, fits.c_str())), nullptr);
  EXPECT_EQ(CreateDecoder(kFileMidi, tooLong.c_str()), nullptr);
  MidiPlayer player;
  player.SetConfigDirectory(fits.c_str());
  EXPECT_EQ(std::u16string(player.configDirectory), fits);
  player.SetConfigDirectory(tooLong.c_str());
  EXPECT_EQ(player.configDirectory[0], u'\0');
}

// An instrument set and a song, rendered whole in the player's buffer size.
std::vector<uint8_t> Render(const ss::SoundSetConfig& config,
                            const std::vector<ss::PatchDescription>& patches,
                            const std::string& songBytes) {
  RenderSet set(config, patches);
  OpenSong song(set.Directory(), set.WriteSong(songBytes));
  EXPECT_EQ(song.result, 0);
  return song.result == 0 ? song.RenderAll() : std::vector<uint8_t>{};
}

// Every origin is clamped into the song and the target converted to frames.
// After a seek to a silent moment the render goes on exactly like the full
// render, with the bend before the target replayed (the event just before the
// target is dispatched again anyway: here it is another channel's volume);
// a note sounding at the target starts again.
TEST(MidiDecoderSeek, ClampsIntoTheSongAndContinuesLikeTheFullRender) {
  RenderSet set(UnityConfig("s"), {Sine("s", 84)});
  const std::string path = set.WriteSong(
      SongBytes(With(Loud(0), {On(0, 0, 60), Off(700, 0, 60), Bend(800, 0, 9000),
                               Cc(1000, 1, 7, 100), On(2000, 0, 64), Off(2400, 0, 64)}),
                3000));
  OpenSong whole(set.Directory(), path), sought(set.Directory(), path);
  ASSERT_EQ(sought->GetDuration(), 3000);
  struct Row {
    int32_t ms, origin, targetMs;
  };
  for (const Row& r : {Row{-2000, 1, 0}, {2500, 1, 3000}, {700, 1, 1700}, {-1000, 2, 2000},
                       {500, 2, 3000}, {-5000, 2, 0}, {4000, 0, 3000}, {-1, 0, 0}, {100, 5, 0}}) {
    sought->Seek(1000, kSeekFromStart);
    ASSERT_EQ(sought->GetPosition(), 1000);
    EXPECT_EQ(sought->Seek(r.ms, r.origin), 0);
    EXPECT_EQ(sought->GetPosition(), r.targetMs) << r.ms << " from " << r.origin;
    EXPECT_EQ(sought->engine->currentSample, static_cast<uint32_t>(r.targetMs) * 2205 / 100);
  }
  const std::vector<uint8_t> all = whole.RenderAll();
  ASSERT_EQ(all.size(), 66150u * 4);  // 3 s at 22050 Hz, 16-bit stereo
  sought->Seek(1800, kSeekFromStart);
  EXPECT_TRUE(sought.RenderAll() == std::vector<uint8_t>(all.begin() + 39690 * 4, all.end()));
  // Note 60, begun at 0 and still sounding at 300 ms, starts again from its beginning.
  sought->Seek(300, kSeekFromStart);
  const std::vector<uint8_t> restarted = sought.RenderAll();
  EXPECT_TRUE(std::equal(all.begin(), all.begin() + 8820 * 4, restarted.begin()));
}

// A failed open notes the step and the slot where it stopped, for the tool.
// The last row is a song too long to prepare: 100000 s exceed 2^31 frames.
TEST(MidiDecoderOpen, NotesWhereAFailedOpenStopped) {
  ss::SoundSetConfig absent = UnityConfig("c");
  absent.tones[0].name = "x";
  const RenderSet good(UnityConfig("c"), {Constant("c", 100)});
  const RenderSet missing(absent, {Constant("c", 100)});
  const RenderSet noArchive(UnityConfig("c"), {Constant("c", 100)});
  const RenderSet cut(UnityConfig("c"), {Constant("c", 100)});
  std::remove(noArchive.File("patches.pat").c_str());
  std::filesystem::resize_file(cut.File("patches.pat"), 8 + 24 + 40);  // index, part of a header
  const struct {
    const RenderSet* set;
    uint32_t endMs;
    OpenStage stage;
    int32_t code, index;
  } cases[] = {{&good, 500, OpenStage::kNone, 0, 0},  // the record stays cleared
               {&missing, 500, OpenStage::kPatchMissing, -2, 0},
               {&noArchive, 500, OpenStage::kArchiveOpen, -3, -1},
               {&cut, 500, OpenStage::kPatchLoad, -2, 0},
               {&good, 100000000, OpenStage::kSongPreparation, -3, -1}};
  for (const auto& c : cases) {
    OpenSong song(c.set->Directory(), c.set->WriteSong(SongBytes({On(0, 0, 60)}, c.endMs)));
    EXPECT_EQ(song.result, c.stage == OpenStage::kNone ? 0 : 1);
    const OpenFailure failure = song->LastOpenFailure();
    EXPECT_EQ(std::tuple(failure.stage, failure.code, failure.index),
              std::tuple(c.stage, c.code, c.index));
  }
}

TEST(MidiDecoderRender, LoadingAtFirstNoteAndFreeingMatchLoadAll) {
  // Program 0 is freed after its last note, then needed again by channel 1.
  const std::string song = SongBytes(
      With(Loud(0), {On(0, 0, 60), Off(200, 0, 60), Program(300, 0, 1), On(1000, 0, 62),
                     Off(1200, 0, 62), Cc(0, 1, 7, 127), On(1500, 1, 64), Off(1700, 1, 64),
                     On(1600, 9, 36)}),
      2000);
  ss::SoundSetConfig lazy = UnityConfig("c");
  lazy.loadAll = "false";
  lazy.freeAtOnce = "true";
  lazy.drums[36].name = "d";
  ss::SoundSetConfig eager = lazy;
  eager.loadAll.reset();
  eager.freeAtOnce.reset();
  const std::vector<ss::PatchDescription> patches = {Constant("c", 3000, 3000), Sine("d", 50)};
  const std::vector<uint8_t> expected = Render(eager, patches, song);
  EXPECT_EQ(expected.size(), 44100u * 4);
  EXPECT_TRUE(Render(lazy, patches, song) == expected);
}

// A range of 12 semitones changes what a full bend does, from the next bend
// on: a new range alone leaves the sounding note where the last bend put it.
TEST(MidiDecoderRender, PitchBendRangeTakesEffectWithTheNextBend) {
  const auto render = [](std::vector<Msg> setup) {
    const std::string song = SongBytes(With(With(Loud(0), setup), {On(0, 0, 60)}), 1000);
    return Render(UnityConfig("s"), {Sine("s", 84)}, song);
  };
  const std::vector<Msg> rpn12 = {Cc(10, 0, 101, 0), Cc(10, 0, 100, 0), Cc(10, 0, 6, 12)};
  EXPECT_FALSE(render(With(rpn12, {Bend(10, 0, 16383)})) == render({Bend(10, 0, 16383)}));
  EXPECT_TRUE(render(With({Bend(0, 0, 16383)}, rpn12)) == render({Bend(0, 0, 16383)}));
}

// Two releasing voices when a third note needs one of two: by default the
// quieter (channel 0, velocity 64: gain 2016) is taken; after a MIP message
// ranking channel 1 above channel 0 the louder one of channel 1 goes. The
// levels are exact on both sides: centre pan is a stereo mix the golden render
// does not use (a constant 8192 at velocity 127 mixes at gain 4000).
TEST(MidiDecoderRender, VoiceStealingFollowsSpMidiRanks) {
  ss::SoundSetConfig config = UnityConfig("c");
  config.spMidiSupported = "true";
  config.polyphony = 2;
  const std::vector<Msg> m =
      With(With(Loud(0), Loud(1)),
           {On(0, 0, 60, 64), On(0, 1, 60), Off(100, 0, 60), Off(100, 1, 60), On(200, 0, 62)});
  const std::string mip("\x7F\x7F\x0B\x01\x00\x01\x01\x02\xF7", 9);  // ch 0 needs 1, ch 1 needs 2
  for (auto [sysex, level] : {std::pair<std::string, int16_t>{"", 8000}, {mip, 6016}}) {
    const std::vector<uint8_t> pcm =
        Render(config, {Constant("c", 8192, 20000)}, SongBytes(m, 400, sysex));
    ASSERT_EQ(pcm.size(), 8820u * 4);
    EXPECT_EQ(AsInt16({pcm.begin() + 4420 * 4, pcm.begin() + 4421 * 4}),
              (std::vector<int16_t>{level, level}))
        << (sysex.empty() ? "default" : "MIP ranks");
  }
}

// MIDI_GetInfo: the record byte by byte, failures, and hostile files.
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

// Cutting and corrupting files is the fuzz target's job; lengths near 2^32
// in a small file it seldom makes: skipped until the data ends.
TEST(GetInfoTest, HostileLengthsEndCleanly) {
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
}  // namespace pocketmidi::test::render
