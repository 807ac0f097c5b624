# Plays the demo headless to its message-window scene: a click ends the title screen, Enter the picture screen, then each
# Enter press turns the page (the scene's script does it) and the last one clears the window
# and ends the game. Each page's frame must differ from the one before, and the game must have
# ended after the third press, before the fourth.
set(work ${BINARY_DIR}/story-pages)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/frames)
execute_process(COMMAND ${ORBAPACK} build ${SOURCE_DIR}/examples/demo -o ${work}/game --folder
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the demo did not build: ${err}")
endif()
file(WRITE ${work}/input.txt "40 click 320 240\n70 key 13\n100 key 13\n160 key 13\n220 key 13\n280 key 13\n")
execute_process(
  COMMAND ${PLAYER} --headless --ticks 320 --input ${work}/input.txt --dump 95,155,215,275 --dump-dir ${work}/frames
          ${work}/game
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the run ended with ${rc}: ${out} ${err}")
endif()
set(previous "")
foreach(frame 95 155 215)
  set(file ${work}/frames/frame-000${frame}.png)
  if(frame LESS 100)
    set(file ${work}/frames/frame-0000${frame}.png)
  endif()
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "no frame at tick ${frame}")
  endif()
  file(SHA256 ${file} hash)
  if(hash STREQUAL previous)
    message(FATAL_ERROR "the page at tick ${frame} is the one before it: Enter did not turn the page")
  endif()
  set(previous ${hash})
endforeach()
if(EXISTS ${work}/frames/frame-000275.png)
  message(FATAL_ERROR "the game still ran at tick 275: the last Enter did not clear the window")
endif()
