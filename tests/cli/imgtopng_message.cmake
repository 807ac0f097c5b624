# imgtopng says why a picture cannot be read in UTF-8, as a terminal shows it.
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/broken.bmp "BM, then nothing a bitmap needs")
foreach(input ${WORK}/missing.bmp ${WORK}/broken.bmp)
  execute_process(COMMAND ${IMGTOPNG} ${input} ${WORK}/out.png RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  # "ファイルを開けません" (cannot open) or "画像ファイルが壊れています" (damaged), as UTF-8.
  if(NOT rc EQUAL 1 OR NOT err MATCHES "(ファイルを開けません|画像ファイルが壊れています)")
    message(FATAL_ERROR "imgtopng ${input}: expected a UTF-8 message and 1, got ${rc}: ${err}")
  endif()
endforeach()
