# voran_library(NAME DIR [LINKS ...]) builds every .cpp of a source folder
# into one static library; the folder's headers are reachable as
# "folder/File.h" from the src/ root.
function(voran_library name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS
       "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp"
       "${CMAKE_CURRENT_SOURCE_DIR}/*.h"
       "${CMAKE_CURRENT_SOURCE_DIR}/*.qrc")
  add_library(${name} STATIC ${_src})
  # A header added to the folder must reach moc in an existing build too.
  # With Ninja, CMake 3.25 reruns moc only for the files its depfile lists,
  # so a new header would be left out (a missing vtable at link time): when
  # the folder's file list changes, the moc step's stamp is dropped.
  set(_list "${CMAKE_CURRENT_BINARY_DIR}/${name}.sources")
  set(_old "")
  if(EXISTS "${_list}")
    file(READ "${_list}" _old)
  endif()
  if(NOT _old STREQUAL "${_src}")
    file(WRITE "${_list}" "${_src}")
    file(REMOVE "${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/timestamp")
  endif()
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
endfunction()

# voran_test(NAME SOURCES... LINKS ...) adds one GoogleTest executable run
# headless; every TEST in it becomes its own ctest entry.
function(voran_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT ${ARG_TIMEOUT})
endfunction()

# voran_desktop_test(NAME SOURCES... LINKS ...) adds a GoogleTest executable
# whose tests each run on a desktop of their own: a fresh Xvfb with openbox
# (tests/desktop/run-desktop.sh), Qt on xcb.  Labelled "desktop"; skipped
# (77) only where Xvfb or openbox is missing.  See tests/desktop/README.md.
function(voran_desktop_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} voran_desktop_support GTest::gtest GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/tests/desktop/run-desktop.sh")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS desktop SKIP_RETURN_CODE 77 TIMEOUT ${ARG_TIMEOUT})
endfunction()
