// System-exclusive events and Scalable Polyphony MIDI: a Maximum
// Instantaneous Polyphony (MIP) message lists the channels in priority
// order with the voices needed to play them and every channel before them.
// The channels that fit the polyphony are played; the rest are masked for
// all events read after the message.
#include "song/midi_song.h"

namespace pocketmidi {

namespace {

constexpr uint8_t kEndOfExclusive = 0xF7;

// Universal real-time (0x7F), any device, sub-IDs 0x0B 0x01.
bool IsMipHeader(const uint8_t header[4]) {
  return header[0] == 0x7F && header[2] == 0x0B && header[3] == 0x01;
}

}  // namespace

bool MidiSong::ReadSysEx(FileStream* stream, MidiFileInfo* info) {
  uint32_t length = 0;
  if (!ReadVarLen(stream, &length)) return false;
  // Without SP-MIDI, and for events too short to hold the four header bytes
  // (which must not be read past the event), the event is skipped whole.
  if (!spMidiEnabled || length < 4) return SkipBytes(stream, length);

  uint8_t header[4];
  if (ReadBytes(stream, header, 4) != 4) return false;
  const uint32_t body = length - 4;
  if (!IsMipHeader(header)) return SkipBytes(stream, body);

  if (info != nullptr) info->mipFound = 1;
  uint32_t consumed = 0;
  if (ApplyMip(stream, info, body, &consumed) == 1) return true;
  // The evaluation stopped early (a channel listed once too often) or the
  // message had no 0xF7: resume after the declared length.
  return SkipBytes(stream, body - consumed);
}

int32_t MidiSong::ApplyMip(FileStream* stream, MidiFileInfo* info, uint32_t bodyBytes,
                           uint32_t* consumed) {
  for (int c = 0; c < kSongChannels; ++c) {
    channelEnabled[c] = 0;
    channelRank[c] = -1;
  }
  *consumed = 0;
  int32_t accepted = 0;
  // The pairs are read within the declared length only, so that a message
  // without its 0xF7 cannot swallow the events after it.
  while (*consumed < bodyBytes) {
    uint8_t channel = 0;
    if (!ReadByte(stream, &channel)) return 0;
    ++*consumed;
    if (channel == kEndOfExclusive) return 1;
    if (*consumed >= bodyBytes) return 0;
    uint8_t mip = 0;
    if (!ReadByte(stream, &mip)) return 0;
    ++*consumed;
    if (channel >= kSongChannels) continue;
    if (accepted == kSongChannels) {
      // Only a repeated channel can make a 17th pair: it ends the evaluation.
      channelRank[channel] = kSongChannels;
      return 0;
    }
    channelRank[channel] = accepted;
    if (static_cast<int32_t>(mip) <= polyphonyLimit) channelEnabled[channel] = 1;
    if (info != nullptr) {
      info->mipChannelOrder[accepted] = channel;
      info->mipValues[channel] = mip;
    }
    ++accepted;
  }
  return 0;
}

}  // namespace pocketmidi
