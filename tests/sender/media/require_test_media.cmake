# Included by CTest after the media tests were discovered: they read the generated media.
if(vantorel_sender_media_tests_TESTS)
  set_tests_properties(${vantorel_sender_media_tests_TESTS} PROPERTIES FIXTURES_REQUIRED test_media)
endif()
