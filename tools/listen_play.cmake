# vantorel-listen --play: the playback graph with null outputs.
target_sources(vantorel_listen_lib PRIVATE listen/play_report.cpp)
target_link_libraries(vantorel_listen_lib PUBLIC vantorel_receiver_media)
