# Builds the demo's source into an archive inside the source folder twice: the second build
# must not pack the first one's output, so both archives hold the same bytes. A build into a
# folder inside the source is left out the same way (the archive, to the folder build, is a
# file of the source like any other).
set(work ${BINARY_DIR}/build-twice)
file(REMOVE_RECURSE ${work})
file(COPY ${SOURCE_DIR}/examples/demo/ DESTINATION ${work}/src)
foreach(run 1 2)
  execute_process(COMMAND ${ORBAPACK} build ${work}/src -o ${work}/src/game.dat RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "build ${run} ended with ${rc}: ${err}")
  endif()
  file(SHA256 ${work}/src/game.dat hash${run})
  execute_process(COMMAND ${ORBAPACK} build ${work}/src -o ${work}/src/out --folder RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "folder build ${run} ended with ${rc}: ${err}")
  endif()
endforeach()
if(NOT hash1 STREQUAL hash2)
  message(FATAL_ERROR "the second build differs from the first: it packed the output of a build")
endif()
if(EXISTS ${work}/src/out/out)
  message(FATAL_ERROR "a folder build copied the output of a build")
endif()
