# Service side fuzz targets (included by fuzz/CMakeLists.txt).
list(APPEND FUZZ_SERVICE_AREAS service_hex)
if(TARGET readercore)
  stack_add_fuzz_target(service_hex LIBS readercore LABELS service)
endif()

# The configuration path: its own root with links to the installed XML library and
# libcrypto, laid out by the service sandbox builder.
list(APPEND FUZZ_SERVICE_AREAS config)
if(TARGET readercore)
  include(${CMAKE_SOURCE_DIR}/tests/service/support/sandbox.cmake)
  find_package(LibXml2 REQUIRED)
  stack_add_fuzz_target(config LIBS readercore service_sandbox ${CMAKE_DL_LIBS} LABELS service)
  if(TARGET fuzz_config)
    target_include_directories(fuzz_config PRIVATE ${LIBXML2_INCLUDE_DIRS})
  elseif(TARGET fuzz_config_replay)
    target_include_directories(fuzz_config_replay PRIVATE ${LIBXML2_INCLUDE_DIRS})
  endif()
endif()

# The link's message reassembly, driven without threads.
list(APPEND FUZZ_SERVICE_AREAS link_receive)
if(TARGET zptutils_internal)
  stack_add_fuzz_target(link_receive LIBS zptutils_internal LABELS service)
endif()

# The service commands handed straight to the request handler, the link down.
list(APPEND FUZZ_SERVICE_AREAS service_commands)
if(TARGET readercore)
  include(${CMAKE_SOURCE_DIR}/tests/service/support/sandbox.cmake)
  stack_add_fuzz_target(service_commands LIBS readercore service_sandbox LABELS service)
  foreach(t fuzz_service_commands fuzz_service_commands_replay)
    if(TARGET ${t})
      target_include_directories(${t} PRIVATE ${CMAKE_SOURCE_DIR}/tests/service/net)
    endif()
  endforeach()
endif()
