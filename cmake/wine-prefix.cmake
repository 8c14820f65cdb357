# Brings up the Wine prefix that the cross-built tests run in, and takes it
# down again after them.
#
#   cmake -DWINE=<wine> -DWINESERVER=<wineserver> -DPREFIX=<dir>
#         -DACTION=start|stop -P wine-prefix.cmake
#
# start: makes the prefix once per build tree (a prefix is ready when the
# marker written after a complete initialisation exists; anything else at
# PREFIX, such as an interrupted first run, is removed and made again), then
# starts a Wine server and Wine's own background processes with their output
# going nowhere. Every test then finds them running: it starts in a fraction
# of a second, and no Wine process outlives a test holding its output open.
# stop: ends the server and every Wine process in the prefix; the server
# writes the prefix's registry out as it goes.
foreach(var WINE WINESERVER PREFIX ACTION)
  if(NOT ${var})
    message(FATAL_ERROR "wine-prefix: ${var} is not set")
  endif()
endforeach()

set(ENV{WINEPREFIX} "${PREFIX}")
set(ENV{WINEARCH} win64)
set(ENV{WINEDEBUG} -all)
# No Mono or Gecko: nothing here needs them, and asking for them would wait
# on a dialog.
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})

# Runs a Wine command with no input and its output in `log`; fails the
# script with that output unless it succeeds.
function(wine_step log)
  execute_process(COMMAND ${ARGN}
    RESULT_VARIABLE result
    INPUT_FILE /dev/null OUTPUT_FILE "${log}" ERROR_FILE "${log}"
    TIMEOUT 300)
  if(NOT result EQUAL 0)
    file(READ "${log}" output)
    message(FATAL_ERROR "'${ARGN}' failed (${result}):\n${output}")
  endif()
endfunction()

set(marker "${PREFIX}/.quillprobe-prefix-ready")
get_filename_component(log "${PREFIX}/../wine-prefix.log" ABSOLUTE)

if(ACTION STREQUAL "stop")
  if(EXISTS "${PREFIX}")
    execute_process(COMMAND "${WINESERVER}" --kill
                    INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET)
  endif()
  return()
endif()
if(NOT ACTION STREQUAL "start")
  message(FATAL_ERROR "wine-prefix: ACTION must be start or stop")
endif()

if(NOT EXISTS "${marker}")
  if(EXISTS "${PREFIX}")
    execute_process(COMMAND "${WINESERVER}" --kill
                    INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET)
  endif()
  file(REMOVE_RECURSE "${PREFIX}")
  wine_step("${log}" "${WINE}" wineboot --init)
  # The registry files are complete once the server has written them out.
  wine_step("${log}" "${WINESERVER}" --wait)
  if(NOT EXISTS "${PREFIX}/system.reg")
    message(FATAL_ERROR "Wine did not initialise ${PREFIX}")
  endif()
  file(TOUCH "${marker}")
endif()

# A server left over from an interrupted run may hold a test's output open.
execute_process(COMMAND "${WINESERVER}" --kill
                INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET)
# It stays up for a minute after the last Wine process ends, should stop
# never come.
wine_step("${log}" "${WINESERVER}" --persistent=60)
wine_step("${log}" "${WINE}" cmd.exe /c exit)
