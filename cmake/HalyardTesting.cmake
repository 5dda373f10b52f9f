# halyard_add_test(NAME <name> SOURCES <src...> [LIBS <lib...>] [OUTPUT_DIR <dir>]
#                  [TIMEOUT <s>] [LABELS <l...>] [FIXTURES_REQUIRED <f...>] [NO_GTEST]
#                  [WINE_PREFIX <dir>] [SERIAL_PAIRS <com61:com62...>])
# Builds one test program and registers it with ctest; it runs under Wine
# through the cross-compiling emulator. By default the program links
# GoogleTest with its main(); NO_GTEST is for programs with their own main().
# WINE_PREFIX runs it in a prefix of its own instead of the build's shared
# one, for tests that rewrite machine-wide registry keys other tests read.
# SERIAL_PAIRS runs it inside the serial test bed: each pair of dosdevices
# names becomes the two ends of one socat pseudo-terminal line.
function(halyard_add_test)
  cmake_parse_arguments(T "NO_GTEST" "NAME;OUTPUT_DIR;TIMEOUT;WINE_PREFIX"
                        "SOURCES;LIBS;LABELS;FIXTURES_REQUIRED;SERIAL_PAIRS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS})
  if(NOT T_NO_GTEST)
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  if(T_OUTPUT_DIR)
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${T_OUTPUT_DIR})
  endif()
  get_target_property(dir ${T_NAME} RUNTIME_OUTPUT_DIRECTORY)
  if(T_SERIAL_PAIRS)
    # Pseudo-terminal pairs linked in as COM/LPT ports around the program's run
    # (tests/support/serial_bed.sh); each test names COM numbers of its own.
    add_test(NAME ${T_NAME}
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/support/serial_bed.sh ${HALYARD_WINE_ARCH}
                     ${HALYARD_WINE_PREFIX} ${T_SERIAL_PAIRS} -- ${HALYARD_WINE_RUN}
                     ${HALYARD_WINE_PREFIX} $<TARGET_FILE:${T_NAME}>
             WORKING_DIRECTORY ${dir})
  elseif(T_WINE_PREFIX)
    add_test(NAME ${T_NAME} COMMAND ${HALYARD_WINE_RUN} ${T_WINE_PREFIX} $<TARGET_FILE:${T_NAME}>
             WORKING_DIRECTORY ${dir})
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} WORKING_DIRECTORY ${dir})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_FIXTURES_REQUIRED)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES_REQUIRED}")
  endif()
endfunction()
