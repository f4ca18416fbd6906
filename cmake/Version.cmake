# The version line both programs print: the project's version and the
# Chromium version inside Qt WebEngine, which tells users its patch level.
# Asked of the installed Qt WebEngine once, at configure time.
if(NOT DEFINED TOLVANE_CHROMIUM_VERSION)
  find_package(Qt6 QUIET COMPONENTS WebEngineCore)
  set(probe_dir "${CMAKE_BINARY_DIR}/chromium-version")
  file(WRITE "${probe_dir}/probe.cpp"
    "#include <QtWebEngineCore/qtwebenginecoreglobal.h>\n#include <cstdio>\n"
    "int main() { std::puts(qWebEngineChromiumVersion()); }\n")
  try_run(run_result compile_result "${probe_dir}/build" "${probe_dir}/probe.cpp"
    LINK_LIBRARIES Qt6::WebEngineCore
    CXX_STANDARD 20
    RUN_OUTPUT_VARIABLE chromium_output)
  string(STRIP "${chromium_output}" chromium_output)
  if(compile_result AND run_result EQUAL 0 AND chromium_output)
    set(TOLVANE_CHROMIUM_VERSION "${chromium_output}" CACHE STRING "Chromium version of Qt WebEngine")
  else()
    set(TOLVANE_CHROMIUM_VERSION "unknown" CACHE STRING "Chromium version of Qt WebEngine")
  endif()
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/version.h.in" "${CMAKE_BINARY_DIR}/generated/tolvane/version.h" @ONLY)
