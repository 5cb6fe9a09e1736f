# Suites that live outside this native build, registered in its ctest so
# that one `ctest --preset native` reports every test of the project:
#
#   library.*  checks of the built libraries and the public header
#   wine.*     the Windows test programs and the C examples of the windows
#              build, under Wine
#   tsan.*     the concurrency suites of the native-tsan build
#   package.*  the libraries as users take them: installed packages, the
#              MSVC import library, the release archive
#   csharp.*   the C# binding: in step with the header, and run under Mono
#   examples.* the C examples' own checks, natively
#
# The other build directories are given as cache variables
# (scripts/test.sh sets them all); left empty, their suites are not registered.
set(CANTRELLE_WINDOWS_BUILD_DIR "" CACHE PATH
    "windows preset build directory, for the DLL checks and the Wine tests (empty: skip them)")
set(CANTRELLE_TSAN_BUILD_DIR "" CACHE PATH
    "native-tsan preset build directory, for the ThreadSanitizer run (empty: skip it)")
set(CANTRELLE_RELEASE_BUILD_DIR "" CACHE PATH
    "release preset build directory, for the package and binding tests (empty: skip them)")
set(CANTRELLE_TSAN_FILTER "*Concurrency*" CACHE STRING "GoogleTest filter of the suites run under ThreadSanitizer")

set(scripts ${PROJECT_SOURCE_DIR}/scripts)
set(exports ${PROJECT_SOURCE_DIR}/src/api/exports.txt)
set(header ${PROJECT_SOURCE_DIR}/include/cantrelle.h)

# Sanitizer settings for every test of this directory, the discovered unit
# tests included; set when ctest reads its test list, before any test runs.
get_property(includes DIRECTORY PROPERTY TEST_INCLUDE_FILES)
set_property(DIRECTORY PROPERTY TEST_INCLUDE_FILES ${PROJECT_SOURCE_DIR}/cmake/sanitizer_env.cmake ${includes})

# ---- The libraries and the header ------------------------------------------

add_test(NAME style.format COMMAND ${scripts}/check-format.sh)
# Includes in src/ run from a room only to itself or the rooms below it.
add_test(NAME style.rooms COMMAND python3 ${scripts}/check-rooms.py)
add_test(NAME style.rooms_check_catches_upward COMMAND python3 ${scripts}/check-rooms.py --self-test)
set_tests_properties(style.format style.rooms style.rooms_check_catches_upward PROPERTIES LABELS style)
add_test(NAME library.so_exports
         COMMAND ${scripts}/check-library.sh so-exports $<TARGET_FILE:cantrelle> ${exports})
add_test(NAME library.header_declares_exports
         COMMAND ${scripts}/check-library.sh header-declares ${header} ${exports} ${CMAKE_C_COMPILER})
add_test(NAME library.header_compiles
         COMMAND ${scripts}/check-library.sh header-compiles ${header} ${CMAKE_C_COMPILER} ${CMAKE_CXX_COMPILER})
set_tests_properties(library.so_exports library.header_declares_exports library.header_compiles
                     PROPERTIES LABELS library)

# ---- The C examples, natively ----------------------------------------------

# Their options: what a player or script types is taken or refused whole.
add_test(NAME examples.options
         COMMAND ${scripts}/check-examples.sh options $<TARGET_FILE:metronome> $<TARGET_FILE:calibrate>)
set_tests_properties(examples.options PROPERTIES LABELS examples)

# ---- The C# binding ----------------------------------------------------------

set(csharp_binding ${PROJECT_SOURCE_DIR}/bindings/csharp/Cantrelle.cs)
add_test(NAME csharp.binding_matches_header
         COMMAND python3 ${scripts}/check-csharp-binding.py ${header} ${csharp_binding} ${exports})
add_test(NAME csharp.binding_check_catches_drift
         COMMAND python3 ${scripts}/check-csharp-binding.py --self-test ${header} ${csharp_binding} ${exports})
set_tests_properties(csharp.binding_matches_header csharp.binding_check_catches_drift PROPERTIES LABELS csharp)
if(CANTRELLE_RELEASE_BUILD_DIR)
  add_test(NAME csharp.mono_program
           COMMAND ${scripts}/csharp-test.sh ${CANTRELLE_RELEASE_BUILD_DIR} ${CMAKE_CURRENT_BINARY_DIR}/csharp
                   ${PROJECT_SOURCE_DIR}/tests/csharp/BindingTest.cs)
  # The example docs/csharp.md starts from, as a user would build it.
  add_test(NAME csharp.example_clicks
           COMMAND ${scripts}/csharp-test.sh ${CANTRELLE_RELEASE_BUILD_DIR} ${CMAKE_CURRENT_BINARY_DIR}/csharp
                   ${PROJECT_SOURCE_DIR}/examples/csharp/Clicks.cs)
  set_tests_properties(csharp.mono_program csharp.example_clicks PROPERTIES LABELS "csharp;package")
else()
  message(STATUS "CANTRELLE_RELEASE_BUILD_DIR not set: the C# program against libcantrelle.so is not registered")
endif()

# ---- The Windows build -------------------------------------------------------

if(CANTRELLE_WINDOWS_BUILD_DIR)
  set(dll ${CANTRELLE_WINDOWS_BUILD_DIR}/Cantrelle.dll)
  add_test(NAME library.dll_exports COMMAND ${scripts}/check-library.sh dll-exports ${dll} ${exports})
  add_test(NAME library.dll_imports COMMAND ${scripts}/check-library.sh dll-imports ${dll})
  set_tests_properties(library.dll_exports library.dll_imports PROPERTIES LABELS library)

  # One Wine prefix per ctest run, booted once (about 10 s) and shared by
  # every Windows program; each program's HOME and captured output are in
  # ${wine_dir}/<program name>/.
  set(wine_dir ${CMAKE_CURRENT_BINARY_DIR}/wine)
  add_test(NAME wine.prefix_setup COMMAND ${scripts}/wine-run.sh --setup ${wine_dir})
  add_test(NAME wine.prefix_cleanup COMMAND ${scripts}/wine-run.sh --cleanup ${wine_dir})
  set_tests_properties(wine.prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix LABELS wine TIMEOUT 300)
  set_tests_properties(wine.prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine_prefix LABELS wine)

  # The windows build lists its programs in wine_tests.txt; reading the list
  # when ctest runs means a program added there needs no reconfigure here.
  set(wine_runner ${scripts}/wine-run.sh)
  set(wine_manifest ${CANTRELLE_WINDOWS_BUILD_DIR}/wine_tests.txt)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/wine_tests.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/wine_tests.cmake @ONLY)
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_CURRENT_BINARY_DIR}/wine_tests.cmake)

  # The C examples as a game runs them, through the real DLL: the game loop
  # docs/guide.md gives (the metronome's) logs no refusal with safe input on
  # or off, the calibration judges every tap sent and sums them up right in
  # both modes, and the overlap example's hits ring as it says.
  set(check_examples ${scripts}/check-examples.sh)
  foreach(mode on off)
    add_test(NAME wine.example_metronome_safe_input_${mode}
             COMMAND ${check_examples} metronome ${CANTRELLE_WINDOWS_BUILD_DIR} ${wine_dir} ${mode})
    add_test(NAME wine.example_calibrate_safe_input_${mode}
             COMMAND ${check_examples} calibrate ${CANTRELLE_WINDOWS_BUILD_DIR} ${wine_dir} ${mode})
  endforeach()
  add_test(NAME wine.example_overlap COMMAND ${check_examples} overlap ${CANTRELLE_WINDOWS_BUILD_DIR} ${wine_dir})
  set_tests_properties(wine.example_metronome_safe_input_on wine.example_metronome_safe_input_off
                       wine.example_calibrate_safe_input_on wine.example_calibrate_safe_input_off wine.example_overlap
                       PROPERTIES FIXTURES_REQUIRED wine_prefix LABELS "wine;examples" TIMEOUT 300
                       RESOURCE_LOCK wine_desktop)
# The overlap example measures what the device played: alone, as the audio program.
set_tests_properties(wine.example_overlap PROPERTIES RUN_SERIAL TRUE)
else()
  message(STATUS "CANTRELLE_WINDOWS_BUILD_DIR not set: DLL checks and Wine tests not registered")
endif()

# ---- The packages ------------------------------------------------------------

# Each installs into, and builds in, its own directory under this build tree.
set(package_dir ${CMAKE_CURRENT_BINARY_DIR}/package)
set(check_package ${scripts}/check-package.sh)
if(CANTRELLE_RELEASE_BUILD_DIR)
  add_test(NAME package.install_native
           COMMAND ${check_package} install-native ${CANTRELLE_RELEASE_BUILD_DIR} ${package_dir}/native ${PROJECT_VERSION})
  set_tests_properties(package.install_native PROPERTIES LABELS package)
else()
  message(STATUS "CANTRELLE_RELEASE_BUILD_DIR not set: the native package test is not registered")
endif()
if(CANTRELLE_WINDOWS_BUILD_DIR)
  add_test(NAME package.msvc_import_lib
           COMMAND ${scripts}/check-library.sh lib-exports ${CANTRELLE_WINDOWS_BUILD_DIR}/Cantrelle.lib Cantrelle.dll
                   ${exports})
  add_test(NAME package.install_mingw
           COMMAND ${check_package} install-mingw ${CANTRELLE_WINDOWS_BUILD_DIR} ${package_dir}/mingw ${PROJECT_VERSION}
                   ${wine_dir})
  add_test(NAME package.msvc_link
           COMMAND ${check_package} msvc-link ${CANTRELLE_WINDOWS_BUILD_DIR} ${package_dir}/msvc ${wine_dir})
  add_test(NAME package.msvc_cmake
           COMMAND ${check_package} msvc-cmake ${CANTRELLE_WINDOWS_BUILD_DIR} ${package_dir}/msvc_cmake ${wine_dir})
  add_test(NAME package.release_archive
           COMMAND ${check_package} release-archive ${CANTRELLE_WINDOWS_BUILD_DIR} ${package_dir}/release
                   ${PROJECT_VERSION} ${wine_dir})
  set_tests_properties(package.msvc_import_lib package.install_mingw package.msvc_link package.msvc_cmake
                       package.release_archive PROPERTIES LABELS package)
  # Their programs run in the Wine prefix the Windows tests share, one at a
  # time on its desktop like the others.
  set_tests_properties(package.install_mingw package.msvc_link package.msvc_cmake package.release_archive
                       PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT 300)
  # cmake --install writes its manifest into the windows build directory.
  set_tests_properties(package.install_mingw package.msvc_cmake package.release_archive
                       PROPERTIES RESOURCE_LOCK "wine_desktop;windows_install")
  set_tests_properties(package.msvc_link PROPERTIES RESOURCE_LOCK wine_desktop)
endif()

# ---- The ThreadSanitizer build ---------------------------------------------

if(CANTRELLE_TSAN_BUILD_DIR)
  # The ThreadSanitizer runtime of g++ 12 cannot map its shadow memory when
  # the kernel randomises more address bits than it expects; it runs without
  # randomisation where the system allows turning it off.
  add_test(NAME tsan.concurrency
           COMMAND sh -c "if setarch -R true 2>/dev/null; then exec setarch -R \"$@\"; else exec \"$@\"; fi" tsan
                   ${CANTRELLE_TSAN_BUILD_DIR}/tests/cantrelle_unit_tests --gtest_filter=${CANTRELLE_TSAN_FILTER})
  set_tests_properties(tsan.concurrency PROPERTIES
                       LABELS tsan
                       ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:history_size=4")
else()
  message(STATUS "CANTRELLE_TSAN_BUILD_DIR not set: ThreadSanitizer suites not registered")
endif()

# ---- The fuzzer --------------------------------------------------------------

set(CANTRELLE_FUZZ_BUILD_DIR "" CACHE PATH "fuzz preset build directory, for the fuzz run (empty: skip it)")
set(CANTRELLE_FUZZ_SECONDS 120 CACHE STRING "Length of the bounded fuzz run in the test command")

if(CANTRELLE_FUZZ_BUILD_DIR)
  set(fuzzer ${CANTRELLE_FUZZ_BUILD_DIR}/tests/fuzz/exports_fuzzer)
  # Every input that once found a fault, replayed as it is.
  add_test(NAME fuzz.regressions COMMAND ${fuzzer} -runs=0 ${PROJECT_SOURCE_DIR}/tests/fuzz/regressions)
  add_test(NAME fuzz.exports COMMAND ${scripts}/fuzz.sh ${fuzzer} ${CANTRELLE_FUZZ_SECONDS})
  set_tests_properties(fuzz.regressions fuzz.exports PROPERTIES LABELS fuzz)
  set_tests_properties(fuzz.exports PROPERTIES TIMEOUT 600)
else()
  message(STATUS "CANTRELLE_FUZZ_BUILD_DIR not set: the fuzz run is not registered")
endif()
