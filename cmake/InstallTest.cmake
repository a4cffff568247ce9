# CTest: install into a temporary prefix, then build the example host program
# against the installed copy, with pkg-config and with find_package, and run it.
set(_pocketmidi_toolchain "")
if(CMAKE_TOOLCHAIN_FILE)
  get_filename_component(_pocketmidi_toolchain "${CMAKE_TOOLCHAIN_FILE}" ABSOLUTE
                         BASE_DIR ${PROJECT_SOURCE_DIR})
endif()
add_test(NAME install.pkg_config_and_cmake_package
  COMMAND ${PROJECT_SOURCE_DIR}/tests/install/check_install.sh
          ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${CMAKE_C_COMPILER}
          "$<$<BOOL:${POCKETMIDI_SANITIZE}>:-fsanitize=address,undefined>"
          "${_pocketmidi_toolchain}" ${CMAKE_CROSSCOMPILING_EMULATOR})
set_tests_properties(install.pkg_config_and_cmake_package PROPERTIES TIMEOUT 300)
