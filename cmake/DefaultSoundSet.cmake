# The default instrument set: the build converts a General MIDI SoundFont
# (Debian's timgm6mb-soundfont) into ${CMAKE_BINARY_DIR}/soundset with
# `pocketmidi pack`. That directory is the tool's default --config.
#
# Without the SoundFont the build still succeeds: the target only says how to
# get it. The library and the tests do not need it; `pocketmidi render` and
# `play` then need --config DIR or POCKETMIDI_SOUNDSET. After installing the
# package, re-run cmake (or simply build again: the check runs at every build).
set(POCKETMIDI_DEFAULT_SF2 "/usr/share/sounds/sf2/TimGM6mb.sf2" CACHE FILEPATH
    "SoundFont the build converts into the default instrument set")
set(POCKETMIDI_SOUNDSET_DIR ${CMAKE_BINARY_DIR}/soundset)

if(EXISTS "${POCKETMIDI_DEFAULT_SF2}")
  set(_pocketmidi_soundset_files
      ${POCKETMIDI_SOUNDSET_DIR}/zoltep ${POCKETMIDI_SOUNDSET_DIR}/patches.cfg
      ${POCKETMIDI_SOUNDSET_DIR}/patches.pat)
  add_custom_command(
    OUTPUT ${_pocketmidi_soundset_files}
    COMMAND pocketmidi_cli pack ${POCKETMIDI_DEFAULT_SF2} -o ${POCKETMIDI_SOUNDSET_DIR}
    DEPENDS pocketmidi_cli ${POCKETMIDI_DEFAULT_SF2}
    COMMENT "Making the default instrument set from ${POCKETMIDI_DEFAULT_SF2}"
    VERBATIM)
  add_custom_target(pocketmidi_default_soundset ALL DEPENDS ${_pocketmidi_soundset_files})
else()
  message(STATUS "pocketmidi: ${POCKETMIDI_DEFAULT_SF2} not found; "
                 "no default instrument set (apt-get install timgm6mb-soundfont, then build again)")
  # Runs at every build: reminds the user, and re-configures once the file is there.
  add_custom_target(pocketmidi_default_soundset ALL
    COMMAND ${CMAKE_COMMAND} -DSF2=${POCKETMIDI_DEFAULT_SF2} -DBUILD_DIR=${CMAKE_BINARY_DIR}
            -P ${CMAKE_CURRENT_LIST_DIR}/MissingSoundFont.cmake
    VERBATIM)
endif()
