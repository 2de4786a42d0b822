# Installing the binding for programs of its own: the public headers (the binding's and
# the engine interface's), the static library and the CMake package `ceflib`
# (component `ceflib`), and our engine library as the package's optional component
# `engine` (component `engine`).
#
#   cmake --install build/<preset> --prefix DIR --component ceflib
#   cmake --install build/<preset> --prefix DIR --component engine
#
# On Windows a plain `cmake --install` stays the player's folder (Tessaril.exe alone), so
# both components are installed only when named; elsewhere a plain install gives both.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(CEFLIB_VERSION 1.0.0)
set(CEFLIB_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ceflib)
set(_only_when_named "")
if(WIN32)
  set(_only_when_named EXCLUDE_FROM_ALL)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/ceflib/core ${PROJECT_SOURCE_DIR}/ceflib/bridges
                  ${PROJECT_SOURCE_DIR}/ceflib/wrappers
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ceflib COMPONENT ceflib ${_only_when_named}
        FILES_MATCHING PATTERN "*.h")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/cef DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT ceflib ${_only_when_named})
install(TARGETS ceflib EXPORT ceflibTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ceflib ${_only_when_named})
install(EXPORT ceflibTargets NAMESPACE ceflib:: DESTINATION ${CEFLIB_PACKAGE_DIR}
        COMPONENT ceflib ${_only_when_named})

# The engine is loaded by name at run time, never linked: only the library itself goes
# in (libcef.so into lib/, libcef.dll into bin/), not its import library.
if(WIN32)
  set(CEFLIB_ENGINE_FILE ${CMAKE_INSTALL_BINDIR}/libcef.dll)
else()
  set(CEFLIB_ENGINE_FILE ${CMAKE_INSTALL_LIBDIR}/libcef.so)
endif()
install(TARGETS cef_engine
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT engine ${_only_when_named}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT engine ${_only_when_named}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT engine_import_library EXCLUDE_FROM_ALL)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ceflibConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/ceflibConfig.cmake
  INSTALL_DESTINATION ${CEFLIB_PACKAGE_DIR}
  PATH_VARS CEFLIB_ENGINE_FILE)
# The version file also refuses a program built for the other pointer size.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/ceflibConfigVersion.cmake
  VERSION ${CEFLIB_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/ceflibConfig.cmake
              ${CMAKE_BINARY_DIR}/package/ceflibConfigVersion.cmake
        DESTINATION ${CEFLIB_PACKAGE_DIR} COMPONENT ceflib ${_only_when_named})
