// waveOut on Windows: the system's own devices, unless POCKETMIDI_AUDIO names
// one of ours (null, fast, wav, with their fault options), which the tests
// need on every platform. The choice is made at open (and by
// the device count and capabilities); afterwards a handle says where it
// belongs.
#include <cstdlib>

#include "platform/system_wave_out.h"
#include "platform/virtual_wave_out.h"
#include "platform/wave_out.h"

namespace pocketmidi {
namespace {

bool VirtualDeviceChosen() {
  const char* setting = std::getenv("POCKETMIDI_AUDIO");
  return setting != nullptr && *setting != '\0';
}

}  // namespace

uint32_t waveOutGetNumDevs() {
  return VirtualDeviceChosen() ? virtual_wave_out::waveOutGetNumDevs()
                               : system_wave_out::GetNumDevs();
}

MMRESULT waveOutGetDevCaps(uint32_t deviceId, WAVEOUTCAPS* caps, uint32_t capsBytes) {
  return VirtualDeviceChosen() ? virtual_wave_out::waveOutGetDevCaps(deviceId, caps, capsBytes)
                               : system_wave_out::GetDevCaps(deviceId, caps, capsBytes);
}

MMRESULT waveOutOpen(HWAVEOUT* device, uint32_t deviceId, const WAVEFORMATEX* format,
                     uintptr_t callback, uintptr_t instance, uint32_t flags) {
  if (VirtualDeviceChosen()) {
    return virtual_wave_out::waveOutOpen(device, deviceId, format, callback, instance, flags);
  }
  return system_wave_out::Open(device, deviceId, format, callback, instance, flags);
}

MMRESULT waveOutClose(HWAVEOUT device) {
  return virtual_wave_out::Owns(device) ? virtual_wave_out::waveOutClose(device)
                                        : system_wave_out::Close(device);
}

MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes) {
  return virtual_wave_out::Owns(device)
             ? virtual_wave_out::waveOutPrepareHeader(device, header, headerBytes)
             : system_wave_out::PrepareHeader(device, header, headerBytes);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes) {
  return virtual_wave_out::Owns(device)
             ? virtual_wave_out::waveOutUnprepareHeader(device, header, headerBytes)
             : system_wave_out::UnprepareHeader(device, header, headerBytes);
}

MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes) {
  return virtual_wave_out::Owns(device) ? virtual_wave_out::waveOutWrite(device, header, headerBytes)
                                        : system_wave_out::Write(device, header, headerBytes);
}

MMRESULT waveOutPause(HWAVEOUT device) {
  return virtual_wave_out::Owns(device) ? virtual_wave_out::waveOutPause(device)
                                        : system_wave_out::Pause(device);
}

MMRESULT waveOutRestart(HWAVEOUT device) {
  return virtual_wave_out::Owns(device) ? virtual_wave_out::waveOutRestart(device)
                                        : system_wave_out::Restart(device);
}

MMRESULT waveOutReset(HWAVEOUT device) {
  return virtual_wave_out::Owns(device) ? virtual_wave_out::waveOutReset(device)
                                        : system_wave_out::Reset(device);
}

MMRESULT waveOutSetVolume(HWAVEOUT device, uint32_t volume) {
  return virtual_wave_out::Owns(device) ? virtual_wave_out::waveOutSetVolume(device, volume)
                                        : system_wave_out::SetVolume(device, volume);
}

MMRESULT waveOutGetVolume(HWAVEOUT device, uint32_t* volume) {
  return virtual_wave_out::Owns(device) ? virtual_wave_out::waveOutGetVolume(device, volume)
                                        : system_wave_out::GetVolume(device, volume);
}

MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, uint32_t timeBytes) {
  return virtual_wave_out::Owns(device)
             ? virtual_wave_out::waveOutGetPosition(device, time, timeBytes)
             : system_wave_out::GetPosition(device, time, timeBytes);
}

}  // namespace pocketmidi
