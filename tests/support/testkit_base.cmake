# The test kit's half without the decoder: frames, symbols rendered with libzint and the
# frame runner over a bound decoder interface. Image files and scaling are the host image
# library's (tools/imageio). decode-image takes the frame runner alone; its sample
# generator takes the whole kit. Whichever directory comes first defines it (tools/ does
# when there are tests and tools).
include(${PROJECT_SOURCE_DIR}/tools/imageio/imageio.cmake)
if(NOT TARGET stack_testkit_base)
  find_library(ZINT_LIBRARY zint REQUIRED)
  find_path(ZINT_INCLUDE_DIR zint.h REQUIRED)
  add_library(stack_decoder_runner STATIC ${CMAKE_CURRENT_LIST_DIR}/decoder_api.cpp)
  target_include_directories(stack_decoder_runner PUBLIC ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/decoder/include)
  target_link_libraries(stack_decoder_runner PUBLIC stack_imageio)
  add_library(stack_testkit_base STATIC
    ${CMAKE_CURRENT_LIST_DIR}/render.cpp
    ${CMAKE_CURRENT_LIST_DIR}/symbol.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pdf417_patterns.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dm_ecc000_writer.cpp)
  target_include_directories(stack_testkit_base PUBLIC ${ZINT_INCLUDE_DIR} ${PROJECT_SOURCE_DIR}/decoder)
  target_compile_definitions(stack_testkit_base PRIVATE DM_ECC000_DATA_DIR="${CMAKE_CURRENT_LIST_DIR}/data")
  target_link_libraries(stack_testkit_base PUBLIC stack_decoder_runner stack_imageio ${ZINT_LIBRARY} m)
endif()
