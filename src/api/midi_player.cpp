// MidiPlayer: opening, closing, the PCM buffers and the queries. Playback
// (Play, the block pump, Stop, Pause, Resume) is in player_pump.cpp.
#include "api/midi_player.h"

#include <cstdlib>
#include <new>

#include "api/file_type.h"
#include "api/midi_decoder.h"
#include "api/pcm_buffer_size.h"
#include "api/stream_decoder.h"
#include "io/file_stream.h"
#include "output/wave_out_sink.h"
#include "platform/utf16_path.h"

namespace pocketmidi {

MidiPlayer::MidiPlayer()
    : buffers{{0, nullptr}, {0, nullptr}, {0, nullptr}},
      state(kPlayerStopped),
      decoder(nullptr),
      sink(nullptr),
      stream(nullptr),
      currentBuffer(0),
      loaded(0),
      format{0, 0, 0, 0},
      remainingBytes(0),
      passBytes(0),
      passesLeft(0),
      startMs(0),
      bufferBytes(0),
      configDirectory{},
      callback(nullptr),
      user(nullptr) {}

MidiPlayer::~MidiPlayer() {
  Close();
  FreeBuffers();
}

bool MidiPlayer::InsideCallback() {
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  return reportDepth_ > 0 && reportingThread_ == std::this_thread::get_id();
}

void MidiPlayer::SetConfigDirectory(const char16_t* directory) {
  if (directory == nullptr) return;
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  configRefused_ = !CopyUtf16(configDirectory, kMaxPathUnits, directory);
  if (configRefused_) configDirectory[0] = u'\0';
}

void MidiPlayer::SetCallback(ProgressCallback newCallback, void* newUser) {
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  callback = newCallback;
  user = newUser;
}

int32_t MidiPlayer::Open(const char16_t* path, const FormatOverride* formatOverride) {
  if (InsideCallback()) return 0;
  std::lock_guard<std::mutex> host(hostMutex_);
  // Leftovers of a failed open are released too, not only a loaded song.
  if (loaded || stream != nullptr || sink != nullptr || decoder != nullptr) CloseHost();
  if (configRefused_) return 0;
  FileStream* opened = FileOpenW(path, kOpenRead);
  if (opened == nullptr) return 0;
  StreamDecoder* created = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(stateMutex_);
    stream = opened;
    sink = new (std::nothrow) WaveOutSink();
    if (sink == nullptr) return 0;
    created = CreateDecoder(DetectFileType(stream), configDirectory);
    decoder = created;
    if (decoder == nullptr) return 0;
  }
  return OpenStreamHost(stream, created, formatOverride);
}

int32_t MidiPlayer::OpenStream(FileStream* newStream, StreamDecoder* newDecoder,
                               const FormatOverride* formatOverride) {
  if (InsideCallback()) return 0;
  std::lock_guard<std::mutex> host(hostMutex_);
  if (loaded || stream != nullptr || sink != nullptr || decoder != nullptr) CloseHost();
  {
    std::lock_guard<std::recursive_mutex> lock(stateMutex_);
    stream = newStream;
    if (stream == nullptr) return 0;
    sink = new (std::nothrow) WaveOutSink();
    if (sink == nullptr) return 0;
    decoder = newDecoder;
    if (decoder == nullptr) return 0;
  }
  return OpenStreamHost(stream, decoder, formatOverride);
}

// Steps shared by both opens, once stream, sink and decoder are in place.
int32_t MidiPlayer::OpenStreamHost(FileStream* newStream, StreamDecoder* newDecoder,
                                   const FormatOverride* formatOverride) {
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  if (configRefused_) return 0;
  // A failed decoder open is not closed here: Close or the destructor does it.
  if (newDecoder->Open(newStream, formatOverride) != kDecoderOpened) return 0;
  if (newDecoder->GetFormat(&format) == 0 || !AllocateBuffers() ||
      sink->Open(&format, &MidiPlayer::BufferDone, this) == 0) {
    newDecoder->Close();
    return 0;
  }
  state = kPlayerStopped;
  queuedCount_ = 0;
  loaded = 1;
  return newDecoder->GetDuration();
}

int32_t MidiPlayer::Close() {
  if (InsideCallback()) return 0;
  std::lock_guard<std::mutex> host(hostMutex_);
  return CloseHost();
}

int32_t MidiPlayer::CloseHost() {
  if (loaded) StopHost();
  FileStream* oldStream;
  AudioSink* oldSink;
  StreamDecoder* oldDecoder;
  {
    // Detached under the lock: a BufferDone still waiting for it finds no
    // sink and returns.
    std::lock_guard<std::recursive_mutex> lock(stateMutex_);
    oldStream = stream;
    oldSink = sink;
    oldDecoder = decoder;
    stream = nullptr;
    sink = nullptr;
    decoder = nullptr;
    loaded = 0;
    queuedCount_ = 0;
  }
  // Without stateMutex_: closing the sink waits for the device thread.
  if (oldStream != nullptr) FileClose(oldStream);
  if (oldSink != nullptr) {
    int32_t result = oldSink->Close();
    if (result != kSinkOk && oldSink->GetHandle() != nullptr) {
      // Still open: its reset failed with blocks queued. Let them drain.
      result = WaitForDeviceRelease(oldSink) ? oldSink->Close() : kSinkFailed;
    }
    if (result != kSinkOk && oldSink->GetHandle() != nullptr) {
      // The device refuses to stop and to close: its thread may still read
      // the sink and the PCM, so both are abandoned rather than freed.
      deviceStuck_ = true;
    } else {
      delete oldSink;
    }
  }
  if (oldDecoder != nullptr) {
    oldDecoder->Close();
    delete oldDecoder;
  }
  return 1;
}

bool MidiPlayer::AllocateBuffers() {
  // Sized once for the player's life, even if a later song has another format.
  if (bufferBytes != 0) return true;
  const uint32_t bytes = PlayerBufferBytes(format);
  if (bytes == 0) return false;
  auto* block = static_cast<uint8_t*>(std::malloc(size_t{bytes} * 3));
  if (block == nullptr) return false;
  bufferBytes = bytes;
  for (int i = 0; i < 3; ++i) buffers[i].data = block + size_t{bytes} * i;
  return true;
}

void MidiPlayer::FreeBuffers() {
  if (bufferBytes != 0 && !deviceStuck_) std::free(buffers[0].data);
  bufferBytes = 0;
  for (PcmBuffer& buffer : buffers) buffer = PcmBuffer{0, nullptr};
}

int32_t MidiPlayer::SetVolume(int32_t percent) {
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  if (!loaded || sink == nullptr) return 0;
  return sink->SetVolume(percent & 0xFFFF) == kSinkOk ? 1 : 0;
}

int32_t MidiPlayer::GetVolume() {
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  if (!loaded) return -1;
  return sink->GetVolume();
}

int32_t MidiPlayer::GetDuration() {
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  if (!loaded) return -1;
  return decoder->GetDuration();
}

// Device time, minus what is rendered but not heard yet, plus where
// rendering has got to.
int32_t MidiPlayer::GetPosition() {
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  if (!loaded) return -1;
  const uint32_t bytesPerMs = (format.bitsPerSample / 8) * format.sampleRate * format.channels / 1000;
  const int32_t buffered = buffers[0].length + buffers[1].length + buffers[2].length;
  const int32_t bufferedMs = bytesPerMs != 0 ? buffered / static_cast<int32_t>(bytesPerMs) : 0;
  // 32-bit wrap, as the device counter itself wraps.
  return static_cast<int32_t>(static_cast<uint32_t>(sink->GetPosition()) -
                              static_cast<uint32_t>(bufferedMs) +
                              static_cast<uint32_t>(decoder->GetPosition()));
}

int32_t MidiPlayer::GetStatus() {
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  return state;
}

HWAVEOUT MidiPlayer::GetWaveOut() {
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  return sink != nullptr ? sink->GetHandle() : nullptr;
}

}  // namespace pocketmidi
