# A stream description's records turned into caps, as the receiver does before it plays them.
vantorel_fuzzer(description_caps_fuzz ${CMAKE_CURRENT_LIST_DIR}/description_caps_fuzz.cpp)
target_link_libraries(description_caps_fuzz PRIVATE vantorel_receiver_core vantorel_media)
