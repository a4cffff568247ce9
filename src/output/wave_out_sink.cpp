#include "output/wave_out_sink.h"

#include <cstring>

namespace pocketmidi {
namespace {

constexpr uint32_t kHeaderBytes = sizeof(WAVEHDR);
constexpr uint32_t kCapsBytes = sizeof(WAVEOUTCAPS);
constexpr uint32_t kTimeBytes = sizeof(MMTIME);

// The device's preferred rate, from the standard format bits it reports:
// the lowest of 11.025, 22.05 and 44.1 kHz it supports, else 8 kHz.
uint32_t DefaultRate(uint32_t formats) {
  if (formats & 0x00F) return 11025;
  if (formats & 0x0F0) return 22050;
  if (formats & 0xF00) return 44100;
  return 8000;
}

}  // namespace

int32_t WaveOutSink::Open(const AudioFormat* format, SinkEventFunction eventFunction, void* user) {
  if (format == nullptr) return 0;
  // Only mono and stereo exist here; any other channel count is refused
  // before a device is looked for.
  if (format->channels > 2) return 0;

  uint32_t count = waveOutGetNumDevs();
  WAVEOUTCAPS caps{};
  bool found = false;
  for (uint32_t i = 0; i < count && !found; ++i) {
    found = waveOutGetDevCaps(i, &caps, kCapsBytes) == MMSYSERR_NOERROR;
  }
  if (!found) return 0;

  WAVEFORMATEX wave{};
  wave.wFormatTag = (format->formatCode == 1 || format->formatCode == 2)
                        ? WAVE_FORMAT_PCM
                        : static_cast<uint16_t>(format->formatCode);
  wave.nChannels = format->channels == 0 ? caps.wChannels : static_cast<uint16_t>(format->channels);
  wave.nSamplesPerSec = format->sampleRate != 0 ? format->sampleRate : DefaultRate(caps.dwFormats);
  wave.wBitsPerSample =
      format->bitsPerSample != 0 ? static_cast<uint16_t>(format->bitsPerSample) : 8;
  wave.nBlockAlign =
      static_cast<uint16_t>(static_cast<uint32_t>(wave.wBitsPerSample) * wave.nChannels / 8);
  wave.nAvgBytesPerSec = static_cast<uint32_t>(wave.nBlockAlign) * wave.nSamplesPerSec;
  wave.cbSize = 0;

  eventFunction_ = eventFunction;
  user_ = user;
  // The result is not needed: only a handle counts as an open device.
  waveOutOpen(&device_, WAVE_MAPPER, &wave, reinterpret_cast<uintptr_t>(&DeviceProcedure),
              reinterpret_cast<uintptr_t>(this), CALLBACK_FUNCTION);
  return device_ != nullptr ? 1 : 0;
}

void WaveOutSink::DeviceProcedure(HWAVEOUT device, uint32_t message, uintptr_t instance,
                                  uintptr_t param1, uintptr_t) {
  auto* sink = reinterpret_cast<WaveOutSink*>(instance);
  SinkEvent event;
  switch (message) {
    case WOM_OPEN:
      event = kSinkOpened;
      break;
    case WOM_CLOSE:
      event = kSinkClosed;
      break;
    case WOM_DONE:
      // A block cancelled by Reset stays prepared and is not reported.
      if (sink->discardCompletions_.load() != 0) return;
      waveOutUnprepareHeader(device, reinterpret_cast<WAVEHDR*>(param1), kHeaderBytes);
      event = kSinkBlockDone;
      break;
    default:
      return;
  }
  if (sink->eventFunction_ != nullptr) sink->eventFunction_(sink->user_, event);
}

// A negative length is refused (-5) rather than handed to the device as a
// length of about 4 GB.
//
// The flag is cleared and the header switched just before waveOutWrite, not
// after it: a device may finish the block (and the event function queue the
// next one, from the callback thread) before waveOutWrite returns, and that
// completion must be reported and the next block must take the other header.
// A failed write puts both back, so a failure still changes nothing.
int32_t WaveOutSink::Write(const void* data, int32_t length) {
  if (length < 0) return kSinkFailed;
  const uint32_t current = nextHeader_ != 0 ? 1 : 0;
  WAVEHDR* header = &headers_[current];
  std::memset(header, 0, sizeof(*header));
  header->lpData = static_cast<char*>(const_cast<void*>(data));  // the device only reads it
  header->dwBufferLength = static_cast<uint32_t>(length);
  MMRESULT result = waveOutPrepareHeader(device_, header, kHeaderBytes);
  if (result != MMSYSERR_NOERROR) return SinkCodeFromResult(result);
  const uint32_t discarding = discardCompletions_.exchange(0);
  nextHeader_ = current ^ 1;
  result = waveOutWrite(device_, header, kHeaderBytes);
  if (result != MMSYSERR_NOERROR) {
    nextHeader_ = current;
    discardCompletions_.store(discarding);
    return SinkCodeFromResult(result);
  }
  return kSinkOk;
}

int32_t WaveOutSink::Pause() { return SinkCodeFromResult(waveOutPause(device_)); }

int32_t WaveOutSink::Restart() { return SinkCodeFromResult(waveOutRestart(device_)); }

int32_t WaveOutSink::Reset() {
  // Set before the reset: the completions it causes must already see it.
  discardCompletions_.store(1);
  return SinkCodeFromResult(waveOutReset(device_));
}

int32_t WaveOutSink::Close() {
  waveOutUnprepareHeader(device_, &headers_[0], kHeaderBytes);
  waveOutUnprepareHeader(device_, &headers_[1], kHeaderBytes);
  MMRESULT result = waveOutClose(device_);
  if (result == WAVERR_STILLPLAYING) {
    if (Reset() != kSinkOk) return kSinkFailed;
    return SinkCodeFromResult(waveOutClose(device_));
  }
  return SinkCodeFromResult(result);
}

// A header the device still holds cannot be unprepared; one it has let go
// of is unprepared here (again, harmlessly, if it already was).
bool WaveOutSink::HoldsBlocks() {
  if (device_ == nullptr) return false;
  bool holding = false;
  for (WAVEHDR& header : headers_) {
    holding |= waveOutUnprepareHeader(device_, &header, kHeaderBytes) == WAVERR_STILLPLAYING;
  }
  return holding;
}

int32_t WaveOutSink::SetVolume(int32_t percent) {
  if (percent < 0 || percent > 100) return kSinkFailed;
  uint32_t level = static_cast<uint32_t>(percent) * 65535u / 100u;
  return SinkCodeFromResult(waveOutSetVolume(device_, level * 0x10001u));
}

int32_t WaveOutSink::GetVolume() {
  uint32_t value = 0;
  MMRESULT result = waveOutGetVolume(device_, &value);
  if (result != MMSYSERR_NOERROR) return SinkCodeFromResult(result);
  return static_cast<int32_t>((value & 0xFFFF) * 100u / 65535u);
}

int32_t WaveOutSink::GetPosition() {
  MMTIME time{};
  time.wType = TIME_MS;
  if (waveOutGetPosition(device_, &time, kTimeBytes) != MMSYSERR_NOERROR) return 0;
  if (time.wType != TIME_MS) return 0;
  return static_cast<int32_t>(time.u.ms);
}

}  // namespace pocketmidi
