// Reading and writing little-endian numbers stored in files, on a host of
// either order: patch archives, RIFF/WAV and SoundFont chunks, raw PCM output.
// (MIDI files are big-endian; the song reader assembles those from its
// stream.) Bytes are assembled one by one, never by casting a pointer to the
// file's bytes into a wider type, so alignment and host order do not matter.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pocketmidi {

constexpr bool kLittleEndianHost = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

inline uint16_t LoadLe16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }
inline uint32_t LoadLe32(const uint8_t* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

inline void StoreLe16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}
inline void StoreLe32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Turns 16-bit values just read from a little-endian file into host values,
// in place. Nothing to do on a little-endian host.
inline void LittleEndian16ToHost(int16_t* values, size_t count) {
  if (kLittleEndianHost) return;
  uint8_t* bytes = reinterpret_cast<uint8_t*>(values);
  for (size_t i = 0; i < count; ++i) values[i] = static_cast<int16_t>(LoadLe16(bytes + 2 * i));
}

}  // namespace pocketmidi
