# The version lives in project(); the library answers getversion() and
# getbuildstring() from constants in src/engine/engine.h. Refuse to configure
# when the two have drifted apart, so a release can never ship a DLL whose
# getversion() disagrees with its package name.
file(READ ${PROJECT_SOURCE_DIR}/src/engine/engine.h engine_header)
string(REGEX MATCH "kVersion = ([0-9]+);" _ "${engine_header}")
set(library_version_number "${CMAKE_MATCH_1}")
string(REGEX MATCH "\"Cantrelle Engine ([0-9.]+) " _ "${engine_header}")
set(library_build_version "${CMAKE_MATCH_1}")
if(NOT PROJECT_VERSION STREQUAL "${PROJECT_VERSION_MAJOR}.${library_version_number}"
   OR NOT PROJECT_VERSION STREQUAL library_build_version)
  message(FATAL_ERROR "Version mismatch: project() says ${PROJECT_VERSION}, src/engine/engine.h has kVersion "
                      "'${library_version_number}' and build string version '${library_build_version}' "
                      "(expected ${PROJECT_VERSION_MAJOR}.<kVersion> for both)")
endif()
