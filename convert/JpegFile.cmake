# JPEG encoding on libjpeg-turbo: Qt Core and Gui only, so the command-line
# converter can use it in the engine-only configuration too.
if(NOT TARGET lumicade_jpegfile)
  find_path(TURBOJPEG_INCLUDE_DIR turbojpeg.h REQUIRED)
  find_library(TURBOJPEG_LIBRARY turbojpeg REQUIRED)
  add_library(lumicade_jpegfile STATIC ${CMAKE_SOURCE_DIR}/convert/JpegFile.h ${CMAKE_SOURCE_DIR}/convert/JpegFile.cpp)
  target_include_directories(lumicade_jpegfile PUBLIC ${CMAKE_SOURCE_DIR} PRIVATE ${TURBOJPEG_INCLUDE_DIR})
  target_link_libraries(lumicade_jpegfile PUBLIC Qt6::Core Qt6::Gui PRIVATE lumicade_cad_model ${TURBOJPEG_LIBRARY})
endif()
