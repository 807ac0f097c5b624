# Plays the demo headless through its message-window scene: a click ends the title screen,
# Enter the picture screen, then each Enter press turns the page (the scene's script does it)
# and the last one clears the window and leaves for the effects page. Each page's frame, and
# the effects page's, must differ from the one before, and the game must end by itself once
# the effects page has played its effects.
set(work ${BINARY_DIR}/story-pages)
include(${CMAKE_CURRENT_LIST_DIR}/demo_game.cmake)
file(MAKE_DIRECTORY ${work}/frames)
file(WRITE ${work}/input.txt "${story_input}")
execute_process(
  COMMAND ${PLAYER} --headless --ticks 1650 --input ${work}/input.txt --dump 235,295,355,415,1600 --dump-dir ${work}/frames
          ${work}/game
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the run ended with ${rc}: ${out} ${err}")
endif()
set(previous "")
foreach(frame 235 295 355 415)
  set(file ${work}/frames/frame-000${frame}.png)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "no frame at tick ${frame}")
  endif()
  file(SHA256 ${file} hash)
  if(hash STREQUAL previous)
    message(FATAL_ERROR "the page at tick ${frame} is the one before it: Enter did not turn the page")
  endif()
  set(previous ${hash})
endforeach()
if(EXISTS ${work}/frames/frame-001600.png)
  message(FATAL_ERROR "the game still ran at tick 1600: the effects page did not end by itself")
endif()
