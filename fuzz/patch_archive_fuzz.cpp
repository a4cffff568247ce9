// libFuzzer target: the patch archive loader, with a generated
// configuration and song whose instruments come from the fuzzed archive,
// loaded all at open and then rendered.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "api/midi_decoder.h"
#include "fuzz_files.h"
#include "io/file_stream.h"
#include "platform/utf16_path.h"

namespace {

// Programs 0 and 1 (the two patches) and drum note 36, over half a second.
const uint8_t kSong[] = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,  //
    'M', 'T', 'r', 'k', 0, 0, 0, 27,                    //
    0, 0x90, 60, 100,  0, 0xC1, 1,   0, 0x91, 72, 90,   //
    0, 0x99, 36, 127,  48, 0x80, 60, 0, 48, 0x81, 72, 0,  //
    0, 0xFF, 0x2F, 0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pocketmidi;
  static const std::string songPath = [] {
    soundset::WriteConfigDirectory(fuzz::WorkDirectory(), fuzz::TwoPatchConfig());
    return fuzz::WriteInput("song.mid", kSong, sizeof kSong);
  }();
  fuzz::WriteInput("patches.pat", data, size);
  FileStream* stream = FileOpenW(Utf8ToUtf16(songPath).c_str(), kOpenRead);
  if (stream == nullptr) return 0;
  const std::u16string dir = Utf8ToUtf16(fuzz::WorkDirectory());
  StreamDecoder* decoder = CreateDecoder(kFileMidi, dir.c_str());
  if (decoder != nullptr && decoder->Open(stream, nullptr) == kDecoderOpened) {
    std::vector<uint8_t> buffer(8192);
    for (int i = 0; i < 4 && decoder->Render(buffer.data(), buffer.size()) > 0; ++i) {
    }
  }
  delete decoder;
  FileClose(stream);
  return 0;
}
