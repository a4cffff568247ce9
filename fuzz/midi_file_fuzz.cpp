// libFuzzer target: the Standard MIDI File reader, as MIDI_GetInfo reads a
// song and as the decoder opens, renders and seeks it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "api/midi_decoder.h"
#include "fuzz_files.h"
#include "io/file_stream.h"
#include "platform/utf16_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pocketmidi;
  static const std::string config = [] {
    fuzz::WriteInput("song.mid", nullptr, 0);
    soundset::WriteSoundSet(fuzz::WorkDirectory(), fuzz::TwoPatchConfig(), fuzz::TwoPatches(), true);
    return fuzz::WorkDirectory();
  }();
  const std::string path = fuzz::WriteInput("song.mid", data, size);
  FileStream* stream = FileOpenW(Utf8ToUtf16(path).c_str(), kOpenRead);
  if (stream == nullptr) return 0;
  const std::u16string dir = Utf8ToUtf16(config);
  {
    MidiDecoder probe;
    MidiFileInfo info{};
    probe.GetInfo(stream, &info);
  }
  FileSeek(stream, kFromStart, 0);
  StreamDecoder* decoder = CreateDecoder(kFileMidi, dir.c_str());
  if (decoder != nullptr && decoder->Open(stream, nullptr) == kDecoderOpened) {
    // A fuzzed song may last hours: render a bounded slice at its start
    // and one in its middle.
    std::vector<uint8_t> buffer(4096);
    for (int i = 0; i < 8 && decoder->Render(buffer.data(), buffer.size()) > 0; ++i) {
    }
    // Targets beyond about 11 hours overflow the decoder's 32-bit frame
    // conversion (reported); stay below them to fuzz what follows.
    const int32_t middle = decoder->GetDuration() / 2;
    decoder->Seek(middle < 3600000 ? middle : 3600000, kSeekFromStart);
    for (int i = 0; i < 4 && decoder->Render(buffer.data(), buffer.size()) > 0; ++i) {
    }
  }
  delete decoder;
  FileClose(stream);
  return 0;
}
