# What `cmake --install` puts under the prefix, for both builds:
#
#   include/cantrelle.h
#   lib/libcantrelle.so                      (native)
#   bin/Cantrelle.dll                        (windows)
#   lib/libCantrelle.dll.a                   (windows: MinGW import library)
#   lib/Cantrelle.lib, lib/Cantrelle.def     (windows: for the Microsoft linker)
#   lib/cmake/Cantrelle/                     find_package(Cantrelle): Cantrelle::cantrelle
#   lib/pkgconfig/cantrelle.pc
#
# The CMake package and the .pc file locate the prefix from where they lie,
# so an installed tree (or the unpacked release archive) can be moved.
# GNUInstallDirs gives lib/ for any prefix but /usr (the archive's layout
# relies on that: the build's default prefix is /usr/local).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

target_include_directories(cantrelle INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS cantrelle EXPORT CantrelleTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/cantrelle.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Cantrelle)
install(EXPORT CantrelleTargets NAMESPACE Cantrelle:: DESTINATION ${package_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/CantrelleConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/CantrelleConfig.cmake INSTALL_DESTINATION ${package_dir})
# 0.x: any minor release may change the interface, so 0.35 accepts only 0.35.x.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/CantrelleConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/CantrelleConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/CantrelleConfigVersion.cmake
        DESTINATION ${package_dir})

if(WIN32)
  set(CANTRELLE_PC_LIBNAME Cantrelle)  # libCantrelle.dll.a
else()
  set(CANTRELLE_PC_LIBNAME cantrelle)
endif()
# From the .pc file's directory back to the prefix: ../.. for lib/pkgconfig,
# one more for a multiarch lib/x86_64-linux-gnu/pkgconfig.
file(RELATIVE_PATH CANTRELLE_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" CANTRELLE_PC_TO_PREFIX "${CANTRELLE_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/cantrelle.pc.in ${CMAKE_CURRENT_BINARY_DIR}/cantrelle.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/cantrelle.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(WIN32)
  # Visual Studio links a DLL through a .lib. Both files are made from the
  # export list, so they name exactly the functions the DLL exports (the
  # library and package tests compare all three). llvm-dlltool writes the
  # short import format the Microsoft linker reads; MinGW's own dlltool
  # writes the GNU format.
  find_program(CANTRELLE_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED
               DOC "llvm-dlltool, for Cantrelle.lib (scripts/setup.sh installs llvm)")
  set(def_file ${CMAKE_BINARY_DIR}/Cantrelle.def)
  set(msvc_lib ${CMAKE_BINARY_DIR}/Cantrelle.lib)
  set(export_list ${PROJECT_SOURCE_DIR}/src/api/exports.txt)
  add_custom_command(OUTPUT ${def_file}
                     COMMAND ${CMAKE_COMMAND} -DEXPORTS=${export_list} -DDLL=Cantrelle.dll -DOUTPUT=${def_file}
                             -P ${PROJECT_SOURCE_DIR}/cmake/write_def.cmake
                     DEPENDS ${export_list} ${PROJECT_SOURCE_DIR}/cmake/write_def.cmake
                     COMMENT "Writing Cantrelle.def from src/api/exports.txt")
  add_custom_command(OUTPUT ${msvc_lib}
                     COMMAND ${CANTRELLE_DLLTOOL} -m i386:x86-64 -d ${def_file} -D Cantrelle.dll -l ${msvc_lib}
                     DEPENDS ${def_file}
                     COMMENT "Making Cantrelle.lib (import library for the Microsoft linker)")
  add_custom_target(cantrelle_msvc_import_lib ALL DEPENDS ${msvc_lib})
  add_dependencies(cantrelle cantrelle_msvc_import_lib)
  install(FILES ${msvc_lib} ${def_file} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
