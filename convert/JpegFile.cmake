# JPEG encoding on libjpeg-turbo: Qt Core and Gui only, so the command-line
# converter can use it in the engine-only configuration too.
if(NOT TARGET lumicade_jpegfile)
  # libjpeg's own interface, as libjpeg-turbo gives it: the TurboJPEG
  # interface of Debian 12 (2.1) cannot make optimised Huffman tables.
  find_package(JPEG REQUIRED)
  # Pixels to JPEG bytes and the file: Qt Core only.
  add_library(lumicade_jpegpixels STATIC ${CMAKE_SOURCE_DIR}/convert/JpegFile.h ${CMAKE_SOURCE_DIR}/convert/JpegFile.cpp)
  target_include_directories(lumicade_jpegpixels PUBLIC ${CMAKE_SOURCE_DIR} $<TARGET_PROPERTY:Qt6::Gui,INTERFACE_INCLUDE_DIRECTORIES>
                             PRIVATE ${JPEG_INCLUDE_DIRS})
  target_link_libraries(lumicade_jpegpixels PUBLIC Qt6::Core PRIVATE lumicade_cad_model JPEG::JPEG)
  # The same for Qt's pictures.
  add_library(lumicade_jpegfile STATIC ${CMAKE_SOURCE_DIR}/convert/JpegImage.cpp)
  target_link_libraries(lumicade_jpegfile PUBLIC lumicade_jpegpixels Qt6::Core Qt6::Gui)
endif()
