# vantorel-web in a headless browser, inside private network namespaces: the page against a
# stand-in server, the real program end to end, and the same broadcast through a Janus server.
if(TARGET vantorel-web AND TARGET vantorel-cast)
  add_test(NAME web_page_system
           COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/web_page_test.py)
  add_test(NAME web_system
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/web_test.sh ${VANTOREL_OUTPUT_DIR}
                   ${CMAKE_BINARY_DIR}/test-media)
  add_test(NAME web_janus_system
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/web_janus_test.sh ${VANTOREL_OUTPUT_DIR}
                   ${CMAKE_BINARY_DIR}/test-media)
  set_tests_properties(web_page_system web_system web_janus_system
                       PROPERTIES TIMEOUT 400 RUN_SERIAL TRUE LABELS system)
  set_tests_properties(web_system web_janus_system PROPERTIES FIXTURES_REQUIRED test_media)
endif()
