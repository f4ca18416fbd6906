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
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libqt6widgets6 (>= 6.4), libqt6webenginewidgets6 (>= 6.4), libqt6webenginecore6-bin (>= 6.4), libqt6network6 (>= 6.4), libqt6websockets6 (>= 6.4), libqscintilla2-qt6-15, libicu72, libssl3, libnss3, qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
include(CPack)
