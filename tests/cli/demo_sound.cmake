# Plays the demo headless with its generated sounds and checks the WAV of --audio-out with
# demo_sound.py: the title music fading in, its notes at their pitch and level, a title
# button's click (released at tick 110: 1,760 ms), the fade-out after the click that leaves the
# title (tick 400: 6,400 ms), the silence after it, and the story's voice line. The run is long
# enough for the picture screen's own time-out to lead to the story.
set(work ${BINARY_DIR}/demo-sound)
include(${CMAKE_CURRENT_LIST_DIR}/demo_game.cmake)
execute_process(COMMAND ${DEMOAUDIO} ${work}/game/sound RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the demo's sounds were not made: ${err}")
endif()
file(WRITE ${work}/input.txt "100 move 540 70\n110 click 540 70\n400 click 320 240\n")
execute_process(
  COMMAND ${PLAYER} --headless --ticks 1200 --input ${work}/input.txt --audio-out ${work}/run.wav ${work}/game
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the run ended with ${rc}: ${out} ${err}")
endif()
execute_process(COMMAND ${PYTHON} ${SOURCE_DIR}/tests/cli/demo_sound.py ${work}/run.wav 6400 1760
  RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the demo's sound is not what its script asks for:\n${out}")
endif()
