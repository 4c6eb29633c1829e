# The skin pictures' JPEG decoder; its source is built into the fuzzer so that it is
# instrumented too.
find_package(JPEG REQUIRED)
vantorel_fuzzer(skin_jpeg_fuzz skin_jpeg_fuzz.cpp ${PROJECT_SOURCE_DIR}/ui/skin/decoded_image.cpp)
target_link_libraries(skin_jpeg_fuzz PRIVATE JPEG::JPEG)

# The check of the skin's resource bundle. Its seeds are small bundles made by rcc in each format
# version; the built library (RESDLL.rcc) is a good seed too when -max_len allows its size.
vantorel_fuzzer(resource_bundle_fuzz resource_bundle_fuzz.cpp
  ${PROJECT_SOURCE_DIR}/ui/skin/resource_bundle_check.cpp)
