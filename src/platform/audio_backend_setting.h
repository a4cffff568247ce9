// Which device stands behind waveOut, and which faults it should simulate:
// the POCKETMIDI_AUDIO environment variable, read at every waveOutOpen (and by
// waveOutGetNumDevs / waveOutGetDevCaps), so players opened one after the other
// in one process may use different devices.
//
// Grammar: BACKEND[:ARG][,OPTION=VALUE...]
//   alsa[:DEVICE]  an ALSA PCM ("default" without DEVICE)
//   null           a virtual device consuming blocks in real time
//   fast           completes each block as soon as it is reached
//   wav:PATH       like fast, and records what it played to a WAV file
// Options (any backend): devices=N, caps=fail, open=nohandle, prepare=CODE,
// write=CODE, pause=CODE, restart=CODE, reset=CODE, volume=CODE,
// close=stillplaying, position=bytes, and, to describe the device's
// capabilities, formats=MASK (WAVEOUTCAPS dwFormats) and channels=N (wChannels).
// CODE and numbers are decimal or 0x-hexadecimal, 32-bit.
//
// ALSA names contain commas ("hw:0,0", "plughw:CARD=x,DEV=0") and paths may
// too, so an item after a comma whose name is not one of the options above
// continues the ARG; it must come before the first option. Unset or empty:
// ALSA's default device when it opens, otherwise null.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wave_out.h"

namespace pocketmidi {

enum class AudioBackendKind { kDefault, kAlsa, kNull, kFast, kWav };

struct AudioBackendSetting {
  AudioBackendKind kind = AudioBackendKind::kDefault;
  std::string argument;  // ALSA device name or WAV path; empty when none
  uint32_t deviceCount = 1;
  bool capsFail = false;           // waveOutGetDevCaps fails for every device
  bool openNoHandle = false;       // waveOutOpen succeeds but gives no handle
  bool closeStillPlaying = false;  // the first waveOutClose answers WAVERR_STILLPLAYING
  bool positionInBytes = false;    // waveOutGetPosition always answers TIME_BYTES
  // Forced results; MMSYSERR_NOERROR means "behave normally".
  MMRESULT prepareResult = MMSYSERR_NOERROR;
  MMRESULT writeResult = MMSYSERR_NOERROR;
  MMRESULT pauseResult = MMSYSERR_NOERROR;
  MMRESULT restartResult = MMSYSERR_NOERROR;
  MMRESULT resetResult = MMSYSERR_NOERROR;
  MMRESULT volumeResult = MMSYSERR_NOERROR;  // waveOutSetVolume and waveOutGetVolume
  uint32_t capsFormats = 0xFFF;              // every standard rate, mono/stereo, 8/16-bit
  uint16_t capsChannels = 2;
};

// Parses text (null or "" give the default setting). Returns false, leaving setting
// unspecified, for anything malformed: unknown backend or option, ARG missing
// where needed or given where none is taken, bad number, empty item.
bool ParseAudioBackendSetting(const char* text, AudioBackendSetting* setting);

// The setting of POCKETMIDI_AUDIO as it is now.
bool ReadAudioBackendSetting(AudioBackendSetting* setting);

}  // namespace pocketmidi
