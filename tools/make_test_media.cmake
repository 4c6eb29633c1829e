# The test media generator travels with the programs in the output folder.
configure_file(${CMAKE_CURRENT_LIST_DIR}/make-test-media ${VANTOREL_OUTPUT_DIR}/make-test-media
  COPYONLY)
