// The reader's own 2048-byte buffer over the file. Every byte of the song
// is taken from here; a refill that delivers nothing is the end of the data.
#include <cstring>

#include "io/file_stream.h"
#include "song/midi_song.h"

namespace pocketmidi {

bool MidiSong::Refill(FileStream* stream) {
  const int32_t got = FileRead(stream, readBuffer, kReadBufferBytes);
  bufferFill = got > 0 ? got : 0;
  readPos = 0;
  return bufferFill > 0;
}

bool MidiSong::ReadByte(FileStream* stream, uint8_t* byte) {
  if (readPos >= bufferFill && !Refill(stream)) return false;
  *byte = readBuffer[readPos++];
  return true;
}

uint32_t MidiSong::ReadBytes(FileStream* stream, uint8_t* destination, uint32_t count) {
  uint32_t done = 0;
  while (done < count) {
    if (readPos >= bufferFill && !Refill(stream)) break;
    uint32_t chunk = static_cast<uint32_t>(bufferFill - readPos);
    if (chunk > count - done) chunk = count - done;
    std::memcpy(destination + done, readBuffer + readPos, chunk);
    readPos += static_cast<int32_t>(chunk);
    done += chunk;
  }
  return done;
}

// Consumes exactly count bytes, refilling as often as needed. The loop is
// bounded by the file itself: a declared length near 2^32 in a small file
// ends at the first empty refill.
bool MidiSong::SkipBytes(FileStream* stream, uint32_t count) {
  while (count > 0) {
    if (readPos >= bufferFill && !Refill(stream)) return false;
    uint32_t chunk = static_cast<uint32_t>(bufferFill - readPos);
    if (chunk > count) chunk = count;
    readPos += static_cast<int32_t>(chunk);
    count -= chunk;
  }
  return true;
}

// Standard variable-length quantity, any number of bytes, accumulated into
// 32 bits (older groups fall off the top).
bool MidiSong::ReadVarLen(FileStream* stream, uint32_t* value) {
  uint32_t result = 0;
  uint8_t byte;
  do {
    if (!ReadByte(stream, &byte)) return false;
    result = (result << 7) | (byte & 0x7Fu);
  } while (byte & 0x80u);
  *value = result;
  return true;
}

bool MidiSong::ReadBigEndian(FileStream* stream, int bytes, uint32_t* value) {
  uint32_t result = 0;
  for (int i = 0; i < bytes; ++i) {
    uint8_t byte;
    if (!ReadByte(stream, &byte)) return false;
    result = (result << 8) | byte;
  }
  *value = result;
  return true;
}

// Chunk tags are looked for in whole steps of 4 bytes from the current
// position: that finds the header at 0 in a plain file and at 20 inside a
// RIFF RMID file, and a track right where the previous one ended.
bool MidiSong::ScanForTag(FileStream* stream, const char* tag) {
  for (;;) {
    uint8_t word[4];
    if (ReadBytes(stream, word, 4) != 4) return false;
    if (std::memcmp(word, tag, 4) == 0) return true;
  }
}

}  // namespace pocketmidi
