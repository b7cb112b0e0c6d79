# Tests of the Win32 backend and the Windows program. They open real
# windows, so they run under wine on a private X display (xvfb-run) in a
# wine prefix of their own (see win32_display_run.sh), as one ctest entry.
add_executable(window_win32_test win32_backend_test.cpp win32_program_test.cpp
                                 win32_update_run_test.cpp)
target_link_libraries(window_win32_test PRIVATE reflint_window_win32 reflint_ui reflint_platform
                      GTest::gtest_main Threads::Threads)
target_include_directories(window_win32_test PRIVATE ${PROJECT_SOURCE_DIR}/src
                           ${PROJECT_SOURCE_DIR}/tests)
add_dependencies(window_win32_test Reflint)
# The whole update runs below need an emulated remote and run on their own.
add_test(NAME window_win32_test
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32_display_run.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
                 $<TARGET_FILE:window_win32_test> --gtest_filter=-ReflintUpdateRun.*)
# One entry runs many cases: one that skips itself must not pass unseen.
set_tests_properties(window_win32_test PROPERTIES LABELS gui TIMEOUT 300
                     FAIL_REGULAR_EXPRESSION "\\[  SKIPPED \\]")

# Whole update runs of Reflint.exe against the remote emulator, which only a
# native (Linux) build makes: REFLINT_NATIVE_BIN_DIR names that build's bin
# folder (remote-emulator and the sample firmware files); scripts/test sets it.
set(REFLINT_NATIVE_BIN_DIR "" CACHE PATH "bin folder of a native build, for the update road test")
if(REFLINT_NATIVE_BIN_DIR)
  add_test(NAME window_win32_update_road
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32_update_run.sh ${REFLINT_NATIVE_BIN_DIR}
                   ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  set_tests_properties(window_win32_update_road PROPERTIES LABELS gui TIMEOUT 300)
endif()

# The Windows builds' sanitizer (scripts/wine-checked, ctest's emulator)
# against a program with planted heap faults.
add_executable(heap_fault heap_fault.cpp)
target_link_libraries(heap_fault PRIVATE Threads::Threads)
add_test(NAME wine_checked
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine_checked_test.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
                 $<TARGET_FILE:heap_fault>)
