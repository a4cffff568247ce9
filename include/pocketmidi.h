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

/* Functions marked POCKETMIDI_API leave the shared library; nothing else does. */
#if defined(__GNUC__) || defined(__clang__)
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
 * Functions
 * ------------------------------------------------------------------------ */

/*
 * Reads the MIDI file at `path` (a Standard MIDI File, format 0, 1 or 2, bare
 * or wrapped in a RIFF RMID file) and fills `info`. Opens no audio device and
 * reads no configuration. Returns 1 when the song was read and its duration
 * is not 0, else 0. A null argument, or a path that cannot be opened, returns
 * 0 and leaves the record untouched.
 */
POCKETMIDI_API int32_t MIDI_GetInfo(const MIDI_CHAR16 *path, MidiFileInfo *info);

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
