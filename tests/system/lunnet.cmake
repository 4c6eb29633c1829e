# Lunnet's window on a virtual X server, receiving vantorel-cast inside a private network
# namespace that the script makes itself.
if(TARGET lunnet AND TARGET vantorel-cast)
  add_test(NAME lunnet_cast_system
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/lunnet_cast_test.sh ${VANTOREL_OUTPUT_DIR}
            ${CMAKE_BINARY_DIR}/test-media ${CMAKE_CURRENT_BINARY_DIR}/lunnet-screenshots)
  set_tests_properties(lunnet_cast_system PROPERTIES
    FIXTURES_REQUIRED test_media TIMEOUT 180 RUN_SERIAL TRUE LABELS system)
endif()
