# The skin pictures' JPEG decoder; its source is built into the fuzzer so that it is
# instrumented too.
find_package(JPEG REQUIRED)
vantorel_fuzzer(skin_jpeg_fuzz skin_jpeg_fuzz.cpp ${PROJECT_SOURCE_DIR}/ui/skin/decoded_image.cpp)
target_link_libraries(skin_jpeg_fuzz PRIVATE JPEG::JPEG)
