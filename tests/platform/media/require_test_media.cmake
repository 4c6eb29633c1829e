# Included by CTest after the tests were discovered: these read the generated media.
if(vantorel_test_media_caps_tests_TESTS)
  set_tests_properties(${vantorel_test_media_caps_tests_TESTS} PROPERTIES
    FIXTURES_REQUIRED test_media)
endif()
