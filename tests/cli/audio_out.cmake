# Runs the player headless with --audio-out and checks the WAV it writes: 16-bit stereo at
# 44,100 Hz covering every pass of the fake clock (50 passes of 16 ms: 35,280 frames).
set(work ${BINARY_DIR}/audio-out)
file(REMOVE_RECURSE ${work})
file(COPY ${SOURCE_DIR}/tests/fixtures/wait-project/ DESTINATION ${work}/project)
execute_process(COMMAND ${PLAYER} --headless --ticks 50 --audio-out ${work}/run.wav ${work}/project
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the run ended with ${rc}: ${out} ${err}")
endif()
file(SIZE ${work}/run.wav size)
math(EXPR expected "44 + 35280 * 4")
if(NOT size EQUAL expected)
  message(FATAL_ERROR "run.wav holds ${size} bytes, expected ${expected}")
endif()
file(READ ${work}/run.wav header LIMIT 36 HEX)
# "RIFF", size, "WAVE", "fmt ", 16, PCM, 2 channels, 44100, 176400, 4, 16
if(NOT header MATCHES "^52494646........57415645666d7420100000000100020044ac000010b102000400")
  message(FATAL_ERROR "run.wav does not begin as a 44,100 Hz 16-bit stereo WAV: ${header}")
endif()
execute_process(COMMAND ${PLAYER} --headless --audio-out RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(NOT rc EQUAL 2)
  message(FATAL_ERROR "--audio-out without a file should end with 2, got ${rc}")
endif()
