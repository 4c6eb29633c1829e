# Included by CTest after @name@'s tests were discovered: they read the generated media.
# vantorel_test(... MEDIA) configures a copy of this file for each such program.
if(@name@_TESTS)
  set_tests_properties(${@name@_TESTS} PROPERTIES FIXTURES_REQUIRED test_media)
endif()
