# Lunnet's window on a virtual X server, receiving vantorel-cast inside a private network
# namespace that the script makes itself.
if(TARGET lunnet AND TARGET vantorel-cast)
  vantorel_media_system_test(lunnet_cast_system lunnet_cast_test.sh 180
    ${CMAKE_CURRENT_BINARY_DIR}/lunnet-screenshots)
endif()
