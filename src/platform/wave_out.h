// The handheld's waveform audio output API (waveOut*), under our own names.
// The calls, records, constants and result codes are those of the handheld, so
// the sink above is written exactly as it would be there. What sits behind
// them: on Windows, the system's waveOut (wave_out_front_windows.cpp), unless
// POCKETMIDI_AUDIO names one of our virtual devices; elsewhere, always our
// devices: a device object with its own callback thread, over a backend chosen
// by POCKETMIDI_AUDIO (see audio_backend_setting.h).
//
// This header must not meet <windows.h>/<mmsystem.h>: they define WAVE_MAPPER,
// WOM_DONE and the rest as macros. Only the bridge to the system includes them.
//
// Threads: every device has one callback thread. WOM_OPEN, WOM_DONE and
// WOM_CLOSE are delivered on it, in that order, never while a device lock is
// held, so the device procedure may call waveOutPrepareHeader, waveOutWrite and
// waveOutUnprepareHeader (e.g. queue the next block from inside WOM_DONE).
// waveOutReset and waveOutClose block the calling thread until the callback
// thread has delivered what they cause (the WOM_DONE of every cancelled block,
// WOM_CLOSE); a caller must therefore not hold a lock that its own device
// procedure waits for. Called from the device procedure itself they do not
// wait (reset) or are refused (close, MMSYSERR_ERROR), instead of deadlocking.
#pragma once

#include <cstdint>

namespace pocketmidi {

// What waveOutOpen hands out. Each kind of device (ours, the system's) derives
// from it; the functions tell them apart by their own handle tables, so a stale
// or made-up handle is refused, never looked into.
struct WaveOutHandle {};
using HWAVEOUT = WaveOutHandle*;  // null: no device
using MMRESULT = uint32_t;

// Results.
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

// Device selection and open flags.
constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFFu;
constexpr uint32_t WAVE_FORMAT_QUERY = 0x1;     // check the format, open nothing
constexpr uint32_t CALLBACK_NULL = 0x00000000;  // no notifications
constexpr uint32_t CALLBACK_FUNCTION = 0x00030000;
constexpr uint32_t CALLBACK_TYPEMASK = 0x00070000;

// Messages to the device procedure.
constexpr uint32_t WOM_OPEN = 0x3BB;
constexpr uint32_t WOM_CLOSE = 0x3BC;
constexpr uint32_t WOM_DONE = 0x3BD;

// WAVEHDR dwFlags.
constexpr uint32_t WHDR_DONE = 0x01;
constexpr uint32_t WHDR_PREPARED = 0x02;
constexpr uint32_t WHDR_BEGINLOOP = 0x04;  // accepted, looping is not performed
constexpr uint32_t WHDR_ENDLOOP = 0x08;    // accepted, looping is not performed
constexpr uint32_t WHDR_INQUEUE = 0x10;

// MMTIME wType.
constexpr uint32_t TIME_MS = 0x01;
constexpr uint32_t TIME_SAMPLES = 0x02;
constexpr uint32_t TIME_BYTES = 0x04;
constexpr uint32_t TIME_SMPTE = 0x08;
constexpr uint32_t TIME_MIDI = 0x10;
constexpr uint32_t TIME_TICKS = 0x20;

constexpr uint16_t WAVE_FORMAT_PCM = 1;

// WAVEOUTCAPS dwFormats bits (rate kHz / mono-stereo / 8-16 bit).
constexpr uint32_t WAVE_FORMAT_1M08 = 0x001, WAVE_FORMAT_1S08 = 0x002, WAVE_FORMAT_1M16 = 0x004,
                   WAVE_FORMAT_1S16 = 0x008, WAVE_FORMAT_2M08 = 0x010, WAVE_FORMAT_2S08 = 0x020,
                   WAVE_FORMAT_2M16 = 0x040, WAVE_FORMAT_2S16 = 0x080, WAVE_FORMAT_4M08 = 0x100,
                   WAVE_FORMAT_4S08 = 0x200, WAVE_FORMAT_4M16 = 0x400, WAVE_FORMAT_4S16 = 0x800;
// WAVEOUTCAPS dwSupport bits.
constexpr uint32_t WAVECAPS_VOLUME = 0x04;
constexpr uint32_t WAVECAPS_LRVOLUME = 0x08;
constexpr uint32_t WAVECAPS_SAMPLEACCURATE = 0x20;

constexpr int kWaveOutNameUnits = 32;  // MAXPNAMELEN

struct WAVEOUTCAPS {
  uint16_t wMid;
  uint16_t wPid;
  uint32_t vDriverVersion;
  char16_t szPname[kWaveOutNameUnits];  // UTF-16, NUL-terminated
  uint32_t dwFormats;
  uint16_t wChannels;
  uint16_t wReserved1;
  uint32_t dwSupport;
};
static_assert(sizeof(WAVEOUTCAPS) == 84, "WAVEOUTCAPS is 84 bytes on the handheld");

#pragma pack(push, 1)
struct WAVEFORMATEX {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
  uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes, packed");

// The handheld's header is 32 bytes: data pointer, length, bytes recorded, user
// value, flags, loop count, and two driver-private words (a next pointer and a
// reserved word). With 4-byte pointers all eight fit, as on the handheld. With
// 8-byte pointers they would need 48 bytes; the two private words are the
// driver's bookkeeping, which our device keeps in its own queue instead, so
// there the header holds the six fields a client uses and is still 32 bytes:
// clients pass sizeof(WAVEHDR) == 32 on every machine.
struct WAVEHDR {
  char* lpData;
  uint32_t dwBufferLength;
  uint32_t dwBytesRecorded;
  uintptr_t dwUser;
  uint32_t dwFlags;
  uint32_t dwLoops;
#if UINTPTR_MAX == 0xFFFFFFFFu
  WAVEHDR* lpNext;     // driver-private; unused here
  uintptr_t reserved;  // driver-private; unused here
#endif
};
static_assert(sizeof(WAVEHDR) == 32, "the block header is 32 bytes");

struct MMTIME {
  uint32_t wType;
  union {
    uint32_t ms;
    uint32_t sample;
    uint32_t cb;
    uint32_t ticks;
    struct {
      uint8_t hour, min, sec, frame, fps, dummy;
      uint8_t pad[2];
    } smpte;
    struct {
      uint32_t songptrpos;
    } midi;
  } u;
};
static_assert(sizeof(MMTIME) == 12, "MMTIME is 12 bytes");

// Device procedure: (device, message, instance data given to waveOutOpen,
// WAVEHDR* of the finished block for WOM_DONE / 0, 0).
using WaveOutProc = void (*)(HWAVEOUT device, uint32_t message, uintptr_t instance,
                             uintptr_t param1, uintptr_t param2);

uint32_t waveOutGetNumDevs();
MMRESULT waveOutGetDevCaps(uint32_t deviceId, WAVEOUTCAPS* caps, uint32_t capsBytes);
// callback is a WaveOutProc cast to uintptr_t when flags hold CALLBACK_FUNCTION.
MMRESULT waveOutOpen(HWAVEOUT* device, uint32_t deviceId, const WAVEFORMATEX* format,
                     uintptr_t callback, uintptr_t instance, uint32_t flags);
MMRESULT waveOutClose(HWAVEOUT device);
MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes);
MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes);
MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, uint32_t headerBytes);
MMRESULT waveOutPause(HWAVEOUT device);
MMRESULT waveOutRestart(HWAVEOUT device);
MMRESULT waveOutReset(HWAVEOUT device);
// Low word: left channel level, high word: right channel level (0..0xFFFF).
MMRESULT waveOutSetVolume(HWAVEOUT device, uint32_t volume);
MMRESULT waveOutGetVolume(HWAVEOUT device, uint32_t* volume);
MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, uint32_t timeBytes);

}  // namespace pocketmidi
