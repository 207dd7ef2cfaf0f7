# Warnings and sanitizers in one place, applied to every target of the project.
if(QUILLMERE_SANITIZE)
  add_compile_options(-fsanitize=${QUILLMERE_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${QUILLMERE_SANITIZE})
endif()

# Linux builds without sanitizers are hardened as Debian hardens its packages:
# checked string and memory functions where the optimiser can see the sizes,
# a stack protector, and relocations made read-only before main runs.
if(NOT QUILLMERE_SANITIZE AND NOT WIN32)
  add_compile_options(-fstack-protector-strong $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()

function(quill_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# quill_test(NAME SOURCES... LIBS ...): one GoogleTest executable, discovered by CTest.
include(GoogleTest)
function(quill_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  quill_target(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main Threads::Threads)
  # A cross build lists the tests when ctest runs (through the emulator), so
  # building needs no emulator.
  if(CMAKE_CROSSCOMPILING)
    set(mode PRE_TEST)
  else()
    set(mode POST_BUILD)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 DISCOVERY_MODE ${mode} PROPERTIES LABELS "${T_LABELS}"
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  # Writes made by tests go to a history of the build's own, not the user's
  # (under Wine the prefix is the tests' own already).
  if(NOT WIN32)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/test_data_home.cpp)
    target_compile_definitions(${name} PRIVATE QUILLMERE_TEST_DATA_HOME="${CMAKE_BINARY_DIR}/test-data")
  endif()
endfunction()
