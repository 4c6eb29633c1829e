# vantorel-gallery: a skinned frame holding every button and the slider, for trying the skin.
add_library(vantorel_gallery_lib STATIC gallery/gallery_frame.cpp)
target_include_directories(vantorel_gallery_lib PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vantorel_gallery_lib PUBLIC vantorel_skin)
vantorel_settings(vantorel_gallery_lib)

add_executable(vantorel-gallery gallery/main.cpp)
target_link_libraries(vantorel-gallery PRIVATE vantorel_gallery_lib)
vantorel_program(vantorel-gallery)
add_dependencies(vantorel-gallery vantorel_resdll)
