# CTest: install into a temporary prefix, then build the example host program
# against the installed copy, with pkg-config and with find_package, and run it.
add_test(NAME install.pkg_config_and_cmake_package
  COMMAND ${PROJECT_SOURCE_DIR}/tests/install/check_install.sh
          ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${CMAKE_C_COMPILER}
          "$<$<BOOL:${POCKETMIDI_SANITIZE}>:-fsanitize=address,undefined>")
set_tests_properties(install.pkg_config_and_cmake_package PROPERTIES TIMEOUT 300)
