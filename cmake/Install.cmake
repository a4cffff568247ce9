# `cmake --install BUILD --prefix P`: the shared library, its header, the
# `pocketmidi` tool, the default instrument set (when the build made one), a
# pkg-config file and a CMake package exporting pocketmidi::pocketmidi.
include(CMakePackageConfigHelpers)

set(POCKETMIDI_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/pocketmidi)

install(TARGETS pocketmidi EXPORT pocketmidiTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development)
install(FILES ${PROJECT_SOURCE_DIR}/include/pocketmidi.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS pocketmidi_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The installed tool still defaults to the build tree's set: point
# POCKETMIDI_SOUNDSET (or --config) at this copy.
install(DIRECTORY ${CMAKE_BINARY_DIR}/soundset/ DESTINATION ${CMAKE_INSTALL_DATADIR}/pocketmidi/soundset
  OPTIONAL)

# Relocatable: the prefix is found from where the .pc file lies, so
# `cmake --install --prefix P` needs no re-configure.
file(RELATIVE_PATH POCKETMIDI_PC_TO_PREFIX
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" POCKETMIDI_PC_TO_PREFIX "${POCKETMIDI_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/pocketmidi.pc.in ${CMAKE_BINARY_DIR}/pocketmidi.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/pocketmidi.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(EXPORT pocketmidiTargets NAMESPACE pocketmidi:: DESTINATION ${POCKETMIDI_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/pocketmidiConfig.cmake.in
  ${CMAKE_BINARY_DIR}/pocketmidiConfig.cmake INSTALL_DESTINATION ${POCKETMIDI_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/pocketmidiConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/pocketmidiConfig.cmake ${CMAKE_BINARY_DIR}/pocketmidiConfigVersion.cmake
  DESTINATION ${POCKETMIDI_CMAKE_DIR})
