# stack_imageio: reading image files as grey frames and scaling them, for the host programs,
# the host camera library and the test kit (no test framework, no libzint). Included from
# every place that needs it; defined once.
if(NOT TARGET stack_imageio)
  find_package(PNG REQUIRED GLOBAL)
  add_library(stack_imageio STATIC ${CMAKE_CURRENT_LIST_DIR}/image_io.cpp ${CMAKE_CURRENT_LIST_DIR}/scale.cpp)
  target_include_directories(stack_imageio PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
  target_link_libraries(stack_imageio PUBLIC PNG::PNG m)
endif()
