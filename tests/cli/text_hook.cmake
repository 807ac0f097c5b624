# Plays the demo headless with --text-hook through its story scene (a click ends the title
# screen, Enter the picture screen and then each page) and compares what it printed with the
# scene's text written out here by hand: its three pages, tags and ruby gone, in UTF-8. The run
# stops on the last page, before the save screen's captions and the history replay print too.
set(work ${BINARY_DIR}/text-hook)
include(${CMAKE_CURRENT_LIST_DIR}/demo_game.cmake)
file(WRITE ${work}/input.txt "${story_input}")
execute_process(
  COMMAND ${PLAYER} --headless --ticks 355 --input ${work}/input.txt --text-hook ${work}/game
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the run ended with ${rc}: ${out} ${err}")
endif()
set(expected "朝の光が、静かな町を照らしていた。\n少女は窓を開けて、遠くの山を見つめる。\n風が、やさしく髪をゆらした。\n\n")
string(APPEND expected "「今日こそ、あの場所へ行こう」\n彼女は小さくつぶやいた。\n地図はここにある。\n\n")
string(APPEND expected "扉の向こうで、新しい一日が始まる。\n\n")
if(NOT out STREQUAL expected)
  file(WRITE ${work}/printed.txt "${out}")
  message(FATAL_ERROR "the text hook printed (also in ${work}/printed.txt):\n${out}\nexpected:\n${expected}")
endif()
