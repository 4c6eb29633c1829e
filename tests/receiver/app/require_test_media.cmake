# Included by CTest after the tests were discovered: the reception tests play the generated media.
if(vantorel_receiver_app_tests_TESTS)
  set_tests_properties(${vantorel_receiver_app_tests_TESTS} PROPERTIES
    FIXTURES_REQUIRED test_media ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
