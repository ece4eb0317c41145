# The tests of the Windows build, run under Wine (the toolchain's emulator):
# the render tests, which need nothing of a system, and the Windows backend's
# own; then the end-to-end suite on the real .exe in Xvfb with openbox. The
# POSIX, SDL and folder tests stay on Linux.
add_library(orvale_gtest STATIC IMPORTED)
set_target_properties(orvale_gtest PROPERTIES IMPORTED_LOCATION "${ORVALE_WIN_DEPS}/lib/libgtest.a"
  INTERFACE_INCLUDE_DIRECTORIES "${ORVALE_WIN_DEPS}/include")

function(orvale_windows_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} win32_test_main.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} orvale_platform_headless orvale_platform_win32 freeimage
    orvale_gtest orvale_warnings)
  add_test(NAME ${name} COMMAND ${name} ${ARG_ARGS})
  set_tests_properties(${name} PROPERTIES LABELS "unit;windows" TIMEOUT 120)
endfunction()

orvale_windows_test(frame_test SOURCES frame_test.cpp LIBS orvale_render)
orvale_windows_test(draw_test SOURCES draw_test.cpp LIBS orvale_render)
orvale_windows_test(assets_test SOURCES assets_test.cpp LIBS orvale_render)
orvale_windows_test(draw_sheet_test SOURCES draw_sheet_test.cpp LIBS orvale_render)
target_compile_definitions(draw_sheet_test PRIVATE ORVALE_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
orvale_windows_test(scaler_test SOURCES scaler_test.cpp LIBS orvale_render)
set_source_files_properties(scaler_test.cpp PROPERTIES COMPILE_OPTIONS -ffp-contract=off)
# The backend, with the program's resources; ctest passes two arguments.
orvale_windows_test(win32_test SOURCES win32_test.cpp ${CMAKE_SOURCE_DIR}/platform/win32/orvale-viewer.rc
  LIBS orvale_app orvale_viewer orvale_render ARGS "two words" x)
add_dependencies(win32_test orvale_win32_icon)
set_source_files_properties(${CMAKE_SOURCE_DIR}/platform/win32/orvale-viewer.rc PROPERTIES
  OBJECT_DEPENDS "${ORVALE_WIN32_RESOURCE_FILES}")
target_include_directories(win32_test PRIVATE ${CMAKE_BINARY_DIR}/app ${CMAKE_SOURCE_DIR}/platform/win32)
target_compile_definitions(win32_test PRIVATE ORVALE_PICTURE_TYPES="${CMAKE_SOURCE_DIR}/tools/build/picture_types.txt")

# End-to-end on the .exe, with the samples the Linux build's generator makes.
foreach(area walk grid start)
  add_test(NAME e2e_${area}
    COMMAND /usr/bin/python3 -m unittest -v test_${area}
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/e2e)
  set_tests_properties(e2e_${area} PROPERTIES LABELS "e2e;windows" TIMEOUT 400
    ENVIRONMENT "ORVALE_BINARY=$<TARGET_FILE:orvale-viewer>;ORVALE_WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix")
endforeach()

# The installer made from the .exe, installed and uninstalled in a Wine prefix
# of its own, and the program started from where it was installed.
add_test(NAME e2e_install COMMAND /usr/bin/python3 -m unittest -v test_install
  WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/e2e)
set_tests_properties(e2e_install PROPERTIES LABELS "package;windows" TIMEOUT 400
  ENVIRONMENT "ORVALE_BINARY=$<TARGET_FILE:orvale-viewer>;ORVALE_WIN_DEPS=${ORVALE_WIN_DEPS}")
