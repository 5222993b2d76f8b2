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

# The serial engine drivers' reply checks and packet builders, on the plug-ins themselves.
list(APPEND FUZZ_SERVICE_AREAS serial_replies)
if(TARGET GT8841LD AND TARGET readercore)
  stack_add_fuzz_target(serial_replies LIBS readercore gt5170query ${CMAKE_DL_LIBS} LABELS service)
  foreach(t fuzz_serial_replies fuzz_serial_replies_replay)
    if(TARGET ${t})
      target_compile_definitions(${t} PRIVATE SERIAL_PLUGIN_DIR="$<TARGET_FILE_DIR:GT8841LD>")
      add_dependencies(${t} GT8841LD ZPT-PL512 PL512 GT5170 HB22X)
    endif()
  endforeach()
endif()

# Base64 through the crypto wrappers: its own root with a link to libcrypto.
list(APPEND FUZZ_SERVICE_AREAS crypto_base64)
if(TARGET readercore)
  stack_add_fuzz_target(crypto_base64 LIBS readercore service_sandbox zptlog ${CMAKE_DL_LIBS} LABELS service)
endif()

# The lottery-terminal settings against a recording decoder (the wrapper tests' fake).
list(APPEND FUZZ_SERVICE_AREAS lottery_set)
if(TARGET readercore)
  add_library(fuzz_lottery_decoder MODULE ${CMAKE_SOURCE_DIR}/tests/service/wrapper/module/fake_decoder.cpp)
  target_compile_definitions(fuzz_lottery_decoder PRIVATE FAKE_LONG)
  target_compile_options(fuzz_lottery_decoder PRIVATE -fvisibility=hidden)
  target_include_directories(fuzz_lottery_decoder PRIVATE ${CMAKE_SOURCE_DIR}/decoder/include)
  target_link_libraries(fuzz_lottery_decoder PRIVATE ${CMAKE_DL_LIBS})
  stack_add_fuzz_target(lottery_set LIBS readercore service_sandbox zptlog ${CMAKE_DL_LIBS} LABELS service)
  foreach(t fuzz_lottery_set fuzz_lottery_set_replay)
    if(TARGET ${t})
      target_compile_definitions(${t} PRIVATE FAKE_DECODER_MODULE="$<TARGET_FILE:fuzz_lottery_decoder>")
      add_dependencies(${t} fuzz_lottery_decoder)
    endif()
  endforeach()
endif()

# The aimer spot detectors on small frames with any rectangle.
list(APPEND FUZZ_SERVICE_AREAS spotfind)
if(TARGET spotfind)
  stack_add_fuzz_target(spotfind LIBS spotfind LABELS service)
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

# The firmware file header, and one serial firmware part against replies from the input.
list(APPEND FUZZ_SERVICE_AREAS upgrade_header serial_upgrade)
if(TARGET readercore)
  stack_add_fuzz_target(upgrade_header LIBS readercore LABELS service)
  stack_add_fuzz_target(serial_upgrade LIBS readercore hwports stack_platform LABELS service)
endif()
