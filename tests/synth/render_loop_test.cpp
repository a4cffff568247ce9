#include <gtest/gtest.h>

#include <vector>

#include "synth/synth_engine.h"
#include "synth/synth_test_song.h"

namespace pocketmidi {
namespace {

using test::TickEvent;

// Mono values through DeliverBytes in the given sample format.
std::vector<uint8_t> Convert(uint32_t flags, const std::vector<int32_t>& values) {
  SynthEngine engine(nullptr);
  engine.formatFlags = flags | kFormatMono;
  std::copy(values.begin(), values.end(), engine.mixBuffer);
  std::vector<uint8_t> out(2 * values.size());
  engine.outCursor = out.data();
  engine.outLeft = static_cast<uint32_t>(out.size());
  engine.DeliverBytes(reinterpret_cast<uint8_t*>(engine.mixBuffer),
                      static_cast<uint32_t>(values.size()), false);
  out.resize(engine.outDone);
  return out;
}

TEST(OutputConversion, ShiftClampAndSampleFormat) {
  EXPECT_EQ(
      test::Samples16(Convert(kFormat16Bit, {1 << 28, -(1 << 28), 8191, -1, 8192, INT32_MIN})),
      (std::vector<int16_t>{32767, -32768, 0, -1, 1, -32768}));
  EXPECT_EQ(Convert(0, {0, 1 << 28, -(1 << 28), (1 << 21) - 1, -1, 1 << 21}),
            (std::vector<uint8_t>{128, 255, 0, 128, 127, 129}));
  // An odd mono 8-bit flush loses its last sample.
  EXPECT_EQ(Convert(0, {0, 1 << 21, 1 << 28}), (std::vector<uint8_t>{128, 129}));
}

TEST(Milliseconds, RoundUpWithoutOverflow) {
  const uint32_t cases[][3] = {{22050, 22050, 1000},
                               {22050, 22051, 1001},
                               {22050, 0, 0},
                               {44100, 0xFFFFFFFFu, 97391549},
                               {8000, 0xFFFFFFFFu, 536870912}};
  for (const auto& c : cases) {
    SynthEngine engine(nullptr);
    engine.sampleRate = c[0];
    engine.songSamples = engine.currentSample = c[1];
    EXPECT_EQ(engine.DurationMs(), c[2]) << c[1];
    EXPECT_EQ(engine.PositionMs(), c[2]) << c[1];
  }
}

// A song of `frames` frames (one frame per tick) with the given events;
// every program plays the constant instrument.
struct Rendering {
  Rendering(uint32_t flags, uint32_t frames, std::vector<TickEvent> notes = {})
      : song(test::kFrameDivision, Events(frames, notes)) {
    engine.sampleRate = test::kTestRate;
    engine.formatFlags = flags;
    EXPECT_EQ(engine.PrepareSong(song.list()), 0);
    EXPECT_EQ(engine.songSamples, frames);
    for (InstrumentSlot& slot : engine.toneSlots) slot.instrument = instrument.get();
    engine.Seek(0);
  }
  ~Rendering() { test::DetachInstruments(engine); }
  // Silent note-offs at tick 0 (ending the lead-in) and at the end.
  static std::vector<TickEvent> Events(uint32_t frames, std::vector<TickEvent> notes) {
    notes.insert(notes.begin(), {test::Tempo(0, test::kFrameTempo), {0, 15, kNoteOn, 1, 0}});
    notes.push_back({frames, 15, kNoteOff, 1, 0});
    return notes;
  }
  test::ConstantInstrument instrument{8192};
  test::TestSong song;
  SynthEngine engine{nullptr};
};

TEST(RenderLoop, FullBlocksArePendingAndTheLastBlockIsShort) {
  Rendering r(kFormat16Bit, 2148);  // two stereo blocks and 100 frames
  std::vector<uint8_t> buffer(4096);
  const int32_t results[] = {0, 4096, 4096, 400, 0, 0};  // the first asks for 0 bytes
  const uint32_t pending[] = {4096, 4096, 400, 0, 0, 0};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(r.engine.Render(buffer.data(), i == 0 ? 0 : 4096), results[i]) << i;
    EXPECT_EQ(r.engine.pendingBytes, pending[i]) << i;
  }
  EXPECT_EQ(r.engine.PositionMs(), r.engine.DurationMs());
  const uint32_t totals[][3] = {{kFormat16Bit | kFormatMono, 1025, 2050},
                                {0, 1025, 2050},
                                {kFormatMono, 1025, 1024},
                                {kFormatMono, 1027, 1026},
                                {kFormat16Bit, 0, 0}};
  for (const auto& t : totals) {
    Rendering song(t[0], t[1]);
    EXPECT_EQ(test::RenderAll(song.engine, 3000).size(), t[2]) << t[0] << " " << t[1];
  }
}

TEST(RenderLoop, EventsLandOnTheirExactFramesAcrossABlockBoundary) {
  Rendering r(kFormat16Bit | kFormatMono, 2000,
              {{0, 0, kNoteOn, 60, 100}, {1020, 1, kNoteOn, 60, 100}, {1030, 2, kNoteOn, 60, 100}});
  const std::vector<int16_t> s = test::Samples16(test::RenderAll(r.engine, 4096));
  ASSERT_EQ(s.size(), 2000u);
  for (int i = 1; i < 2000; ++i) {
    if (i == 1020 || i == 1030) {
      EXPECT_GT(s[i], s[i - 1]) << i;
    } else {
      ASSERT_EQ(s[i], s[i - 1]) << i;
    }
  }
  EXPECT_NE(s[0], 0);
}

TEST(RenderLoop, BytesDoNotDependOnTheCallCapacity) {
  std::vector<uint8_t> reference;
  for (uint32_t capacity : {1u, 4096u, 35296u, 1000000u}) {
    Rendering r(kFormat16Bit, 5000,
                {{0, 0, kNoteOn, 60, 100},
                 {1023, 1, kNoteOn, 64, 90},
                 {1024, 0, kVolume, 40, 0},
                 {2047, 1, kNoteOff, 64, 0},
                 {3000, 2, kNoteOn, 67, 127},
                 {4095, 0, kNoteOff, 60, 0}});
    const std::vector<uint8_t> bytes = test::RenderAll(r.engine, capacity);
    EXPECT_EQ(bytes.size(), 20000u) << capacity;
    if (reference.empty()) reference = bytes;
    EXPECT_EQ(bytes, reference) << capacity;
  }
}

TEST(Seeking, ReplaysChannelStateAndResumesAtTheTarget) {
  Rendering r(kFormat16Bit | kFormatMono, 1000,
              {{0, 0, kVolume, 50, 0},
               {100, 0, kVolume, 70, 0},
               {200, 0, kPan, 20, 0},
               {300, 0, kNoteOn, 62, 100},
               {350, 1, kProgramChange, 4, 0},
               {350, 9, kProgramChange, 5, 0}});
  SynthEngine& e = r.engine;
  const struct {
    uint32_t target;
    int32_t volume, pan, program1, program9;
    uint8_t nextType;  // the last event before the target, dispatched again
  } cases[] = {
      {300, 70, 20, 0, 0, kPan}, {360, 70, 20, 4, 0, kProgramChange}, {50, 50, -1, 0, 0, kVolume}};
  for (const auto& c : cases) {
    e.Seek(c.target);
    EXPECT_EQ(e.currentSample, c.target);
    EXPECT_EQ((std::vector<int32_t>{e.channels[0].volume, e.channels[0].pan, e.channels[1].program,
                                    e.channels[9].program}),
              (std::vector<int32_t>{c.volume, c.pan, c.program1, c.program9}))
        << c.target;
    EXPECT_EQ(e.nextEvent->type, c.nextType) << c.target;
  }
  // The NoteOn at 300 sounds again at the target 310; a seek discards the
  // pending block.
  e.Seek(310);
  std::vector<uint8_t> frame(2);
  ASSERT_EQ(e.Render(frame.data(), 2), 2);
  EXPECT_NE(test::Samples16(frame)[0], 0);
  e.Seek(0);
  EXPECT_EQ(e.pendingBytes, 0u);
  EXPECT_EQ(e.nextEvent, e.events);
  // Past the end: at the song's last frame, on EndOfSong, nothing to render.
  e.Seek(5000);
  EXPECT_EQ(e.currentSample, 1000u);
  EXPECT_EQ(e.nextEvent->type, kEndOfSong);
  EXPECT_EQ(e.Render(frame.data(), 2), 0);
}

}  // namespace
}  // namespace pocketmidi
