# vantorel-cast in one network namespace, vantorel-listen --play in another, joined by a veth
# pair; the script makes both namespaces itself.
if(TARGET vantorel-cast AND TARGET vantorel-listen)
  add_test(NAME playback_two_hosts_system
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/playback_two_hosts_test.sh ${VANTOREL_OUTPUT_DIR}
      ${CMAKE_BINARY_DIR}/test-media)
  set_tests_properties(playback_two_hosts_system PROPERTIES
    FIXTURES_REQUIRED test_media TIMEOUT 120 RUN_SERIAL TRUE LABELS system)
endif()

# Through the lossy relay: parity rebuilds losses and reordering, receivers that drop parity
# still play, heavy loss stays bounded.
if(TARGET vantorel-cast AND TARGET vantorel-listen AND TARGET vantorel-relay)
  add_test(NAME lossy_link_system
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/lossy_link_test.sh ${VANTOREL_OUTPUT_DIR}
      ${CMAKE_BINARY_DIR}/test-media)
  set_tests_properties(lossy_link_system PROPERTIES
    FIXTURES_REQUIRED test_media TIMEOUT 180 RUN_SERIAL TRUE LABELS system)
endif()

# A listener that waits before the broadcast shows an H.264 clip from its only key frame on:
# nothing that arrives while the playback is built is thrown away.
if(TARGET vantorel-cast AND TARGET vantorel-listen)
  add_test(NAME build_loss_system
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/build_loss_test.sh ${VANTOREL_OUTPUT_DIR}
      ${CMAKE_BINARY_DIR}/test-media)
  set_tests_properties(build_loss_system PROPERTIES
    FIXTURES_REQUIRED test_media TIMEOUT 60 RUN_SERIAL TRUE LABELS system)
endif()
