# The service sandbox builder (tests/service/support/sandbox.h): a plain library without
# the test framework, shared by the service tests, the fuzz targets and host programs.
# Included from every place that needs it; defined once.
if(NOT TARGET service_sandbox)
  find_library(SVC_HOST_LIBXML2 NAMES libxml2.so.2 REQUIRED)
  find_library(SVC_HOST_LIBSQLITE3 NAMES libsqlite3.so.0 REQUIRED)
  find_library(SVC_HOST_LIBCRYPTO NAMES libcrypto.so.3 REQUIRED)
  find_program(SVC_OPENSSL_TOOL openssl REQUIRED)
  find_program(SVC_SQLITE3_TOOL sqlite3 REQUIRED)
  add_library(service_sandbox STATIC ${CMAKE_CURRENT_LIST_DIR}/sandbox.cpp)
  target_include_directories(service_sandbox PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_include_directories(service_sandbox PRIVATE ${PROJECT_SOURCE_DIR}/platform/include)
  target_compile_definitions(service_sandbox PRIVATE
    SVC_HOST_LIBXML2="${SVC_HOST_LIBXML2}"
    SVC_HOST_LIBSQLITE3="${SVC_HOST_LIBSQLITE3}"
    SVC_HOST_LIBCRYPTO="${SVC_HOST_LIBCRYPTO}"
    SVC_LINK_LIBRARY="$<TARGET_FILE:zptutils>"
    SVC_SANDBOX_TEMPLATES="${CMAKE_CURRENT_LIST_DIR}/config")
  add_dependencies(service_sandbox zptutils)
endif()
