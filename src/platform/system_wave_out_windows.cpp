// The bridge to the system's waveOut (winmm). Our records and the system's
// differ in one place: the system's WAVEHDR carries two driver words more (48
// bytes on 64-bit Windows, where ours is 32). So every client header a device
// prepares gets a system header of its own, which points at the same samples
// and goes to the system in its place; completions are mapped back before
// the client's procedure sees them. Everything else (format, capabilities,
// position, results, flags, messages) has the same layout and values, which
// the assertions below check.
//
// Callbacks: the system calls our procedure, which calls the client's; the
// sink queues its next block from there, as on the handheld. No lock of ours
// is held across a system call: the system may deliver a callback (whose
// client calls back in here) before the call returns.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "platform/system_wave_out.h"
#include "platform/wave_out.h"

namespace pocketmidi::system_wave_out {
namespace {

// Our names, taken before the system's headers turn them into macros.
using ClientHeader = pocketmidi::WAVEHDR;
using ClientCaps = pocketmidi::WAVEOUTCAPS;
using ClientFormat = pocketmidi::WAVEFORMATEX;
using ClientTime = pocketmidi::MMTIME;
constexpr uint32_t kClientMapper = pocketmidi::WAVE_MAPPER;
constexpr uint32_t kClientQuery = pocketmidi::WAVE_FORMAT_QUERY;
constexpr uint32_t kClientCallbackFunction = pocketmidi::CALLBACK_FUNCTION;
constexpr uint32_t kClientOpen = pocketmidi::WOM_OPEN;
constexpr uint32_t kClientDone = pocketmidi::WOM_DONE;
constexpr uint32_t kClientClose = pocketmidi::WOM_CLOSE;
constexpr uint32_t kClientPrepared = pocketmidi::WHDR_PREPARED;
constexpr uint32_t kClientFlagDone = pocketmidi::WHDR_DONE;
constexpr uint32_t kClientInQueue = pocketmidi::WHDR_INQUEUE;
constexpr MMRESULT kNoError = pocketmidi::MMSYSERR_NOERROR;
constexpr MMRESULT kInvalidHandle = pocketmidi::MMSYSERR_INVALHANDLE;
constexpr MMRESULT kInvalidParam = pocketmidi::MMSYSERR_INVALPARAM;
constexpr MMRESULT kNoMemory = pocketmidi::MMSYSERR_NOMEM;
constexpr MMRESULT kStillPlaying = pocketmidi::WAVERR_STILLPLAYING;
constexpr MMRESULT kUnprepared = pocketmidi::WAVERR_UNPREPARED;

}  // namespace
}  // namespace pocketmidi::system_wave_out

#include <windows.h>
// windows.h first: mmsystem.h needs its types.
#include <mmsystem.h>

namespace pocketmidi::system_wave_out {
namespace {

static_assert(kClientMapper == WAVE_MAPPER && kClientQuery == WAVE_FORMAT_QUERY &&
              kClientCallbackFunction == CALLBACK_FUNCTION);
static_assert(kClientOpen == WOM_OPEN && kClientDone == WOM_DONE && kClientClose == WOM_CLOSE);
static_assert(kClientPrepared == WHDR_PREPARED && kClientFlagDone == WHDR_DONE &&
              kClientInQueue == WHDR_INQUEUE);
static_assert(kNoError == MMSYSERR_NOERROR && kInvalidHandle == MMSYSERR_INVALHANDLE &&
              kInvalidParam == MMSYSERR_INVALPARAM && kNoMemory == MMSYSERR_NOMEM &&
              kStillPlaying == WAVERR_STILLPLAYING && kUnprepared == WAVERR_UNPREPARED);
static_assert(sizeof(ClientCaps) == sizeof(WAVEOUTCAPSW) &&
              offsetof(ClientCaps, szPname) == offsetof(WAVEOUTCAPSW, szPname) &&
              offsetof(ClientCaps, dwFormats) == offsetof(WAVEOUTCAPSW, dwFormats) &&
              offsetof(ClientCaps, dwSupport) == offsetof(WAVEOUTCAPSW, dwSupport));
static_assert(sizeof(ClientFormat) == sizeof(::WAVEFORMATEX));
static_assert(sizeof(ClientTime) == sizeof(::MMTIME));

// One client header and the system header that stands for it.
struct HeaderPair {
  ClientHeader* client;
  std::unique_ptr<::WAVEHDR> system;
};

struct SystemDevice : WaveOutHandle {
  ::HWAVEOUT system = nullptr;
  WaveOutProc procedure = nullptr;
  uintptr_t instance = 0;
  std::mutex mutex;  // headers
  std::vector<HeaderPair> headers;

  ::WAVEHDR* Find(const ClientHeader* client) {  // mutex held
    for (HeaderPair& pair : headers) {
      if (pair.client == client) return pair.system.get();
    }
    return nullptr;
  }
};

struct DeviceTable {
  std::mutex mutex;
  std::vector<SystemDevice*> devices;
};

DeviceTable& Devices() {
  static DeviceTable table;
  return table;
}

SystemDevice* FindDevice(HWAVEOUT handle) {
  if (handle == nullptr) return nullptr;
  DeviceTable& table = Devices();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = std::find_if(table.devices.begin(), table.devices.end(),
                         [handle](SystemDevice* open) { return HWAVEOUT{open} == handle; });
  return it == table.devices.end() ? nullptr : *it;
}

void Forget(SystemDevice* device) {
  DeviceTable& table = Devices();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.devices.erase(std::remove(table.devices.begin(), table.devices.end(), device),
                      table.devices.end());
}

void MarkDone(ClientHeader* client) {
  client->dwFlags = (client->dwFlags & ~kClientInQueue) | kClientFlagDone;
}

void CALLBACK SystemProcedure(::HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                              DWORD_PTR) {
  auto* device = reinterpret_cast<SystemDevice*>(instance);
  uintptr_t clientParam = 0;
  if (message == WOM_DONE) {
    auto* client = reinterpret_cast<ClientHeader*>(reinterpret_cast<::WAVEHDR*>(param1)->dwUser);
    MarkDone(client);
    clientParam = reinterpret_cast<uintptr_t>(client);
  } else if (message != WOM_OPEN && message != WOM_CLOSE) {
    return;
  }
  if (device->procedure != nullptr) {
    device->procedure(device, message, device->instance, clientParam, 0);
  }
}

}  // namespace

uint32_t GetNumDevs() { return ::waveOutGetNumDevs(); }

MMRESULT GetDevCaps(uint32_t deviceId, WAVEOUTCAPS* caps, uint32_t capsBytes) {
  if (caps == nullptr || capsBytes == 0) return kInvalidParam;
  WAVEOUTCAPSW full{};
  const MMRESULT result = ::waveOutGetDevCapsW(deviceId, &full, sizeof(full));
  if (result != kNoError) return result;
  // A smaller buffer gets the start of the record, as the system would give it.
  std::memcpy(caps, &full, std::min<uint32_t>(capsBytes, sizeof(full)));
  return kNoError;
}

MMRESULT Open(HWAVEOUT* device, uint32_t deviceId, const ClientFormat* format, uintptr_t callback,
              uintptr_t instance, uint32_t flags) {
  if (format == nullptr) return kInvalidParam;
  ::WAVEFORMATEX wave{};
  wave.wFormatTag = format->wFormatTag;
  wave.nChannels = format->nChannels;
  wave.nSamplesPerSec = format->nSamplesPerSec;
  wave.nAvgBytesPerSec = format->nAvgBytesPerSec;
  wave.nBlockAlign = format->nBlockAlign;
  wave.wBitsPerSample = format->wBitsPerSample;
  wave.cbSize = 0;
  if (flags & kClientQuery) return ::waveOutOpen(nullptr, deviceId, &wave, 0, 0, WAVE_FORMAT_QUERY);
  if (device == nullptr) return kInvalidParam;
  const uint32_t callbackType = flags & CALLBACK_TYPEMASK;
  if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_FUNCTION) return kInvalidParam;

  auto* opened = new (std::nothrow) SystemDevice();
  if (opened == nullptr) return kNoMemory;
  opened->procedure =
      callbackType == CALLBACK_FUNCTION ? reinterpret_cast<WaveOutProc>(callback) : nullptr;
  opened->instance = instance;
  {
    DeviceTable& table = Devices();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.devices.push_back(opened);
  }
  *device = opened;  // before WOM_OPEN, which carries it
  // Our procedure in every case: it keeps the client's flags up to date.
  const MMRESULT result =
      ::waveOutOpen(&opened->system, deviceId, &wave, reinterpret_cast<DWORD_PTR>(&SystemProcedure),
                    reinterpret_cast<DWORD_PTR>(opened), CALLBACK_FUNCTION);
  if (result != kNoError) {
    *device = nullptr;
    Forget(opened);
    delete opened;
  }
  return result;
}

// A client header's system header, made on first use. The pointer stays
// valid until the client header is unprepared.
::WAVEHDR* SystemHeaderFor(SystemDevice* device, ClientHeader* header, bool create) {
  std::lock_guard<std::mutex> lock(device->mutex);
  ::WAVEHDR* system = device->Find(header);
  if (system != nullptr || !create) return system;
  device->headers.push_back(HeaderPair{header, std::make_unique<::WAVEHDR>()});
  return device->headers.back().system.get();
}

MMRESULT Close(HWAVEOUT handle) {
  SystemDevice* device = FindDevice(handle);
  if (device == nullptr) return kInvalidHandle;
  std::vector<::WAVEHDR*> idle;
  {
    std::lock_guard<std::mutex> lock(device->mutex);
    for (HeaderPair& pair : device->headers) {
      if ((pair.system->dwFlags & WHDR_INQUEUE) == 0) idle.push_back(pair.system.get());
    }
  }
  // Prepared but idle headers go back to the system first.
  for (::WAVEHDR* system : idle) {
    ::waveOutUnprepareHeader(device->system, system, sizeof(::WAVEHDR));
  }
  const MMRESULT result = ::waveOutClose(device->system);
  if (result != kNoError) return result;
  Forget(device);
  delete device;
  return kNoError;
}

MMRESULT PrepareHeader(HWAVEOUT handle, ClientHeader* header, uint32_t headerBytes) {
  SystemDevice* device = FindDevice(handle);
  if (device == nullptr) return kInvalidHandle;
  if (header == nullptr || headerBytes < sizeof(ClientHeader)) return kInvalidParam;
  ::WAVEHDR* system = SystemHeaderFor(device, header, true);
  if (system->dwFlags & WHDR_INQUEUE) return kStillPlaying;
  if (system->dwFlags & WHDR_PREPARED) {
    // The client may have refilled the header since: prepare it afresh.
    ::waveOutUnprepareHeader(device->system, system, sizeof(::WAVEHDR));
  }
  *system = ::WAVEHDR{};
  system->lpData = header->lpData;
  system->dwBufferLength = header->dwBufferLength;
  system->dwUser = reinterpret_cast<DWORD_PTR>(header);
  system->dwFlags = header->dwFlags & (WHDR_BEGINLOOP | WHDR_ENDLOOP);
  system->dwLoops = header->dwLoops;
  const MMRESULT result = ::waveOutPrepareHeader(device->system, system, sizeof(::WAVEHDR));
  if (result == kNoError) header->dwFlags |= kClientPrepared;
  return result;
}

MMRESULT UnprepareHeader(HWAVEOUT handle, ClientHeader* header, uint32_t headerBytes) {
  SystemDevice* device = FindDevice(handle);
  if (device == nullptr) return kInvalidHandle;
  if (header == nullptr || headerBytes < sizeof(ClientHeader)) return kInvalidParam;
  ::WAVEHDR* system = SystemHeaderFor(device, header, false);
  if (system != nullptr) {
    const MMRESULT result = ::waveOutUnprepareHeader(device->system, system, sizeof(::WAVEHDR));
    if (result != kNoError) return result;
    std::lock_guard<std::mutex> lock(device->mutex);
    device->headers.erase(
        std::find_if(device->headers.begin(), device->headers.end(),
                     [header](const HeaderPair& pair) { return pair.client == header; }));
  }
  header->dwFlags &= ~kClientPrepared;
  return kNoError;
}

MMRESULT Write(HWAVEOUT handle, ClientHeader* header, uint32_t headerBytes) {
  SystemDevice* device = FindDevice(handle);
  if (device == nullptr) return kInvalidHandle;
  if (header == nullptr || headerBytes < sizeof(ClientHeader)) return kInvalidParam;
  ::WAVEHDR* system = SystemHeaderFor(device, header, false);
  if (system == nullptr || (header->dwFlags & kClientPrepared) == 0) return kUnprepared;
  if (system->dwFlags & WHDR_INQUEUE) return kStillPlaying;
  // Marked before the call: the block may be done before it returns.
  const uint32_t before = header->dwFlags;
  header->dwFlags = (before & ~kClientFlagDone) | kClientInQueue;
  const MMRESULT result = ::waveOutWrite(device->system, system, sizeof(::WAVEHDR));
  if (result != kNoError) header->dwFlags = before;
  return result;
}

MMRESULT Pause(HWAVEOUT handle) {
  SystemDevice* device = FindDevice(handle);
  return device != nullptr ? ::waveOutPause(device->system) : kInvalidHandle;
}

MMRESULT Restart(HWAVEOUT handle) {
  SystemDevice* device = FindDevice(handle);
  return device != nullptr ? ::waveOutRestart(device->system) : kInvalidHandle;
}

MMRESULT Reset(HWAVEOUT handle) {
  SystemDevice* device = FindDevice(handle);
  return device != nullptr ? ::waveOutReset(device->system) : kInvalidHandle;
}

MMRESULT SetVolume(HWAVEOUT handle, uint32_t volume) {
  SystemDevice* device = FindDevice(handle);
  return device != nullptr ? ::waveOutSetVolume(device->system, volume) : kInvalidHandle;
}

MMRESULT GetVolume(HWAVEOUT handle, uint32_t* volume) {
  SystemDevice* device = FindDevice(handle);
  if (device == nullptr) return kInvalidHandle;
  if (volume == nullptr) return kInvalidParam;
  DWORD level = 0;
  const MMRESULT result = ::waveOutGetVolume(device->system, &level);
  if (result == kNoError) *volume = level;
  return result;
}

MMRESULT GetPosition(HWAVEOUT handle, ClientTime* time, uint32_t timeBytes) {
  SystemDevice* device = FindDevice(handle);
  if (device == nullptr) return kInvalidHandle;
  if (time == nullptr || timeBytes < sizeof(ClientTime)) return kInvalidParam;
  ::MMTIME system{};
  system.wType = time->wType;
  const MMRESULT result = ::waveOutGetPosition(device->system, &system, sizeof(system));
  if (result == kNoError) std::memcpy(time, &system, sizeof(ClientTime));
  return result;
}

}  // namespace pocketmidi::system_wave_out
