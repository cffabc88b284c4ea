# Runs GENERATOR with PYTHON (and its option VARIANT, if any) to write OUTPUT
# and fails unless OUTPUT is byte for byte the checked-in SCENE.
execute_process(COMMAND ${PYTHON} ${GENERATOR} ${VARIANT} ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${GENERATOR} failed (${status})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${SCENE} RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "${SCENE} is not what ${GENERATOR} writes; run it again and commit the result")
endif()
