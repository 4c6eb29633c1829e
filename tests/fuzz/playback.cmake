# The playback graph's handling of whole messages (descriptions, samples, segment starts).
vantorel_fuzzer(playback_graph_fuzz ${CMAKE_CURRENT_LIST_DIR}/playback_graph_fuzz.cpp)
target_link_libraries(playback_graph_fuzz PRIVATE vantorel_receiver_core)
