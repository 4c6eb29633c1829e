# Included by CTest after @name@'s tests were discovered: the labels that vantorel_test(... TSAN
# UNPRIVILEGED tests...) adds to the lane's. A copy of this file is configured for each such
# program. A test named for UNPRIVILEGED that the program does not have becomes a test that
# fails, so that a renamed test cannot drop out of the unprivileged stage unnoticed.
if(@name@_TESTS)
  set(labels "@labels@")
  set_tests_properties(${@name@_TESTS} PROPERTIES LABELS "${labels}")
  foreach(test IN ITEMS @unprivileged@)
    list(FIND @name@_TESTS "${test}" found)
    if(found EQUAL -1)
      add_test("${test}_NOT_FOUND" "${test}_NOT_FOUND")
      set_tests_properties("${test}_NOT_FOUND" PROPERTIES LABELS "${labels};unprivileged")
    else()
      set_tests_properties("${test}" PROPERTIES LABELS "${labels};unprivileged")
    endif()
  endforeach()
endif()
