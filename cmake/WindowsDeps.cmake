# Third-party parts of the Windows build, compiled from Debian's own sources:

# Windows headers: no winsock 1 through <windows.h>, no min/max macros, Windows 10 APIs declared.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
# GoogleTest from /usr/src/googletest (package googletest) and gSOAP's runtime from the gsoap
# source package that scripts/build-windows.sh unpacks into the build tree.
set(HALVIX_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
set(HALVIX_GSOAP_SOURCE_DIR "" CACHE PATH "gsoap/ folder of Debian's gsoap source package")

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${HALVIX_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

if(NOT EXISTS ${HALVIX_GSOAP_SOURCE_DIR}/stdsoap2.cpp)
  message(FATAL_ERROR "HALVIX_GSOAP_SOURCE_DIR must name the gsoap/ folder of the gsoap source package "
                      "(scripts/build-windows.sh fetches it)")
endif()
# The same runtime as Debian's libgsoap++ (IPv6 and DOM support), over Winsock 2.
add_library(halvix_gsoap STATIC ${HALVIX_GSOAP_SOURCE_DIR}/stdsoap2.cpp ${HALVIX_GSOAP_SOURCE_DIR}/dom.cpp)
target_compile_definitions(halvix_gsoap PUBLIC WITH_IPV6 WITH_DOM)
target_include_directories(halvix_gsoap SYSTEM PUBLIC ${HALVIX_GSOAP_SOURCE_DIR})
target_compile_options(halvix_gsoap PRIVATE -w)
target_link_libraries(halvix_gsoap PUBLIC ws2_32)
set(GSOAP_IMPORT_DIR ${HALVIX_GSOAP_SOURCE_DIR}/import)
set(GSOAP_PLUGIN_DIR ${HALVIX_GSOAP_SOURCE_DIR}/plugin)

# nlohmann_json is header-only, but its package points at /usr/include, whose C headers must
# never reach the cross compiler: the Windows tree sees only its nlohmann/ folder, through a link.
set(HALVIX_JSON_INCLUDE ${CMAKE_BINARY_DIR}/deps/json-include)
file(MAKE_DIRECTORY ${HALVIX_JSON_INCLUDE})
file(CREATE_LINK /usr/include/nlohmann ${HALVIX_JSON_INCLUDE}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${HALVIX_JSON_INCLUDE})
