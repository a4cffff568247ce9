// The bridge from our waveOut names to the system's waveOut (winmm) on
// Windows: the same calls as wave_out.h. The system's headers stay inside
// system_wave_out_windows.cpp, so their macros never meet our names.
#pragma once

#include <cstdint>

#include "platform/wave_out.h"

namespace pocketmidi::system_wave_out {

uint32_t GetNumDevs();
MMRESULT GetDevCaps(uint32_t deviceId, WAVEOUTCAPS* caps, uint32_t capsBytes);
MMRESULT Open(HWAVEOUT* device, uint32_t deviceId, const WAVEFORMATEX* format,
              uintptr_t callback, uintptr_t instance, uint32_t flags);
// The calls below answer MMSYSERR_INVALHANDLE for a handle Open did not give.
MMRESULT Close(HWAVEOUT device);
MMRESULT PrepareHeader(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes);
MMRESULT UnprepareHeader(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes);
MMRESULT Write(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes);
MMRESULT Pause(HWAVEOUT device);
MMRESULT Restart(HWAVEOUT device);
MMRESULT Reset(HWAVEOUT device);
MMRESULT SetVolume(HWAVEOUT device, uint32_t volume);
MMRESULT GetVolume(HWAVEOUT device, uint32_t* volume);
MMRESULT GetPosition(HWAVEOUT device, MMTIME* time, uint32_t timeBytes);

}  // namespace pocketmidi::system_wave_out
