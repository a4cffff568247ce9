// The exported MIDI_GetInfo.
#include <new>

#include "api/midi_decoder.h"
#include "api/song_info.h"
#include "io/file_stream.h"

namespace pocketmidi {

int32_t ReadSongInfo(const char16_t* path, MidiFileInfo* info) {
  if (path == nullptr || info == nullptr) return 0;
  auto* decoder = new (std::nothrow) MidiDecoder();
  if (decoder == nullptr) return 0;
  FileStream* stream = FileOpenW(path, kOpenRead);
  int32_t result = 0;
  if (stream != nullptr) {
    InfoProbe* probe = decoder;
    result = probe->GetInfo(stream, info);
  }
  delete static_cast<InfoProbe*>(decoder);
  if (stream != nullptr) FileClose(stream);
  return result;
}

}  // namespace pocketmidi

extern "C" POCKETMIDI_API int32_t MIDI_GetInfo(const MIDI_CHAR16* path, MidiFileInfo* info) {
  return pocketmidi::ReadSongInfo(path, info);
}
