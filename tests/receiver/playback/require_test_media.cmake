# Included by CTest after the end-to-end tests were discovered: they play the generated media.
if(vantorel_playback_end_to_end_tests_TESTS)
  set_tests_properties(${vantorel_playback_end_to_end_tests_TESTS} PROPERTIES
    FIXTURES_REQUIRED test_media RUN_SERIAL TRUE)
endif()
