# Which audio backends stand behind waveOut.
#
# POCKETMIDI_ALSA: AUTO (use ALSA when pkg-config finds it), ON (required),
# OFF (never). Without ALSA, the default device is the null device. On Windows
# the library's waveOut goes to the system's (winmm); ALSA is never used there.
# The virtual devices of POCKETMIDI_AUDIO (null, fast, wav, and the fault
# options) are built everywhere: the tests drive them.
set(POCKETMIDI_ALSA AUTO CACHE STRING "ALSA audio backend: AUTO, ON or OFF")
set_property(CACHE POCKETMIDI_ALSA PROPERTY STRINGS AUTO ON OFF)
string(TOUPPER "${POCKETMIDI_ALSA}" _pocketmidi_alsa)
if(NOT _pocketmidi_alsa MATCHES "^(AUTO|ON|OFF)$")
  message(FATAL_ERROR "POCKETMIDI_ALSA must be AUTO, ON or OFF, not '${POCKETMIDI_ALSA}'")
endif()

set(POCKETMIDI_WITH_ALSA OFF)
if(WIN32)
  if(_pocketmidi_alsa STREQUAL "ON")
    message(FATAL_ERROR "POCKETMIDI_ALSA=ON: there is no ALSA on Windows (waveOut is the system's)")
  endif()
elseif(NOT _pocketmidi_alsa STREQUAL "OFF")
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    if(_pocketmidi_alsa STREQUAL "ON")
      pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
    else()
      pkg_check_modules(ALSA QUIET IMPORTED_TARGET alsa)
    endif()
  elseif(_pocketmidi_alsa STREQUAL "ON")
    message(FATAL_ERROR "POCKETMIDI_ALSA=ON needs pkg-config to find ALSA")
  endif()
  if(ALSA_FOUND)
    set(POCKETMIDI_WITH_ALSA ON)
  endif()
endif()

set(_pocketmidi_backends "")
if(WIN32)
  list(APPEND _pocketmidi_backends "winmm (system waveOut, default)")
endif()
if(POCKETMIDI_WITH_ALSA)
  list(APPEND _pocketmidi_backends "alsa (default)")
endif()
if(WIN32 OR POCKETMIDI_WITH_ALSA)
  list(APPEND _pocketmidi_backends "null" "fast" "wav")
else()
  list(APPEND _pocketmidi_backends "null (default)" "fast" "wav")
endif()
list(JOIN _pocketmidi_backends ", " _pocketmidi_backends)
message(STATUS "pocketmidi audio backends: ${_pocketmidi_backends}")
