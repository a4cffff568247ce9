// The exported functions, and the exported table of pointers to the
// functions that do their work. A handle is a MidiPlayer pointer; every
// export except MIDI_Load and MIDI_GetInfo checks it for null and forwards
// to the player's operation.
#include <new>

#include "api/midi_player.h"
#include "api/song_info.h"
#include "pocketmidi.h"

namespace pocketmidi {
namespace {

PlayerBase* AsPlayer(MIDI_HANDLE handle) { return static_cast<MidiPlayer*>(handle); }

MIDI_HANDLE LoadPlayer(const char16_t* path, const char16_t* configDirectory,
                       const FormatOverride* formatOverride, ProgressCallback callback,
                       void* user) {
  auto* created = new (std::nothrow) MidiPlayer();
  if (created == nullptr) return nullptr;
  PlayerBase* player = created;
  player->SetConfigDirectory(configDirectory);
  player->SetCallback(callback, user);
  // A song of 0 ms fails like an unreadable one.
  if (player->Open(path, formatOverride) != 0) return created;
  delete player;  // closes whatever the open left behind
  return nullptr;
}

int32_t UnloadPlayer(MIDI_HANDLE handle) {
  if (handle == nullptr) return 0;
  // Destroying the player from inside its own progress report would pull
  // the player out from under the report: refused.
  if (static_cast<MidiPlayer*>(handle)->InsideCallback()) return 0;
  PlayerBase* player = AsPlayer(handle);
  const int32_t result = player->Close();
  delete player;
  return result;
}

int32_t PlayPlayer(MIDI_HANDLE handle, int32_t startMs, int32_t endMs, int32_t loops) {
  return handle != nullptr ? AsPlayer(handle)->Play(startMs, endMs, loops) : 0;
}

int32_t StopPlayer(MIDI_HANDLE handle) {
  return handle != nullptr ? AsPlayer(handle)->Stop() : 0;
}

int32_t PausePlayer(MIDI_HANDLE handle) {
  return handle != nullptr ? AsPlayer(handle)->Pause() : 0;
}

int32_t ResumePlayer(MIDI_HANDLE handle) {
  return handle != nullptr ? AsPlayer(handle)->Resume() : 0;
}

int32_t SetPlayerVolume(MIDI_HANDLE handle, int32_t volume) {
  return handle != nullptr ? AsPlayer(handle)->SetVolume(volume & 0xFFFF) : 0;
}

int32_t GetPlayerVolume(MIDI_HANDLE handle) {
  return handle != nullptr ? AsPlayer(handle)->GetVolume() : -1;
}

int32_t GetPlayerDuration(MIDI_HANDLE handle) {
  return handle != nullptr ? AsPlayer(handle)->GetDuration() : -1;
}

int32_t GetPlayerPosition(MIDI_HANDLE handle) {
  return handle != nullptr ? AsPlayer(handle)->GetPosition() : -1;
}

int32_t GetPlayerStatus(MIDI_HANDLE handle) {
  return handle != nullptr ? AsPlayer(handle)->GetStatus() : -1;
}

MIDI_HWAVEOUT GetPlayerWaveOut(MIDI_HANDLE handle) {
  return handle != nullptr ? static_cast<MIDI_HWAVEOUT>(AsPlayer(handle)->GetWaveOut()) : nullptr;
}

}  // namespace

// The thirteen slots in export order. Each fp_MIDI_* name is an alias of
// one slot (below), so the slots are consecutive by construction.
struct FunctionTable {
  MIDI_LoadFunction load;
  MIDI_HandleFunction unload;
  MIDI_PlayFunction play;
  MIDI_HandleFunction stop;
  MIDI_HandleFunction pause;
  MIDI_HandleFunction resume;
  MIDI_SetVolumeFunction setVolume;
  MIDI_HandleFunction getVolume;
  MIDI_HandleFunction getDuration;
  MIDI_HandleFunction getPosition;
  MIDI_HandleFunction getStatus;
  MIDI_GetInfoFunction getInfo;
  MIDI_GetWaveOutFunction getWaveOut;
};
static_assert(sizeof(FunctionTable) == 13 * sizeof(void*), "thirteen pointer slots, no padding");

}  // namespace pocketmidi

// Writable (a host may patch a slot) and constant-initialised: filled by the
// loader's relocations, no constructor runs.
extern "C" {
__attribute__((used)) pocketmidi::FunctionTable pocketmidi_fp_table = {
    pocketmidi::LoadPlayer,        pocketmidi::UnloadPlayer,      pocketmidi::PlayPlayer,
    pocketmidi::StopPlayer,        pocketmidi::PausePlayer,       pocketmidi::ResumePlayer,
    pocketmidi::SetPlayerVolume,   pocketmidi::GetPlayerVolume,   pocketmidi::GetPlayerDuration,
    pocketmidi::GetPlayerPosition, pocketmidi::GetPlayerStatus,   pocketmidi::ReadSongInfo,
    pocketmidi::GetPlayerWaveOut,
};
}

#define POCKETMIDI_STR2(x) #x
#define POCKETMIDI_STR(x) POCKETMIDI_STR2(x)
#ifdef _WIN32
// PE/COFF symbols have neither a type nor a size: a global alias is all, and
// the module-definition file exports it as DATA with its ordinal. C names
// carry the target's label prefix ("_" on 32-bit x86, none on x64).
#define POCKETMIDI_LABEL(name) POCKETMIDI_STR(__USER_LABEL_PREFIX__) #name
#define POCKETMIDI_SLOT(name, index)                                                     \
  ".globl " POCKETMIDI_LABEL(name) "\n"                                                  \
  ".set " POCKETMIDI_LABEL(name) ", " POCKETMIDI_LABEL(pocketmidi_fp_table) " + " #index \
  " * " POCKETMIDI_STR(__SIZEOF_POINTER__) "\n"
#else
#define POCKETMIDI_SLOT(name, index)                                                     \
  ".globl " #name "\n"                                                                   \
  ".type " #name ", %object\n"                                                           \
  ".size " #name ", " POCKETMIDI_STR(__SIZEOF_POINTER__) "\n"                            \
  ".set " #name ", pocketmidi_fp_table + " #index " * " POCKETMIDI_STR(__SIZEOF_POINTER__) "\n"
#endif

// clang-format off
asm(POCKETMIDI_SLOT(fp_MIDI_Load, 0)
    POCKETMIDI_SLOT(fp_MIDI_Unload, 1)
    POCKETMIDI_SLOT(fp_MIDI_Play, 2)
    POCKETMIDI_SLOT(fp_MIDI_Stop, 3)
    POCKETMIDI_SLOT(fp_MIDI_Pause, 4)
    POCKETMIDI_SLOT(fp_MIDI_Resume, 5)
    POCKETMIDI_SLOT(fp_MIDI_SetVolume, 6)
    POCKETMIDI_SLOT(fp_MIDI_GetVolume, 7)
    POCKETMIDI_SLOT(fp_MIDI_GetDuration, 8)
    POCKETMIDI_SLOT(fp_MIDI_GetPosition, 9)
    POCKETMIDI_SLOT(fp_MIDI_GetStatus, 10)
    POCKETMIDI_SLOT(fp_MIDI_GetInfo, 11)
    POCKETMIDI_SLOT(fp_MIDI_GetWaveOut, 12));
// clang-format on

extern "C" {

POCKETMIDI_API MIDI_HANDLE MIDI_Load(const MIDI_CHAR16* path, const MIDI_CHAR16* configDirectory,
                                     const FormatOverride* formatOverride,
                                     ProgressCallback callback, void* user) {
  return pocketmidi::LoadPlayer(path, configDirectory, formatOverride, callback, user);
}
POCKETMIDI_API int32_t MIDI_Unload(MIDI_HANDLE handle) { return pocketmidi::UnloadPlayer(handle); }
POCKETMIDI_API int32_t MIDI_Play(MIDI_HANDLE handle, int32_t startMs, int32_t endMs, int32_t loops) {
  return pocketmidi::PlayPlayer(handle, startMs, endMs, loops);
}
POCKETMIDI_API int32_t MIDI_Stop(MIDI_HANDLE handle) { return pocketmidi::StopPlayer(handle); }
POCKETMIDI_API int32_t MIDI_Pause(MIDI_HANDLE handle) { return pocketmidi::PausePlayer(handle); }
POCKETMIDI_API int32_t MIDI_Resume(MIDI_HANDLE handle) { return pocketmidi::ResumePlayer(handle); }
POCKETMIDI_API int32_t MIDI_SetVolume(MIDI_HANDLE handle, int32_t volume) {
  return pocketmidi::SetPlayerVolume(handle, volume);
}
POCKETMIDI_API int32_t MIDI_GetVolume(MIDI_HANDLE handle) {
  return pocketmidi::GetPlayerVolume(handle);
}
POCKETMIDI_API int32_t MIDI_GetDuration(MIDI_HANDLE handle) {
  return pocketmidi::GetPlayerDuration(handle);
}
POCKETMIDI_API int32_t MIDI_GetPosition(MIDI_HANDLE handle) {
  return pocketmidi::GetPlayerPosition(handle);
}
POCKETMIDI_API int32_t MIDI_GetStatus(MIDI_HANDLE handle) {
  return pocketmidi::GetPlayerStatus(handle);
}
POCKETMIDI_API MIDI_HWAVEOUT MIDI_GetWaveOut(MIDI_HANDLE handle) {
  return pocketmidi::GetPlayerWaveOut(handle);
}

}  // extern "C"
