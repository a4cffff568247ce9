/*
 * pocketmidi: MIDI playback with a built-in wavetable synthesizer.
 *
 * This is the library's whole C interface. It compiles as C (C99 or later)
 * and as C++. All integers are fixed-width; every record below has one
 * exact byte layout that does not depend on the compiler.
 *
 * Text: paths are UTF-16 strings (MIDI_CHAR16), NUL-terminated. A path may
 * use '\' or '/' as separator.
 *
 * Failures are reported only by return values; the library never prints,
 * logs or throws.
 */
#ifndef POCKETMIDI_H
#define POCKETMIDI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Functions marked POCKETMIDI_API leave the shared library; nothing else does.
 * On Windows the DLL's module-definition file says what leaves it; a host
 * linking the DLL defines POCKETMIDI_DLL (the CMake target does) so that the
 * fp_MIDI_* slots, which are data, are imported. */
#if defined(_WIN32)
#if defined(POCKETMIDI_DLL)
#define POCKETMIDI_API __declspec(dllimport)
#else
#define POCKETMIDI_API
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define POCKETMIDI_API __attribute__((visibility("default")))
#else
#define POCKETMIDI_API
#endif

/* One UTF-16 code unit. */
#ifdef __cplusplus
typedef char16_t MIDI_CHAR16;
#else
typedef uint16_t MIDI_CHAR16;
#endif

/* ------------------------------------------------------------------------
 * Records
 * ------------------------------------------------------------------------ */

/*
 * Optional output settings given when a song is loaded; they replace the
 * values of the configuration file. The fields are checked in this order and
 * applied up to the first one whose value is not accepted.
 */
typedef struct FormatOverride {
  uint32_t sampleRate;    /* 8000, 11025, 16000, 22050, 32000 or 44100 Hz */
  uint32_t bitsPerSample; /* 8 or 16 */
  uint32_t channels;      /* 1 (mono) or 2 (stereo) */
  int32_t polyphony;      /* most voices sounding at once, at least 1 */
} FormatOverride;

/*
 * Description of a song, filled by MIDI_GetInfo. 2524 bytes. Numbers are in
 * the machine's byte order. Strings are NUL-terminated single-byte text as
 * found in the file (no character set is assumed).
 *
 * Fields the reading never reached (a file that is cut short, not a MIDI
 * file at all) keep whatever the caller had put there, and `reserved` is
 * never written: clear the record first if you need defined contents.
 */
typedef struct MidiFileInfo {
  uint32_t durationMs;   /* song length in ms, counted from the first note */
  uint16_t format;       /* Standard MIDI File format (0, 1 or 2) */
  uint16_t trackCount;   /* track count as the header states it */
  /* One NUL-terminated entry per track read, in track order: the track's
   * name (several name events of one track run together), or empty. */
  char trackNames[2048];
  uint16_t trackLengths[64]; /* low 16 bits of each track chunk's length */
  int16_t division;          /* ticks per quarter note, or ticks per second
                                for SMPTE timing (low 16 bits) */
  uint8_t reserved[2];
  uint32_t mipFound;     /* 1 when an SP-MIDI polyphony (MIP) message was found */
  uint32_t eventCount;   /* entries of the merged event list, its head included */
  uint8_t mipChannelOrder[16];   /* channels in the order the MIP message
                                    lists them; 255 = unused */
  uint8_t mipValues[16];         /* by channel: its MIP value; 255 = not listed */
  uint8_t channelInstrument[16]; /* by channel: program at its last note-on
                                    (channel 10: the note); 255 = no note */
  uint8_t channelPeakNotes[16];  /* by channel: most notes sounding at once */
  uint32_t noteOnCount;  /* note-ons with non-zero velocity, all channels */
  uint32_t peakNotes;    /* most notes sounding at once, all channels */
  char copyright[256];   /* copyright notices joined by "\r\n" */
} MidiFileInfo;

/* ------------------------------------------------------------------------
 * Handles and callbacks
 * ------------------------------------------------------------------------ */

/* A loaded song with its synthesizer and audio device; null: none. */
typedef void *MIDI_HANDLE;

/* The waveform output device a player plays on; null: none. */
typedef void *MIDI_HWAVEOUT;

/*
 * Progress report. durationMs is the song's length; positionMs is the
 * position reached in ms while a pass plays (its start position at the start
 * of every pass), and -1 once when playback has ended or been stopped. `user`
 * is the value given to MIDI_Load.
 *
 * It is called from MIDI_Play and MIDI_Stop in the host's thread, and from
 * the audio device's thread during playback, never from two threads at once
 * for one player. While it runs the player is locked: it may call the query
 * functions, MIDI_Pause, MIDI_Resume and MIDI_SetVolume on the same handle,
 * and should return quickly (it delays the next block). MIDI_Play, MIDI_Stop
 * and MIDI_Unload of the same handle are refused (0) from inside it.
 */
typedef void (*ProgressCallback)(int32_t durationMs, int32_t positionMs, void *user);

/* Player states, as MIDI_GetStatus answers them. */
#define MIDI_STATUS_STOPPED 0 /* also after playback has run out */
#define MIDI_STATUS_PLAYING 1
#define MIDI_STATUS_PAUSED 2

/* ------------------------------------------------------------------------
 * Functions
 *
 * Order of use: MIDI_Load, any player functions any number of times, then
 * MIDI_Unload once (the handle is then invalid). Handles are independent;
 * any number may be open at once. Calls on one handle may come from several
 * threads: they are serialised with each other and with playback.
 * ------------------------------------------------------------------------ */

/*
 * Opens the song at `path` (Standard MIDI File or RIFF RMID), reads the
 * configuration of `configDirectory` (UTF-16, ending with a separator, "" or
 * null: the root; 260 units or more is refused), applies `formatOverride`
 * (may be null), loads the instruments the song uses and opens the audio
 * device. `callback` (may be null) receives progress reports with `user`.
 * Returns the handle, or null when any step fails or the song lasts 0 ms.
 */
POCKETMIDI_API MIDI_HANDLE MIDI_Load(const MIDI_CHAR16 *path, const MIDI_CHAR16 *configDirectory,
                                     const FormatOverride *formatOverride,
                                     ProgressCallback callback, void *user);

/* Stops playback, closes the device and frees the player. 1; null: 0. */
POCKETMIDI_API int32_t MIDI_Unload(MIDI_HANDLE handle);

/*
 * Plays from startMs to endMs (ms; endMs -1: to the end of the song, and then
 * startMs and loops are not checked), `loops` passes (0 or -1: until
 * MIDI_Stop). A pass ends at the end of the 400 ms block the end position
 * falls in. Returns 1 when playback started; 0 when not loaded, not stopped,
 * endMs <= startMs, startMs < 0, loops < -1, or nothing could be queued.
 * Reports (duration, startMs) at the start of every pass.
 */
POCKETMIDI_API int32_t MIDI_Play(MIDI_HANDLE handle, int32_t startMs, int32_t endMs, int32_t loops);

/*
 * Stops playback and reports -1. 1 when stopped (or already stopped, then
 * without a report); 0 for null, not loaded, or a device reset that failed.
 */
POCKETMIDI_API int32_t MIDI_Stop(MIDI_HANDLE handle);

/* Pauses a playing player. 1, or 0 (not playing, device failure, null). */
POCKETMIDI_API int32_t MIDI_Pause(MIDI_HANDLE handle);

/* Resumes a paused player. 1, or 0 (not paused, device failure, null). */
POCKETMIDI_API int32_t MIDI_Resume(MIDI_HANDLE handle);

/*
 * Sets the device volume to `volume` percent (only its low 16 bits count;
 * 0..100 accepted). 1, or 0 (out of range, device failure, null).
 */
POCKETMIDI_API int32_t MIDI_SetVolume(MIDI_HANDLE handle, int32_t volume);

/* Device volume in percent (0..100), a negative device code, or -1 (null). */
POCKETMIDI_API int32_t MIDI_GetVolume(MIDI_HANDLE handle);

/* Song length in ms, or -1 (null). */
POCKETMIDI_API int32_t MIDI_GetDuration(MIDI_HANDLE handle);

/* Playback position in ms (device time minus audio buffered ahead plus
 * rendering position), or -1 (null). */
POCKETMIDI_API int32_t MIDI_GetPosition(MIDI_HANDLE handle);

/* MIDI_STATUS_STOPPED, _PLAYING or _PAUSED, or -1 (null). */
POCKETMIDI_API int32_t MIDI_GetStatus(MIDI_HANDLE handle);

/* The player's waveform device handle, or null. */
POCKETMIDI_API MIDI_HWAVEOUT MIDI_GetWaveOut(MIDI_HANDLE handle);

/*
 * Reads the MIDI file at `path` (a Standard MIDI File, format 0, 1 or 2, bare
 * or wrapped in a RIFF RMID file) and fills `info`. Opens no audio device and
 * reads no configuration. Returns 1 when the song was read and its duration
 * is not 0, else 0. A null argument, or a path that cannot be opened, returns
 * 0 and leaves the record untouched.
 */
POCKETMIDI_API int32_t MIDI_GetInfo(const MIDI_CHAR16 *path, MidiFileInfo *info);

/* ------------------------------------------------------------------------
 * Function-pointer table: thirteen consecutive pointer slots in this order,
 * each exported under its own name, each pointing from load time on to the
 * function doing the work of the export of the same name without "fp_".
 * ------------------------------------------------------------------------ */

typedef MIDI_HANDLE (*MIDI_LoadFunction)(const MIDI_CHAR16 *, const MIDI_CHAR16 *,
                                         const FormatOverride *, ProgressCallback, void *);
typedef int32_t (*MIDI_HandleFunction)(MIDI_HANDLE);
typedef int32_t (*MIDI_PlayFunction)(MIDI_HANDLE, int32_t, int32_t, int32_t);
typedef int32_t (*MIDI_SetVolumeFunction)(MIDI_HANDLE, int32_t);
typedef int32_t (*MIDI_GetInfoFunction)(const MIDI_CHAR16 *, MidiFileInfo *);
typedef MIDI_HWAVEOUT (*MIDI_GetWaveOutFunction)(MIDI_HANDLE);

POCKETMIDI_API extern MIDI_LoadFunction fp_MIDI_Load;
POCKETMIDI_API extern MIDI_HandleFunction fp_MIDI_Unload;
POCKETMIDI_API extern MIDI_PlayFunction fp_MIDI_Play;
POCKETMIDI_API extern MIDI_HandleFunction fp_MIDI_Stop;
POCKETMIDI_API extern MIDI_HandleFunction fp_MIDI_Pause;
POCKETMIDI_API extern MIDI_HandleFunction fp_MIDI_Resume;
POCKETMIDI_API extern MIDI_SetVolumeFunction fp_MIDI_SetVolume;
POCKETMIDI_API extern MIDI_HandleFunction fp_MIDI_GetVolume;
POCKETMIDI_API extern MIDI_HandleFunction fp_MIDI_GetDuration;
POCKETMIDI_API extern MIDI_HandleFunction fp_MIDI_GetPosition;
POCKETMIDI_API extern MIDI_HandleFunction fp_MIDI_GetStatus;
POCKETMIDI_API extern MIDI_GetInfoFunction fp_MIDI_GetInfo;
POCKETMIDI_API extern MIDI_GetWaveOutFunction fp_MIDI_GetWaveOut;

/* ------------------------------------------------------------------------
 * Layout checks: these records cross the library boundary byte for byte.
 * ------------------------------------------------------------------------ */

#ifdef __cplusplus
#define POCKETMIDI_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define POCKETMIDI_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

POCKETMIDI_STATIC_ASSERT(sizeof(FormatOverride) == 16, "FormatOverride is 16 bytes");
POCKETMIDI_STATIC_ASSERT(offsetof(FormatOverride, polyphony) == 12, "FormatOverride layout");

POCKETMIDI_STATIC_ASSERT(sizeof(MidiFileInfo) == 2524, "MidiFileInfo is 2524 bytes");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, durationMs) == 0, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, format) == 4, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, trackCount) == 6, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, trackNames) == 8, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, trackLengths) == 2056, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, division) == 2184, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, reserved) == 2186, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, mipFound) == 2188, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, eventCount) == 2192, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, mipChannelOrder) == 2196, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, mipValues) == 2212, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, channelInstrument) == 2228, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, channelPeakNotes) == 2244, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, noteOnCount) == 2260, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, peakNotes) == 2264, "MidiFileInfo layout");
POCKETMIDI_STATIC_ASSERT(offsetof(MidiFileInfo, copyright) == 2268, "MidiFileInfo layout");

#undef POCKETMIDI_STATIC_ASSERT

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* POCKETMIDI_H */
