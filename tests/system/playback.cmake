# vantorel_media_system_test(NAME SCRIPT TIMEOUT [ARG...]): SCRIPT PROGRAM_FOLDER MEDIA_FOLDER
# [ARG...] on the generated media, alone on the machine (it makes its own namespaces).
function(vantorel_media_system_test name script timeout)
  add_test(NAME ${name}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/${script} ${VANTOREL_OUTPUT_DIR}
      ${CMAKE_BINARY_DIR}/test-media ${ARGN})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED test_media TIMEOUT ${timeout} RUN_SERIAL TRUE LABELS system)
endfunction()

if(TARGET vantorel-cast AND TARGET vantorel-listen)
  # vantorel-cast in one network namespace, vantorel-listen --play in another, joined by a veth
  # pair.
  vantorel_media_system_test(playback_two_hosts_system playback_two_hosts_test.sh 120)
  # A listener that waits before the broadcast shows an H.264 clip from its only key frame on:
  # nothing that arrives while the playback is built is thrown away.
  vantorel_media_system_test(build_loss_system build_loss_test.sh 60)
endif()

# Through the lossy relay: parity rebuilds losses and reordering, receivers that drop parity
# still play, heavy loss stays bounded.
if(TARGET vantorel-cast AND TARGET vantorel-listen AND TARGET vantorel-relay)
  vantorel_media_system_test(lossy_link_system lossy_link_test.sh 180)
endif()

# Two named senders: the list, a chosen sender played alone, a preferred one taken as soon as
# it is on the air and left when it has gone.
if(TARGET vantorel-cast AND TARGET vantorel-listen)
  vantorel_media_system_test(named_senders_system named_senders_test.sh 120)
  # The screen of a virtual X server, the generated camera and tone, lists of files, and the
  # devices that do not start.
  vantorel_media_system_test(live_sources_system live_sources_test.sh 180)
endif()
