# JPEG encoding on libjpeg-turbo: Qt Core and Gui only, so the command-line
# converter can use it in the engine-only configuration too.
if(NOT TARGET lumicade_jpegfile)
  find_path(TURBOJPEG_INCLUDE_DIR turbojpeg.h REQUIRED)
  find_library(TURBOJPEG_LIBRARY turbojpeg REQUIRED)
  # Pixels to JPEG bytes and the file: Qt Core only.
  add_library(lumicade_jpegpixels STATIC ${CMAKE_SOURCE_DIR}/convert/JpegFile.h ${CMAKE_SOURCE_DIR}/convert/JpegFile.cpp)
  target_include_directories(lumicade_jpegpixels PUBLIC ${CMAKE_SOURCE_DIR} $<TARGET_PROPERTY:Qt6::Gui,INTERFACE_INCLUDE_DIRECTORIES>
                             PRIVATE ${TURBOJPEG_INCLUDE_DIR})
  target_link_libraries(lumicade_jpegpixels PUBLIC Qt6::Core PRIVATE lumicade_cad_model ${TURBOJPEG_LIBRARY})
  # The same for Qt's pictures.
  add_library(lumicade_jpegfile STATIC ${CMAKE_SOURCE_DIR}/convert/JpegImage.cpp)
  target_link_libraries(lumicade_jpegfile PUBLIC lumicade_jpegpixels Qt6::Core Qt6::Gui)
endif()
