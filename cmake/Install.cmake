# What `cmake --install` puts where, and the Debian package CPack makes of it.
#
#   lib/tolvane/            the program directory: both programs and libnode.so,
#                           which the programs load from beside themselves
#   bin/                    links to the two programs
#   lib/libtolvane-webview.so, include/tolvane/, lib/cmake/Tolvane/,
#   lib/pkgconfig/tolvane-webview.pc
#                           the SDK: the web view client for other programs
#   share/applications, share/icons, share/man/man1
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TOLVANE_PROGRAM_DIR "lib/tolvane")
set(TOLVANE_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Tolvane")


# ---- the SDK library: the web view client (loader, WebView, EngineView,
# hosting, page script bridge, events) as one shared library
add_library(tolvane_webview_sdk SHARED "${CMAKE_CURRENT_LIST_DIR}/sdk.cpp")
set(sdk_archives tolvane_webview tolvane_webview_bridge tolvane_webview_fillbridge tolvane_runtime)
set(sdk_whole "")
foreach(a ${sdk_archives})
  list(APPEND sdk_whole "$<TARGET_FILE:${a}>")
endforeach()
# Every object of the archives goes in (nothing in the SDK file itself refers
# to them); their own dependencies come after, as usual.
target_link_libraries(tolvane_webview_sdk PUBLIC Qt6::Widgets
  PRIVATE -Wl,--whole-archive ${sdk_whole} -Wl,--no-whole-archive ${sdk_archives})
target_include_directories(tolvane_webview_sdk INTERFACE
  "$<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/src>"
  "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tolvane>")
set_target_properties(tolvane_webview_sdk PROPERTIES
  OUTPUT_NAME tolvane-webview
  EXPORT_NAME WebView
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/sdk"
  # The SDK library stays where the linker finds it; the engine is loaded
  # from the using program's directory.
  INSTALL_RPATH "")
add_dependencies(tolvane_webview_sdk node)

if(TARGET tolvane-fill)
  set(programs tolvane-designer tolvane-fill)
else()
  set(programs tolvane-designer)
endif()
install(TARGETS ${programs} RUNTIME DESTINATION "${TOLVANE_PROGRAM_DIR}" COMPONENT programs)
install(TARGETS node EXPORT TolvaneTargets
  LIBRARY DESTINATION "${TOLVANE_PROGRAM_DIR}" COMPONENT programs)
install(TARGETS tolvane_webview_sdk EXPORT TolvaneTargets
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT sdk)
set_target_properties(node PROPERTIES EXPORT_NAME Engine)

foreach(program ${programs})
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(CREATE_LINK \"../${TOLVANE_PROGRAM_DIR}/${program}\" \"\${bin}/${program}\" SYMBOLIC)
    message(STATUS \"Installing: \${bin}/${program} -> ../${TOLVANE_PROGRAM_DIR}/${program}\")"
    COMPONENT programs)
endforeach()

# Public headers: the web view and the text conversions its byte texts need.
install(FILES
  "${CMAKE_SOURCE_DIR}/src/webview/webview.h"
  "${CMAKE_SOURCE_DIR}/src/webview/engineview.h"
  "${CMAKE_SOURCE_DIR}/src/webview/wke.h"
  "${CMAKE_SOURCE_DIR}/src/webview/appsetup.h"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/tolvane/webview" COMPONENT sdk)
install(FILES "${CMAKE_SOURCE_DIR}/src/runtime/textcodec.h"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/tolvane/runtime" COMPONENT sdk)
install(FILES "${CMAKE_BINARY_DIR}/generated/tolvane/version.h"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/tolvane/tolvane" COMPONENT sdk)

# CMake package: find_package(Tolvane) gives Tolvane::WebView, Tolvane::Engine
# and tolvane_deploy_engine(target).
install(EXPORT TolvaneTargets NAMESPACE Tolvane:: DESTINATION "${TOLVANE_CMAKE_DIR}" COMPONENT sdk)
configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/TolvaneConfig.cmake.in"
  "${CMAKE_BINARY_DIR}/sdk/TolvaneConfig.cmake" INSTALL_DESTINATION "${TOLVANE_CMAKE_DIR}")
write_basic_package_version_file("${CMAKE_BINARY_DIR}/sdk/TolvaneConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES "${CMAKE_BINARY_DIR}/sdk/TolvaneConfig.cmake" "${CMAKE_BINARY_DIR}/sdk/TolvaneConfigVersion.cmake"
  DESTINATION "${TOLVANE_CMAKE_DIR}" COMPONENT sdk)

# pkg-config, with the engine's folder as a variable of its own.
configure_file("${CMAKE_CURRENT_LIST_DIR}/tolvane-webview.pc.in" "${CMAKE_BINARY_DIR}/sdk/tolvane-webview.pc" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/sdk/tolvane-webview.pc"
  DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig" COMPONENT sdk)

# Desktop entries, icon, man pages.
install(FILES "${CMAKE_SOURCE_DIR}/packaging/tolvane-designer.desktop"
              "${CMAKE_SOURCE_DIR}/packaging/tolvane-fill.desktop"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/applications" COMPONENT programs)
install(FILES "${CMAKE_SOURCE_DIR}/packaging/tolvane.svg"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps" COMPONENT programs)
install(FILES "${CMAKE_SOURCE_DIR}/packaging/tolvane-designer.1" "${CMAKE_SOURCE_DIR}/packaging/tolvane-fill.1"
  DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT programs)

# ---- Debian package
# Sets var to a Depends line: for each library file name (a glob), the package
# of this machine that holds it in the architecture's library folder, then the
# named packages, each ">=" the version installed here without its Debian
# revision. Fails when one cannot be found: a package that names a wrong
# dependency would install and not run.
function(tolvane_debian_depends var)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" PACKAGES)
  find_program(DPKG_QUERY dpkg-query REQUIRED)
  set(packages)
  foreach(lib IN LISTS arg_UNPARSED_ARGUMENTS)
    execute_process(COMMAND "${DPKG_QUERY}" -S "*/${CMAKE_LIBRARY_ARCHITECTURE}/${lib}"
      OUTPUT_VARIABLE found RESULT_VARIABLE failed ERROR_QUIET)
    string(REGEX MATCH "^[^:, ]+" package "${found}")
    if(failed OR NOT package)
      message(FATAL_ERROR "No installed package holds ${lib}")
    endif()
    list(APPEND packages "${package}")
  endforeach()
  list(APPEND packages ${arg_PACKAGES})
  list(REMOVE_DUPLICATES packages)
  set(depends)
  foreach(package IN LISTS packages)
    execute_process(COMMAND "${DPKG_QUERY}" -W "-f=\${Version}" "${package}"
      OUTPUT_VARIABLE version RESULT_VARIABLE failed ERROR_QUIET)
    if(failed OR NOT version)
      message(FATAL_ERROR "The package ${package} is not installed")
    endif()
    string(REGEX REPLACE "-[^-]*$" "" version "${version}")
    list(APPEND depends "${package} (>= ${version})")
  endforeach()
  list(JOIN depends ", " joined)
  set(${var} "${joined}" PARENT_SCOPE)
endfunction()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tolvane developers <tolvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Page designer, embeddable web view and form-fill script tool")
set(CPACK_PACKAGE_DESCRIPTION
  "Tolvane lays out a web page by hand: boxes on a canvas become absolutely\n positioned HTML elements. It comes with tolvane-fill, a browser window and\n runner for form-fill scripts, and an SDK for embedding its web view.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
# The package depends on the packages that hold what the programs load, under
# the names and at least the versions of the release it is built on (the names
# differ between releases: libicu72 and libicu76, libssl3 and libssl3t64).
set(TOLVANE_DEB_LIBRARIES
  libQt6Widgets.so.6 libQt6WebEngineWidgets.so.6 libQt6WebEngineCore.so.6 libQt6Quick.so.6
  libQt6QuickWidgets.so.6 libQt6Network.so.6 libQt6WebSockets.so.6 "libqscintilla2_qt6.so.[0-9]*"
  "libicuuc.so.[0-9]*" libcrypto.so.3 libnss3.so libz.so.1 libstdc++.so.6)
# Loaded at run time, not linked: the engine's helper process, the platform
# plugins and Qt's own translations.
set(TOLVANE_DEB_PACKAGES libqt6webenginecore6-bin qt6-qpa-plugins qt6-translations-l10n)
tolvane_debian_depends(TOLVANE_DEB_DEPENDS ${TOLVANE_DEB_LIBRARIES} PACKAGES ${TOLVANE_DEB_PACKAGES})
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${TOLVANE_DEB_DEPENDS}")
set(CPACK_STRIP_FILES ON)
include(CPack)
