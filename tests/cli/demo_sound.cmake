# Plays the demo headless with its generated sounds and checks the WAV of --audio-out with
# demo_sound.py: the title music fading in, its notes at their pitch and level, the fade-out
# after the click that leaves the title (tick 330: 5,280 ms), then silence.
set(work ${BINARY_DIR}/demo-sound)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
execute_process(COMMAND ${ORBAPACK} build ${SOURCE_DIR}/examples/demo -o ${work}/game --folder
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the demo did not build: ${err}")
endif()
execute_process(COMMAND ${DEMOAUDIO} ${work}/game/sound RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the demo's sounds were not made: ${err}")
endif()
file(WRITE ${work}/input.txt "330 click 320 240\n")
execute_process(
  COMMAND ${PLAYER} --headless --ticks 480 --input ${work}/input.txt --audio-out ${work}/run.wav ${work}/game
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the run ended with ${rc}: ${out} ${err}")
endif()
execute_process(COMMAND ${PYTHON} ${SOURCE_DIR}/tests/cli/demo_sound.py ${work}/run.wav 5280
  RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the demo's sound is not what its script asks for:\n${out}")
endif()
