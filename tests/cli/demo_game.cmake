# Included by the scripts that play the demo headless: builds it into a fresh ${work}/game
# (the folder form) and names the input that walks through its story scene, which each of
# them plays: a click ends the title screen, Enter the picture screen and then each page.
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
execute_process(COMMAND ${ORBAPACK} build ${SOURCE_DIR}/examples/demo -o ${work}/game --folder
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the demo did not build: ${err}")
endif()
set(story_input "80 click 320 240\n180 key 13\n240 key 13\n300 key 13\n360 key 13\n420 key 13\n")
