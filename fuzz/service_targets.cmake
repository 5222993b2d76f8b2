# Service side fuzz targets (included by fuzz/CMakeLists.txt).
list(APPEND FUZZ_SERVICE_AREAS service_hex)
if(TARGET readercore)
  stack_add_fuzz_target(service_hex LIBS readercore LABELS service)
endif()
