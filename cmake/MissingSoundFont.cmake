# Build step used when the default SoundFont was missing at configure time.
if(EXISTS "${SF2}")
  # It has been installed since: touching the cache makes the next build re-configure.
  message(STATUS "pocketmidi: ${SF2} is now present; building again makes the default instrument set")
  file(TOUCH "${BUILD_DIR}/CMakeCache.txt")
else()
  message(STATUS "pocketmidi: no default instrument set: ${SF2} is missing. "
                 "Install it with `sudo apt-get install timgm6mb-soundfont` and build again, "
                 "or give `pocketmidi render/play` --config DIR (see `pocketmidi pack`).")
endif()
