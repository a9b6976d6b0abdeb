# Build helpers shared by every module.
include(GoogleTest OPTIONAL)

# fwupg_test(NAME SOURCES a.cpp ... [LIBS x y ...])
# A GoogleTest program; each test case becomes one CTest entry run in its own process,
# so process-wide state (library globals, the current folder) never leaks between cases.
# The program sees FWUPG_BIN_DIR in its environment and the macros FWUPG_SOURCE_DIR and
# FWUPG_SHARED_DIR (the repository and the shared test data beside it). Each run, the listing
# included, starts with FWUPG_SYSTEM_ROOT naming a fresh temporary root (cmake/run_in_temp_root.sh).
function(fwupg_test name)
  if(NOT FWUPG_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} platform_testing GTest::gtest GTest::gmock GTest::gtest_main)
  # Source and shared-data folders are compiled in; the bin folder comes through the environment
  # (without it, the test program's own folder: platform/testing/bin_dir.h).
  target_compile_definitions(${name} PRIVATE
    FWUPG_SOURCE_DIR="${PROJECT_SOURCE_DIR}" FWUPG_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared")
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/run_in_temp_root.sh)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    PROPERTIES ENVIRONMENT "FWUPG_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
    DISCOVERY_TIMEOUT 60)
endfunction()

# fwupg_fuzz(NAME SOURCES a.cpp ... LIBS x ... CORPUS dir)
# A libFuzzer target. In the fuzz preset (clang) it links libFuzzer; in the test build it links
# a small driver that replays the seed corpus, registered as a test.
function(fwupg_fuzz name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(FWUPG_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    # fuzz.sh reads the targets and their seed corpora from this list.
    set_property(GLOBAL APPEND PROPERTY FWUPG_FUZZ_TARGETS "${name} ${F_CORPUS}")
  elseif(FWUPG_TESTS)
    add_executable(${name}_replay ${F_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
    add_test(NAME ${name}_corpus COMMAND ${name}_replay ${F_CORPUS})
  endif()
endfunction()

# fwupg_version_note(TARGET MAJOR MINOR BUILD REVISION [STRINGS "Key=Value" ...])
# Embeds the binary's version record: an ELF note section ".note.tvnver" (owner "TVN", type 1)
# whose descriptor is four little-endian u16 followed by "Key=Value" strings, each NUL-terminated,
# and an empty string at the end. platform/version_note reads it back from the file.
function(fwupg_version_note target major minor build revision)
  cmake_parse_arguments(V "" "" "STRINGS" ${ARGN})
  set(strings "")
  foreach(s IN LISTS V_STRINGS)
    string(REPLACE "\\" "\\\\" s "${s}")
    string(REPLACE "\"" "\\\"" s "${s}")
    string(APPEND strings "\"${s}\\0\" ")
  endforeach()
  set(src ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_note.c)
  file(WRITE ${src}.in
"/* Generated: version record of ${target}. */
#define TVN_STRINGS ${strings} \"\"
struct tvn_note {
  unsigned int namesz, descsz, type;
  char name[4];
  unsigned short version[4];
  char strings[sizeof(TVN_STRINGS) + ((4 - sizeof(TVN_STRINGS) % 4) % 4)];
};
__attribute__((section(\".note.tvnver\"), used, aligned(4)))
const struct tvn_note tvn_version_note_${target} = {
  4, 8 + sizeof(TVN_STRINGS), 1, \"TVN\",
  {${major}, ${minor}, ${build}, ${revision}},
  TVN_STRINGS
};
")
  configure_file(${src}.in ${src} COPYONLY)
  target_sources(${target} PRIVATE ${src})
endfunction()

# fwupg_link_whole(TARGET lib ...)
# Links every member of the given static libraries into TARGET, whether or not anything refers to
# it, so that their definitions replace the frame's weak stand-ins. Each call adds one option
# string of its own: CMake drops repeated plain options, which would leave later archives linked
# the ordinary way.
function(fwupg_link_whole target)
  set(files "")
  set(libs "")
  foreach(lib IN LISTS ARGN)
    if(TARGET ${lib})
      string(APPEND files " $<TARGET_FILE:${lib}>")
      list(APPEND libs ${lib})
    endif()
  endforeach()
  if(libs)
    target_link_options(${target} PRIVATE "SHELL:-Wl,--whole-archive${files} -Wl,--no-whole-archive")
    target_link_libraries(${target} PRIVATE ${libs})
  endif()
endfunction()
