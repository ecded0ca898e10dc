# The printer shares of SMB (Windows and Samba) print servers, listed through
# libsmbclient (Debian: libsmbclient-dev). Included by the top CMakeLists.
#
#   QUELVARO_SMB=ON (default)  builds quelvaro_smb, whose users get
#                              QUELVARO_HAVE_SMB=1; no libsmbclient is an error
#   QUELVARO_SMB=OFF           no SMB listing, and no target
if(WIN32)
  return()
endif()

option(QUELVARO_SMB "List the printer shares of SMB print servers (libsmbclient)" ON)
if(NOT QUELVARO_SMB)
  return()
endif()

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(SMBCLIENT QUIET IMPORTED_TARGET smbclient)
endif()
if(NOT TARGET PkgConfig::SMBCLIENT)
  message(FATAL_ERROR
    "libsmbclient was not found (pkg-config module smbclient). Install "
    "libsmbclient-dev (and pkg-config), or configure with -DQUELVARO_SMB=OFF "
    "to build without the SMB print-server listing.")
endif()

file(GLOB QUELVARO_SMB_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/spooler/smb/*.cc)
add_library(quelvaro_smb STATIC ${QUELVARO_SMB_SOURCES})
target_include_directories(quelvaro_smb PUBLIC ${PROJECT_SOURCE_DIR}/src)
# libsmbclient's header only: the library itself is loaded where a listing
# runs (smb_client.cc, through quelvaro_records' LoadSharedLibrary), so the
# program does not load Samba's libraries at every start.
target_include_directories(quelvaro_smb PRIVATE ${SMBCLIENT_INCLUDE_DIRS})
target_link_libraries(quelvaro_smb PUBLIC quelvaro_records)
target_compile_definitions(quelvaro_smb PUBLIC QUELVARO_HAVE_SMB=1)

# Its test runs against private Samba servers in a network namespace of its
# own (tests/network/smb_end_to_end.sh: root, smbd, smbclient).
if(QUELVARO_TESTS)
  find_package(GTest REQUIRED)
  find_package(Threads REQUIRED)
  enable_testing()
  add_executable(smb_shares_tests
    ${PROJECT_SOURCE_DIR}/tests/smb_shares_test.cc)
  target_link_libraries(smb_shares_tests PRIVATE
    quelvaro_smb GTest::gtest_main Threads::Threads)
  add_test(NAME smb_end_to_end
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/network/smb_end_to_end.sh
            $<TARGET_FILE:smb_shares_tests>)
  set_tests_properties(smb_end_to_end PROPERTIES
    TIMEOUT 300 SKIP_RETURN_CODE 77 LABELS "e2e;network" COST 8)
endif()
