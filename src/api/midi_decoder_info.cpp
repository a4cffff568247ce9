// The MIDI decoder's construction, the decoder factory and the info probe
// behind MIDI_GetInfo.
#include <new>

#include "api/midi_decoder.h"
#include "io/file_stream.h"
#include "platform/utf16_path.h"
#include "song/midi_song.h"
#include "synth/song_duration.h"

namespace pocketmidi {

MidiDecoder::MidiDecoder() : song(nullptr), engine(nullptr) { configDirectory[0] = u'\0'; }

MidiDecoder::~MidiDecoder() { MidiDecoder::Close(); }

StreamDecoder* CreateDecoder(int32_t type, const char16_t* configDirectory) {
  if (type != kFileMidi) return nullptr;
  auto* decoder = new (std::nothrow) MidiDecoder();
  if (decoder == nullptr) return nullptr;
  // A directory cut short would name another directory: refuse it.
  if (!CopyUtf16(decoder->configDirectory, kMaxPathUnits, configDirectory)) {
    delete decoder;
    return nullptr;
  }
  return decoder;
}

// The song is read with SP-MIDI evaluation on and the default polyphony of
// 32: the information describes the file, not one configuration. No engine
// is needed, since the duration is computed from the event list alone.
int32_t MidiDecoder::GetInfo(FileStream* stream, MidiFileInfo* info) {
  if (stream == nullptr || info == nullptr) return 0;
  FileSeek(stream, kFromStart, 0);
  auto* probe = new (std::nothrow) MidiSong();
  if (probe == nullptr) return 0;
  const SongEventList* list = probe->Load(stream, info);
  info->durationMs = static_cast<uint32_t>(SongDurationMs(list));
  probe->ReleaseEvents();
  delete probe;
  return info->durationMs != 0 ? 1 : 0;
}

}  // namespace pocketmidi
