# quillprobe.exe end to end under Wine: product records written with Wine's
# own reg.exe into the test prefix, real executables built by MinGW where the
# records point, and the exit status of each run.
#
#   cmake -DWINE=<wine> -DPREFIX=<wine prefix> -DQUILLPROBE=<quillprobe.exe>
#         -DTARN=<tarn.exe> -DTARN_WITHOUT_VERSION=<exe> -P this-file
foreach(var WINE PREFIX QUILLPROBE TARN TARN_WITHOUT_VERSION)
  if(NOT ${var})
    message(FATAL_ERROR "quillprobe_under_wine: ${var} is not set")
  endif()
endforeach()

set(ENV{WINEPREFIX} "${PREFIX}")
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})

set(record_key [[HKLM\SOFTWARE\Quillmere Software\Tarnwick\Path]])

# Runs a Wine command; its status goes to `status_var`, its output to
# `output_var`.
function(wine status_var output_var)
  execute_process(COMMAND "${WINE}" ${ARGN}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output
    INPUT_FILE /dev/null TIMEOUT 120)
  set(${status_var} "${status}" PARENT_SCOPE)
  set(${output_var} "${output}" PARENT_SCOPE)
endfunction()

# The product record of product 1 with `directory` as its install directory,
# or (with no directory) no record at all.
function(write_record)
  wine(status output reg delete [[HKLM\SOFTWARE\Quillmere Software\Tarnwick]] /f)
  if(ARGC EQUAL 0)
    return()
  endif()
  # Called directly: passed on as a list, a directory that ends in a
  # backslash would escape the separator after it.
  execute_process(
    COMMAND "${WINE}" reg add "${record_key}" /v "EXE Path" /t REG_SZ
            /d "${ARGV0}" /f
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output
    INPUT_FILE /dev/null TIMEOUT 120)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "reg add failed (${status}):\n${output}")
  endif()
  # What reg.exe stored is exactly the directory given: no quoting or
  # backslash rule of the command line has changed it.
  wine(status output reg query "${record_key}" /v "EXE Path")
  string(FIND "${output}" "REG_SZ    ${ARGV0}\r" found)
  if(found EQUAL -1)
    string(FIND "${output}" "REG_SZ    ${ARGV0}\n" found)
  endif()
  if(found EQUAL -1)
    message(FATAL_ERROR "The record does not hold ${ARGV0}:\n${output}")
  endif()
endfunction()

# Runs quillprobe.exe with `arguments` (a list) and expects `expected`.
function(expect_run expected what)
  wine(status output "${QUILLPROBE}" ${ARGN})
  if(NOT status STREQUAL expected)
    message(SEND_ERROR
      "${what}: quillprobe.exe ${ARGN} ended with ${status}, not ${expected}\n"
      "${output}")
  else()
    message(STATUS "${what}: ${status}")
  endif()
  if(NOT output STREQUAL "")
    message(SEND_ERROR "${what}: quillprobe.exe wrote output:\n${output}")
  endif()
endfunction()

# Install directories in the prefix's drive C.
set(drive_c "${PREFIX}/drive_c/quillprobe-e2e")
file(REMOVE_RECURSE "${drive_c}")
file(MAKE_DIRECTORY "${drive_c}/Tarnwick" "${drive_c}/No Version"
                    "${drive_c}/Empty")
file(COPY_FILE "${TARN}" "${drive_c}/Tarnwick/tarn.exe")
file(COPY_FILE "${TARN_WITHOUT_VERSION}" "${drive_c}/No Version/tarn.exe")

write_record([[C:\quillprobe-e2e\Tarnwick\]])
expect_run(0 "version formed" 0001)
expect_run(0 "version formed, number in hexadecimal" &H01)
expect_run(2 "argument of three characters" 001)
expect_run(2 "no argument")
expect_run(3 "number without a product" 0003)

write_record([[C:\quillprobe-e2e\No Version\]])
expect_run(6 "executable without version information" 0001)

write_record([[C:\quillprobe-e2e\Empty\]])
expect_run(5 "missing executable" 0001)

# Without its final backslash the directory runs into the file name.
write_record([[C:\quillprobe-e2e\Tarnwick]])
expect_run(5 "directory without its final backslash" 0001)

write_record()
expect_run(4 "missing product record" 0001)
# The run created the record's key, empty.
wine(status output reg query "${record_key}")
if(NOT status EQUAL 0)
  message(SEND_ERROR "The run left no product record key:\n${output}")
endif()
wine(status output reg query "${record_key}" /v "EXE Path")
if(status EQUAL 0)
  message(SEND_ERROR "The created key holds an EXE Path:\n${output}")
endif()

write_record()
file(REMOVE_RECURSE "${drive_c}")
