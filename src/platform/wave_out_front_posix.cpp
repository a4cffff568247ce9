// waveOut where the system has none: every call goes to our own devices.
#include "platform/virtual_wave_out.h"
#include "platform/wave_out.h"

namespace pocketmidi {

uint32_t waveOutGetNumDevs() { return virtual_wave_out::waveOutGetNumDevs(); }

MMRESULT waveOutGetDevCaps(uint32_t deviceId, WAVEOUTCAPS* caps, uint32_t capsBytes) {
  return virtual_wave_out::waveOutGetDevCaps(deviceId, caps, capsBytes);
}

MMRESULT waveOutOpen(HWAVEOUT* device, uint32_t deviceId, const WAVEFORMATEX* format,
                     uintptr_t callback, uintptr_t instance, uint32_t flags) {
  return virtual_wave_out::waveOutOpen(device, deviceId, format, callback, instance, flags);
}

MMRESULT waveOutClose(HWAVEOUT device) { return virtual_wave_out::waveOutClose(device); }

MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes) {
  return virtual_wave_out::waveOutPrepareHeader(device, header, headerBytes);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes) {
  return virtual_wave_out::waveOutUnprepareHeader(device, header, headerBytes);
}

MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes) {
  return virtual_wave_out::waveOutWrite(device, header, headerBytes);
}

MMRESULT waveOutPause(HWAVEOUT device) { return virtual_wave_out::waveOutPause(device); }

MMRESULT waveOutRestart(HWAVEOUT device) { return virtual_wave_out::waveOutRestart(device); }

MMRESULT waveOutReset(HWAVEOUT device) { return virtual_wave_out::waveOutReset(device); }

MMRESULT waveOutSetVolume(HWAVEOUT device, uint32_t volume) {
  return virtual_wave_out::waveOutSetVolume(device, volume);
}

MMRESULT waveOutGetVolume(HWAVEOUT device, uint32_t* volume) {
  return virtual_wave_out::waveOutGetVolume(device, volume);
}

MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, uint32_t timeBytes) {
  return virtual_wave_out::waveOutGetPosition(device, time, timeBytes);
}

}  // namespace pocketmidi
