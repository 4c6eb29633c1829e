# vantorel-cast: the headless sender.
add_library(vantorel_cast_lib STATIC cast/cast_window.cpp)
target_include_directories(vantorel_cast_lib PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vantorel_cast_lib PUBLIC vantorel_broadcast vantorel_gui Qt6::Core)
vantorel_settings(vantorel_cast_lib)

add_executable(vantorel-cast cast/main.cpp)
target_link_libraries(vantorel-cast PRIVATE vantorel_cast_lib vantorel_network_options
                      vantorel_trust_options)
vantorel_program(vantorel-cast)
