/* Renders one song with Sonivox EAS (Debian's libsonivox) into a 16-bit
 * stereo WAV file: the peer figure for the whole-process peak RSS of
 * `pocketmidi render SONG -o OUT.wav` (bench/peak_rss.sh measures both the
 * same way).
 *
 *   sonivox_render SONG OUT.wav
 *
 * Sonivox's built-in instrument set, its library's fixed format (22050 Hz
 * stereo), reverb and chorus bypassed, as in the render benchmark. Plain C:
 * a host embedding a synthesizer needs nothing more. */
#include <eas.h>
#include <eas_chorus.h>
#include <eas_reverb.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

static int ReadAt(void* handle, void* buffer, int offset, int size) {
  FILE* file = (FILE*)handle;
  if (fseek(file, offset, SEEK_SET) != 0) return 0;
  return (int)fread(buffer, 1, (size_t)size, file);
}

static int FileSize(void* handle) {
  FILE* file = (FILE*)handle;
  if (fseek(file, 0, SEEK_END) != 0) return 0;
  return (int)ftell(file);
}

static void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
}

/* The canonical 44-byte header of 16-bit PCM. */
static void WriteWavHeader(FILE* out, uint32_t rate, uint32_t channels, uint32_t dataBytes) {
  uint8_t h[44] = {0};
  memcpy(h, "RIFF", 4);
  memcpy(h + 8, "WAVEfmt ", 8);
  h[16] = 16; /* fmt chunk size */
  h[20] = 1;  /* PCM */
  h[34] = 16; /* bits per sample */
  memcpy(h + 36, "data", 4);
  PutLe32(h + 4, 36 + dataBytes);
  h[22] = (uint8_t)channels;
  PutLe32(h + 24, rate);
  PutLe32(h + 28, rate * channels * 2);
  h[32] = (uint8_t)(channels * 2);
  PutLe32(h + 40, dataBytes);
  fseek(out, 0, SEEK_SET);
  fwrite(h, 1, sizeof h, out);
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: sonivox_render SONG OUT.wav\n");
    return 2;
  }
  FILE* song = fopen(argv[1], "rb");
  if (song == NULL) {
    fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  FILE* out = fopen(argv[2], "wb");
  if (out == NULL) {
    fprintf(stderr, "cannot create %s\n", argv[2]);
    return 1;
  }
  const S_EAS_LIB_CONFIG* config = EAS_Config();
  EAS_DATA_HANDLE eas = NULL;
  EAS_HANDLE stream = NULL;
  EAS_FILE locator = {song, ReadAt, FileSize};
  if (EAS_Init(&eas) != EAS_SUCCESS || EAS_OpenFile(eas, &locator, &stream) != EAS_SUCCESS ||
      EAS_Prepare(eas, stream) != EAS_SUCCESS) {
    fprintf(stderr, "sonivox cannot play %s\n", argv[1]);
    return 1;
  }
  EAS_SetParameter(eas, EAS_MODULE_REVERB, EAS_PARAM_REVERB_BYPASS, EAS_TRUE);
  EAS_SetParameter(eas, EAS_MODULE_CHORUS, EAS_PARAM_CHORUS_BYPASS, EAS_TRUE);
  WriteWavHeader(out, (uint32_t)config->sampleRate, (uint32_t)config->numChannels, 0);
  static EAS_PCM buffer[4096];
  const EAS_I32 frames = config->mixBufferSize * config->numChannels <= 4096
                             ? config->mixBufferSize
                             : 4096 / config->numChannels;
  uint32_t bytes = 0;
  for (;;) {
    EAS_STATE state = EAS_STATE_STOPPED;
    if (EAS_State(eas, stream, &state) != EAS_SUCCESS || state == EAS_STATE_STOPPED ||
        state == EAS_STATE_ERROR) {
      break;
    }
    EAS_I32 got = 0;
    if (EAS_Render(eas, buffer, frames, &got) != EAS_SUCCESS || got <= 0) break;
    const size_t n = (size_t)got * (size_t)config->numChannels * sizeof(EAS_PCM);
    if (fwrite(buffer, 1, n, out) != n) break;
    bytes += (uint32_t)n;
  }
  WriteWavHeader(out, (uint32_t)config->sampleRate, (uint32_t)config->numChannels, bytes);
  EAS_CloseFile(eas, stream);
  EAS_Shutdown(eas);
  fclose(out);
  fclose(song);
  fprintf(stderr, "%s: %u bytes\n", argv[2], bytes);
  return 0;
}
