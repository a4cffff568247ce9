// The waveOut* calls for our own devices: handle and argument checks, the
// faults that POCKETMIDI_AUDIO asks for, device creation, and unit conversions.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/audio_backend_setting.h"
#include "platform/utf16_path.h"
#include "platform/virtual_wave_out.h"
#include "platform/wave_out.h"
#include "platform/wave_out_backend.h"
#include "platform/wave_out_device.h"

namespace pocketmidi::virtual_wave_out {
namespace {

// The open devices, as the system's handle table: a stale or made-up handle
// answers MMSYSERR_INVALHANDLE instead of being dereferenced.
struct HandleTable {
  std::mutex mutex;
  std::vector<WaveOutDevice*> devices;
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

// Compares handles only: an unknown one is never converted or dereferenced.
WaveOutDevice* Find(HWAVEOUT device) {
  if (device == nullptr) return nullptr;
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = std::find_if(table.devices.begin(), table.devices.end(),
                         [device](WaveOutDevice* open) { return HWAVEOUT{open} == device; });
  return it == table.devices.end() ? nullptr : *it;
}

void Register(WaveOutDevice* device) {
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.devices.push_back(device);
}

void Unregister(WaveOutDevice* device) {
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.devices.erase(std::remove(table.devices.begin(), table.devices.end(), device),
                      table.devices.end());
}

// What every device here can play: PCM, mono or stereo, 8 or 16 bits, with a
// consistent block alignment and byte rate.
bool FormatSupported(const WAVEFORMATEX& format) {
  if (format.wFormatTag != WAVE_FORMAT_PCM) return false;
  if (format.nChannels != 1 && format.nChannels != 2) return false;
  if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) return false;
  if (format.nSamplesPerSec < 1000 || format.nSamplesPerSec > 192000) return false;
  uint32_t align = static_cast<uint32_t>(format.nChannels) * format.wBitsPerSample / 8;
  return format.nBlockAlign == align && format.nAvgBytesPerSec == align * format.nSamplesPerSec;
}

const char16_t* ProductName(AudioBackendKind kind) {
  switch (kind) {
    case AudioBackendKind::kDefault:
      return u"Default audio device";
    case AudioBackendKind::kAlsa:
      return u"ALSA audio device";
    case AudioBackendKind::kNull:
      return u"Null audio device";
    case AudioBackendKind::kFast:
      return u"Fast audio device";
    case AudioBackendKind::kWav:
      return u"WAV file audio device";
  }
  return u"";
}

bool ValidDeviceId(uint32_t deviceId, const AudioBackendSetting& setting) {
  if (setting.deviceCount == 0) return false;
  return deviceId == WAVE_MAPPER || deviceId < setting.deviceCount;
}

std::unique_ptr<WaveOutBackend> OpenBackend(const AudioBackendSetting& setting,
                                            const WAVEFORMATEX& format, MMRESULT* result) {
  std::unique_ptr<WaveOutBackend> backend;
#if POCKETMIDI_WITH_ALSA
  if (setting.kind == AudioBackendKind::kAlsa || setting.kind == AudioBackendKind::kDefault) {
    backend = CreateAlsaBackend(setting.argument);  // null when built without ALSA
    *result = backend != nullptr ? backend->Open(format) : MMSYSERR_NODRIVER;
    if (*result == MMSYSERR_NOERROR) return backend;
    if (setting.kind == AudioBackendKind::kAlsa) return nullptr;
    // No sound card: the default falls back to the null device.
  }
#else
  // Built without ALSA: "alsa" names no driver, the default is the null device.
  if (setting.kind == AudioBackendKind::kAlsa) {
    *result = MMSYSERR_NODRIVER;
    return nullptr;
  }
#endif
  backend = CreateVirtualBackend(setting);
  *result = backend->Open(format);
  if (*result != MMSYSERR_NOERROR) return nullptr;
  return backend;
}

}  // namespace

bool Owns(HWAVEOUT handle) { return Find(handle) != nullptr; }

uint32_t waveOutGetNumDevs() {
  AudioBackendSetting setting;
  return ReadAudioBackendSetting(&setting) ? setting.deviceCount : 0;
}

MMRESULT waveOutGetDevCaps(uint32_t deviceId, WAVEOUTCAPS* caps, uint32_t capsBytes) {
  AudioBackendSetting setting;
  if (!ReadAudioBackendSetting(&setting)) return MMSYSERR_NODRIVER;
  if (!ValidDeviceId(deviceId, setting)) return MMSYSERR_BADDEVICEID;
  if (caps == nullptr || capsBytes == 0) return MMSYSERR_INVALPARAM;
  if (setting.capsFail) return MMSYSERR_ERROR;
  WAVEOUTCAPS full{};
  full.wMid = 0xFF;  // "unknown manufacturer"
  full.wPid = static_cast<uint16_t>(setting.kind);
  full.vDriverVersion = 0x0100;
  CopyUtf16(full.szPname, kWaveOutNameUnits, ProductName(setting.kind));
  full.dwFormats = setting.capsFormats;
  full.wChannels = setting.capsChannels;
  full.dwSupport = WAVECAPS_VOLUME | WAVECAPS_LRVOLUME | WAVECAPS_SAMPLEACCURATE;
  // A smaller buffer gets the start of the record, as on the handheld.
  std::memcpy(caps, &full, std::min<uint32_t>(capsBytes, sizeof(full)));
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutOpen(HWAVEOUT* device, uint32_t deviceId, const WAVEFORMATEX* format,
                     uintptr_t callback, uintptr_t instance, uint32_t flags) {
  AudioBackendSetting setting;
  if (!ReadAudioBackendSetting(&setting)) return MMSYSERR_NODRIVER;
  if (setting.deviceCount == 0) return MMSYSERR_NODRIVER;
  if (!ValidDeviceId(deviceId, setting)) return MMSYSERR_BADDEVICEID;
  if (format == nullptr) return MMSYSERR_INVALPARAM;
  if (!FormatSupported(*format)) return WAVERR_BADFORMAT;
  if (flags & WAVE_FORMAT_QUERY) return MMSYSERR_NOERROR;
  if (device == nullptr) return MMSYSERR_INVALPARAM;
  uint32_t callbackType = flags & CALLBACK_TYPEMASK;
  if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_FUNCTION) {
    return MMSYSERR_INVALPARAM;
  }
  *device = nullptr;
  if (setting.openNoHandle) return MMSYSERR_NOERROR;

  MMRESULT result = MMSYSERR_NOERROR;
  std::unique_ptr<WaveOutBackend> backend = OpenBackend(setting, *format, &result);
  if (backend == nullptr) return result;
  WaveOutProc procedure =
      callbackType == CALLBACK_FUNCTION ? reinterpret_cast<WaveOutProc>(callback) : nullptr;
  auto* opened =
      new (std::nothrow) WaveOutDevice(std::move(backend), *format, setting, procedure, instance);
  if (opened == nullptr) return MMSYSERR_NOMEM;
  Register(opened);
  *device = opened;  // before the first message, which carries it
  opened->Start();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT handle) {
  WaveOutDevice* device = Find(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  // close=stillplaying: the first close answers as a device still busy with a
  // block would, so the caller's reset-and-close-again path runs.
  if (device->setting().closeStillPlaying && device->TakeCloseFault()) return WAVERR_STILLPLAYING;
  MMRESULT result = device->Close();
  if (result != MMSYSERR_NOERROR) return result;
  Unregister(device);
  delete device;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, uint32_t headerBytes) {
  WaveOutDevice* device = Find(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (header == nullptr || headerBytes < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  if (device->setting().prepareResult != MMSYSERR_NOERROR) return device->setting().prepareResult;
  return device->Prepare(header);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, uint32_t headerBytes) {
  WaveOutDevice* device = Find(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (header == nullptr || headerBytes < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  return device->Unprepare(header);
}

MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, uint32_t headerBytes) {
  WaveOutDevice* device = Find(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (header == nullptr || headerBytes < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  if (device->setting().writeResult != MMSYSERR_NOERROR) return device->setting().writeResult;
  return device->Write(header);
}

MMRESULT waveOutPause(HWAVEOUT handle) {
  WaveOutDevice* device = Find(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (device->setting().pauseResult != MMSYSERR_NOERROR) return device->setting().pauseResult;
  return device->Pause();
}

MMRESULT waveOutRestart(HWAVEOUT handle) {
  WaveOutDevice* device = Find(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (device->setting().restartResult != MMSYSERR_NOERROR) return device->setting().restartResult;
  return device->Restart();
}

MMRESULT waveOutReset(HWAVEOUT handle) {
  WaveOutDevice* device = Find(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (device->setting().resetResult != MMSYSERR_NOERROR) return device->setting().resetResult;
  return device->Reset();
}

MMRESULT waveOutSetVolume(HWAVEOUT handle, uint32_t volume) {
  WaveOutDevice* device = Find(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (device->setting().volumeResult != MMSYSERR_NOERROR) return device->setting().volumeResult;
  device->SetVolume(volume);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetVolume(HWAVEOUT handle, uint32_t* volume) {
  WaveOutDevice* device = Find(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (volume == nullptr) return MMSYSERR_INVALPARAM;
  if (device->setting().volumeResult != MMSYSERR_NOERROR) return device->setting().volumeResult;
  *volume = device->GetVolume();
  return MMSYSERR_NOERROR;
}

// Milliseconds, samples (frames) or bytes played since open or the last
// reset, truncated to 32 bits. A format the device does not keep (SMPTE,
// MIDI, ticks) is answered in bytes, with wType changed to say so.
MMRESULT waveOutGetPosition(HWAVEOUT handle, MMTIME* time, uint32_t timeBytes) {
  WaveOutDevice* device = Find(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (time == nullptr || timeBytes < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
  uint64_t bytes = device->PlayedBytes();
  const WAVEFORMATEX& format = device->format();
  uint32_t type = device->setting().positionInBytes ? TIME_BYTES : time->wType;
  if (type == TIME_MS) {
    time->u.ms = static_cast<uint32_t>(bytes * 1000u / format.nAvgBytesPerSec);
  } else if (type == TIME_SAMPLES) {
    time->u.sample = static_cast<uint32_t>(bytes / format.nBlockAlign);
  } else {
    type = TIME_BYTES;
    time->u.cb = static_cast<uint32_t>(bytes);
  }
  time->wType = type;
  return MMSYSERR_NOERROR;
}

}  // namespace pocketmidi::virtual_wave_out
