# Included by CTest after the tests were discovered: they read the generated media.
if(vantorel_sender_app_tests_TESTS)
  set_tests_properties(${vantorel_sender_app_tests_TESTS} PROPERTIES
    FIXTURES_REQUIRED test_media ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
