# orbatext writes one PNG a page and, with --ticks, one a tick of the first page's reveal;
# a text the tag language refuses is reported in UTF-8 with exit code 1.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${ORBATEXT} "漢字<BR CLEAR>かな" -o ${WORK}/out.png --ticks --wait 20 --rows
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "orbatext failed (${rc}): ${err}")
endif()
if(NOT out MATCHES "page 1 top 0 height 24 left 0: 漢字" OR NOT out MATCHES "page 2 top 0 height 24 left 0: かな")
  message(FATAL_ERROR "orbatext rows: ${out}")
endif()
# The first page at 20 ms a character and 16 ms a tick: tick 1 the start delay, tick 2 漢
# with no time passed, tick 4 字 (20 - 2 × 16 < 0, leaving 8), tick 5 the line break; the
# page is whole then, so five pictures.
file(GLOB ticks ${WORK}/out-t*.png)
list(LENGTH ticks count)
foreach(f out.png out-2.png out-t0001.png)
  if(NOT EXISTS ${WORK}/${f})
    message(FATAL_ERROR "orbatext did not write ${f}")
  endif()
endforeach()
if(NOT count EQUAL 5)
  message(FATAL_ERROR "orbatext wrote ${count} tick pictures")
endif()
execute_process(COMMAND ${ORBATEXT} "<A>x</A>" -o ${WORK}/bad.png RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
# "<A>タグにHREF値がありません"
if(NOT rc EQUAL 1 OR NOT err MATCHES "<A>タグにHREF値がありません")
  message(FATAL_ERROR "orbatext <A>: expected the UTF-8 message and 1, got ${rc}: ${err}")
endif()
