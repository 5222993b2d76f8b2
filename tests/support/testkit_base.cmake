# The test kit's half without the decoder: frames, image files, scaling, symbols rendered
# with libzint and the frame runner over a bound decoder interface. decode-image and its
# sample generator use it as well as the tests, so whichever directory comes first defines
# it (tools/ does when there are tests and tools).
if(NOT TARGET stack_testkit_base)
  find_package(PNG REQUIRED GLOBAL)
  find_library(ZINT_LIBRARY zint REQUIRED)
  find_path(ZINT_INCLUDE_DIR zint.h REQUIRED)
  add_library(stack_testkit_base STATIC
    ${CMAKE_CURRENT_LIST_DIR}/decoder_api.cpp
    ${CMAKE_CURRENT_LIST_DIR}/image_io.cpp
    ${CMAKE_CURRENT_LIST_DIR}/render.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scale.cpp
    ${CMAKE_CURRENT_LIST_DIR}/symbol.cpp)
  target_include_directories(stack_testkit_base PUBLIC
    ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/decoder/include ${ZINT_INCLUDE_DIR})
  target_link_libraries(stack_testkit_base PUBLIC ${ZINT_LIBRARY} PNG::PNG m)
endif()
