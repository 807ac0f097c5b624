cmake_policy(SET CMP0057 NEW)  # if(IN_LIST)
# Installs the build into a fresh prefix and checks that every file a user gets is there:
# the programs (runnable: the installed player answers --help), the desktop entry naming the
# icon, the icon as a PNG, the manual pages and the licence.
set(prefix ${BINARY_DIR}/install-test)
file(REMOVE_RECURSE ${prefix})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${prefix}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${out} ${err}")
endif()
set(expected
  bin/orbaplayer bin/orbapack bin/orbatext bin/trnpack bin/imgtopng
  share/applications/orbaplayer.desktop
  share/icons/hicolor/256x256/apps/orbaplayer.png
  share/man/man1/orbaplayer.1 share/man/man1/orbapack.1
  share/doc/OrbaPlayer/LICENSE share/doc/OrbaPlayer/README.md)
foreach(f ${expected})
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(READ ${prefix}/share/icons/hicolor/256x256/apps/orbaplayer.png magic LIMIT 8 HEX)
if(NOT magic STREQUAL "89504e470d0a1a0a")
  message(FATAL_ERROR "the icon is no PNG: ${magic}")
endif()
file(STRINGS ${prefix}/share/applications/orbaplayer.desktop desktop)
if(NOT "Icon=orbaplayer" IN_LIST desktop OR NOT "Exec=orbaplayer %f" IN_LIST desktop)
  message(FATAL_ERROR "the desktop entry does not name the installed player and icon: ${desktop}")
endif()
file(READ ${prefix}/share/doc/OrbaPlayer/LICENSE licence LIMIT 200)
if(NOT licence MATCHES "GNU GENERAL PUBLIC LICENSE" OR NOT licence MATCHES "Version 3")
  message(FATAL_ERROR "the licence is not the GPL version 3")
endif()
execute_process(COMMAND ${prefix}/bin/orbaplayer --help RESULT_VARIABLE rc OUTPUT_VARIABLE help)
if(NOT rc EQUAL 0 OR NOT help MATCHES "--save-dir")
  message(FATAL_ERROR "the installed player does not answer --help: ${rc} ${help}")
endif()
