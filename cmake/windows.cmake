# The Windows program: a console exe with the wide entry (wmain), the C and
# C++ runtimes linked in, for Windows XP or later (32-bit: NT 5.1, 64-bit:
# XP x64, NT 5.2). Used with MinGW-w64 and with Visual Studio alike.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QUELVARO_WINDOWS_MAJOR 5)
  set(QUELVARO_WINDOWS_MINOR 2)
  set(QUELVARO_WINDOWS_ARCH x64)
else()
  set(QUELVARO_WINDOWS_MAJOR 5)
  set(QUELVARO_WINDOWS_MINOR 1)
  set(QUELVARO_WINDOWS_ARCH x86)
endif()

# The headers offer only what that Windows has.
target_compile_definitions(quelvaro_core PUBLIC
  _WIN32_WINNT=0x050${QUELVARO_WINDOWS_MINOR}
  WINVER=0x050${QUELVARO_WINDOWS_MINOR}
  UNICODE _UNICODE)

if(MSVC)
  # Static runtime (/MT); the linker picks wmainCRTStartup for wmain. The
  # subsystem version is pinned: the linker's default, 6.0, is refused by XP.
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  set_property(TARGET quelvaro quelvaro_core quelvaro_text PROPERTY
    MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  target_link_options(quelvaro PRIVATE
    "/SUBSYSTEM:CONSOLE,${QUELVARO_WINDOWS_MAJOR}.0${QUELVARO_WINDOWS_MINOR}")
else()
  # MinGW-w64: -municode makes wmain the entry, -static links libstdc++ and
  # libgcc in, and the PE header's subsystem and OS versions are pinned
  # rather than left to the linker's default.
  set(QUELVARO_MINGW_LINK_OPTIONS
    -municode -mconsole -static $<$<CONFIG:Release,MinSizeRel>:-s>
    "LINKER:--major-subsystem-version,${QUELVARO_WINDOWS_MAJOR}"
    "LINKER:--minor-subsystem-version,${QUELVARO_WINDOWS_MINOR}"
    "LINKER:--major-os-version,${QUELVARO_WINDOWS_MAJOR}"
    "LINKER:--minor-os-version,${QUELVARO_WINDOWS_MINOR}")
  target_compile_options(quelvaro PRIVATE -municode)
  target_link_options(quelvaro PRIVATE ${QUELVARO_MINGW_LINK_OPTIONS})
endif()

# The version resource and the application manifest.
include(${CMAKE_CURRENT_LIST_DIR}/windows-resources.cmake)

# The download: both exes and the README in one zip. Each build installs its
# exe under its architecture's folder; the package is made in the 32-bit build
# and takes the 64-bit build in too when QUELVARO_PACKAGE_ALSO names it.
install(TARGETS quelvaro RUNTIME DESTINATION ${QUELVARO_WINDOWS_ARCH})
install(FILES README.md DESTINATION .)

set(QUELVARO_PACKAGE_ALSO "" CACHE PATH
  "Build folder of the other architecture, packed into the same zip")
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quelvaro)
set(CPACK_PACKAGE_VERSION 2)
set(CPACK_PACKAGE_FILE_NAME quelvaro-2-windows)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};quelvaro;ALL;/")
if(QUELVARO_PACKAGE_ALSO)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${QUELVARO_PACKAGE_ALSO};quelvaro;ALL;/")
endif()
include(CPack)
