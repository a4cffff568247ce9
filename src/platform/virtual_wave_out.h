// Our own waveOut devices (null, fast, wav, and ALSA where it was built), with
// the faults POCKETMIDI_AUDIO asks for. The same calls as wave_out.h; the
// platform's front (wave_out_front_*.cpp) decides which calls come here: all
// of them except on Windows, where only those for a device POCKETMIDI_AUDIO
// names do.
#pragma once

#include <cstdint>

#include "platform/wave_out.h"

namespace pocketmidi::virtual_wave_out {

// True when handle is an open device of ours.
bool Owns(HWAVEOUT handle);

uint32_t waveOutGetNumDevs();
MMRESULT waveOutGetDevCaps(uint32_t deviceId, WAVEOUTCAPS* caps, uint32_t capsBytes);
MMRESULT waveOutOpen(HWAVEOUT* device, uint32_t deviceId, const WAVEFORMATEX* format,
                     uintptr_t callback, uintptr_t instance, uint32_t flags);
MMRESULT waveOutClose(HWAVEOUT device);
MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes);
MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes);
MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes);
MMRESULT waveOutPause(HWAVEOUT device);
MMRESULT waveOutRestart(HWAVEOUT device);
MMRESULT waveOutReset(HWAVEOUT device);
MMRESULT waveOutSetVolume(HWAVEOUT device, uint32_t volume);
MMRESULT waveOutGetVolume(HWAVEOUT device, uint32_t* volume);
MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, uint32_t timeBytes);

}  // namespace pocketmidi::virtual_wave_out
