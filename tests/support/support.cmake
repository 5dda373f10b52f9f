# Test support shared by every test group and by bench/. A group's folder
# holds its own tests and helpers; what two groups (or a group and a bench
# program) both need lives here, in one of the libraries below, and nowhere
# else: a group never includes or compiles another group's files, and
# nothing here includes a group's files. bench/ links these libraries by name.
# New files join a library below (or a new library) in this file.
#
# Include it from a test folder's CMakeLists.txt before using it (folders are
# added in name order, so every user includes it itself; it is read once per
# build):
#
#   include(${PROJECT_SOURCE_DIR}/tests/support/support.cmake)
#   halyard_add_scripted_test(NAME drawer_test SOURCES drawer_test.cpp [TIMEOUT 120])
#
# halyard_add_scripted_test builds a test program that links halyard_core
# (the service object's code), the recording Control Object, the log reader,
# ServiceFixture (service_fixture.h) and the scripted port library. It lands in <build>/tests/scripted beside
# the scripted Ferrule.dll and a copy of Quire.dll, so the service object's
# port calls reach the script instead of a printer.
include_guard(GLOBAL)

# Cached so that it is seen from every folder, not only the one that read this file first.
set(HALYARD_SCRIPTED_DIR ${CMAKE_BINARY_DIR}/tests/scripted CACHE INTERNAL "")
set(_support ${PROJECT_SOURCE_DIR}/tests/support)

# The scripted port library, loaded as Ferrule.dll. Its import library goes
# elsewhere than the real one's so neither replaces the other.
add_library(scripted_ferrule SHARED ${_support}/scripted_port.cpp)
set_target_properties(scripted_ferrule PROPERTIES
  PREFIX "" OUTPUT_NAME Ferrule
  RUNTIME_OUTPUT_DIRECTORY ${HALYARD_SCRIPTED_DIR}
  LIBRARY_OUTPUT_DIRECTORY ${HALYARD_SCRIPTED_DIR}
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/scripted)
target_compile_definitions(scripted_ferrule PRIVATE FERRULE_BUILD)

# The real logging library beside the scripted programs.
add_custom_command(
  OUTPUT ${HALYARD_SCRIPTED_DIR}/Quire.dll
  COMMAND ${CMAKE_COMMAND} -E make_directory ${HALYARD_SCRIPTED_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Quire> ${HALYARD_SCRIPTED_DIR}/Quire.dll
  DEPENDS Quire $<TARGET_FILE:Quire>
  COMMENT "Quire.dll for the scripted tests")
add_custom_target(scripted_quire DEPENDS ${HALYARD_SCRIPTED_DIR}/Quire.dll)

# The recording Control Object, the STA helpers, device keys, the child
# process runner, the log tests' scratch installation and the printer queue
# that relays to the emulator: usable by any test,
# including those that load Halyard.dll through COM.
add_library(halyard_test_support STATIC
  ${_support}/recording_co.cpp ${_support}/device_key.cpp ${_support}/child_process.cpp
  ${_support}/log_installation.cpp ${_support}/process_counts.cpp ${_support}/relay_queue.cpp)
target_include_directories(halyard_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(halyard_test_support PUBLIC ole32 oleaut32 uuid user32 advapi32 winspool
                      setupapi)

# The printer emulator on loopback with its device key, and the service
# opened on it (through COM or in this process): every end-to-end, soak,
# fault and bench program starts from here. bench/ links it by name.
add_library(halyard_test_emulated STATIC
  ${_support}/emulated_device.cpp ${_support}/device_session.cpp
  ${_support}/emulator_service.cpp)
target_link_libraries(halyard_test_emulated PUBLIC halyard_test_support halyard_core
                      printer_emulator_core)

# The service object under test: the log read back (gLogHandle comes from
# halyard_core) and the ServiceFixture of service_fixture.h.
add_library(halyard_test_log STATIC ${_support}/service_log.cpp ${_support}/service_fixture.cpp)
target_link_libraries(halyard_test_log PUBLIC halyard_core halyard_test_support GTest::gtest)

function(halyard_add_scripted_test)
  cmake_parse_arguments(S "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  # Variables of the including folder are not seen here: name the folder anew.
  set(args NAME ${S_NAME} SOURCES ${S_SOURCES} OUTPUT_DIR ${CMAKE_BINARY_DIR}/tests/scripted
      LIBS halyard_test_log halyard_core scripted_ferrule halyard_test_support ${S_LIBS}
      LABELS scripted ${S_LABELS})
  if(S_TIMEOUT)
    list(APPEND args TIMEOUT ${S_TIMEOUT})
  endif()
  halyard_add_test(${args})
  add_dependencies(${S_NAME} scripted_quire)
endfunction()
