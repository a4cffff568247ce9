/*
 * play_song: the smallest complete host of pocketmidi.
 *
 *   play_song SONG.mid [INSTRUMENT_SET_DIR]
 *
 * Describes the song with MIDI_GetInfo, then loads it, plays it once from
 * start to end and waits until the library reports the end of playback
 * (position -1), then unloads it. The instrument set directory defaults to
 * $POCKETMIDI_SOUNDSET. The audio device is chosen by POCKETMIDI_AUDIO
 * (unset: ALSA's default device, or a silent one without a sound card, which
 * it says; POCKETMIDI_AUDIO=wav:FILE.wav records what is played instead).
 *
 * Build against an installed library:
 *   cc play_song.c $(pkg-config --cflags --libs pocketmidi) -o play_song
 */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <pocketmidi.h>

/* Paths cross the interface as NUL-terminated UTF-16. This converts UTF-8
 * (a Linux file name) and appends `suffix` (an ASCII string, may be ""). */
static MIDI_CHAR16 *to_utf16(const char *text, const char *suffix) {
  size_t n = strlen(text) + strlen(suffix);
  MIDI_CHAR16 *out = malloc((n + 1) * sizeof *out);
  size_t o = 0;
  if (out == NULL) return NULL;
  for (const unsigned char *s = (const unsigned char *)text; *s != 0;) {
    unsigned long c = *s++;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra > 0) c &= 0x3Fu >> extra;
    for (; extra > 0 && (*s & 0xC0) == 0x80; --extra) c = (c << 6) | (*s++ & 0x3Fu);
    if (c >= 0x10000) { /* a surrogate pair */
      c -= 0x10000;
      out[o++] = (MIDI_CHAR16)(0xD800 + (c >> 10));
      c = 0xDC00 + (c & 0x3FF);
    }
    out[o++] = (MIDI_CHAR16)c;
  }
  while (*suffix != 0) out[o++] = (MIDI_CHAR16)*suffix++;
  out[o] = 0;
  return out;
}

/* Shared between this thread and the progress callback, which runs in the
 * audio device's thread (and in ours from MIDI_Play/MIDI_Stop). */
struct playback {
  pthread_mutex_t lock;
  pthread_cond_t ended_changed;
  int ended;
  int last_second;
};

/* positionMs is the position reached while the song plays, -1 at its end. */
static void on_progress(int32_t duration_ms, int32_t position_ms, void *user) {
  struct playback *state = user;
  pthread_mutex_lock(&state->lock);
  if (position_ms == -1) {
    state->ended = 1;
    pthread_cond_signal(&state->ended_changed);
  } else if (position_ms / 1000 != state->last_second) {
    state->last_second = position_ms / 1000;
    printf("\r%d:%02d / %d:%02d", state->last_second / 60, state->last_second % 60,
           (int)(duration_ms / 60000), (int)(duration_ms / 1000 % 60));
    fflush(stdout);
  }
  pthread_mutex_unlock(&state->lock);
}

/* Without a sound card the library plays to a null device that nobody
 * hears; say so, and how to record instead. ALSA lists its cards in
 * /proc/asound/cards, one " N [name" line each. */
static void warn_when_silent(void) {
  const char *audio = getenv("POCKETMIDI_AUDIO");
  int cards = 0;
  if (audio == NULL || audio[0] == 0) {
    FILE *list = fopen("/proc/asound/cards", "r");
    char line[256];
    while (list != NULL && fgets(line, sizeof line, list) != NULL) {
      if (line[0] == ' ' && line[1] >= '0' && line[1] <= '9') cards++;
    }
    if (list != NULL) fclose(list);
    if (cards > 0) return;
  } else if (strncmp(audio, "null", 4) != 0) {
    return;
  }
  fprintf(stderr, "play_song: %s: playing to the null device, nothing is heard.\n"
                  "  To record instead: POCKETMIDI_AUDIO=wav:FILE.wav play_song ...\n",
          (audio == NULL || audio[0] == 0) ? "no sound card found"
                                                           : "POCKETMIDI_AUDIO=null");
}

int main(int argc, char **argv) {
  const char *config = argc > 2 ? argv[2] : getenv("POCKETMIDI_SOUNDSET");
  if (argc < 2 || argc > 3 || config == NULL) {
    fprintf(stderr, "usage: play_song SONG.mid [INSTRUMENT_SET_DIR]\n"
                    "  (or set POCKETMIDI_SOUNDSET to the instrument set directory)\n");
    return 2;
  }
  /* The library wants the directory with its trailing separator. */
  const char *separator = config[0] != 0 && config[strlen(config) - 1] == '/' ? "" : "/";
  MIDI_CHAR16 *song = to_utf16(argv[1], "");
  MIDI_CHAR16 *directory = to_utf16(config, separator);
  if (song == NULL || directory == NULL) return 1;

  /* 1. What is in the song: no device, no instruments needed. */
  MidiFileInfo info;
  memset(&info, 0, sizeof info);
  if (MIDI_GetInfo(song, &info)) {
    printf("%s: format %u, %u tracks, %u:%02u, %u notes, at most %u at once%s\n", argv[1],
           (unsigned)info.format, (unsigned)info.trackCount,
           (unsigned)(info.durationMs / 60000), (unsigned)(info.durationMs / 1000 % 60),
           (unsigned)info.noteOnCount, (unsigned)info.peakNotes,
           info.mipFound ? ", SP-MIDI" : "");
  }

  /* 2. Load with the instrument set's own output format (no override). */
  struct playback state = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, 0, -1};
  MIDI_HANDLE player = MIDI_Load(song, directory, NULL, on_progress, &state);
  if (player == NULL) {
    fprintf(stderr, "%s: cannot load (not a MIDI file, or no instrument set in %s)\n",
            argv[1], config);
    return 1;
  }

  /* 3. Play the whole song once and wait for the end report. */
  warn_when_silent();
  int status = 0;
  if (MIDI_Play(player, 0, -1, 1)) {
    pthread_mutex_lock(&state.lock);
    while (!state.ended) pthread_cond_wait(&state.ended_changed, &state.lock);
    pthread_mutex_unlock(&state.lock);
    printf("\nplayed %d ms\n", (int)MIDI_GetDuration(player));
  } else {
    fprintf(stderr, "%s: cannot play\n", argv[1]);
    status = 1;
  }

  /* 4. Close the device and free everything. */
  MIDI_Unload(player);
  free(song);
  free(directory);
  return status;
}
