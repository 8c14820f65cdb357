# quillreg.exe under Wine, held against Wine's own reg.exe in the test prefix:
#  - keys written by reg.exe read back the same through both: every query
#    prints the same bytes with the same exit status;
#  - the same add command lines through both store the same values: the two
#    keys export to the same file, apart from their names;
#  - both export the same key to the same bytes, and what quillreg.exe
#    imports from reg.exe's export, reg.exe exports again unchanged;
#  - command lines that reg.exe refuses, quillreg.exe refuses too.
#
#   cmake -DWINE=<wine> -DPREFIX=<wine prefix> -DQUILLREG=<quillreg.exe>
#         -P this-file
#
# The data is ASCII: for other text reg.exe writes the console's OEM code
# page into a pipe, and quillreg.exe writes UTF-8. REG_QWORD appears only in
# the exports, since Wine's reg.exe shows no REG_QWORD data in a query.
cmake_policy(SET CMP0007 NEW)

foreach(var WINE PREFIX QUILLREG)
  if(NOT ${var})
    message(FATAL_ERROR "quillreg_under_wine: ${var} is not set")
  endif()
endforeach()

set(ENV{WINEPREFIX} "${PREFIX}")
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})

set(base [[HKCU\Software\Quillreg Differential]])

# Runs a Wine command with no input: its status, standard output and
# standard error go to <prefix>_status, <prefix>_out and <prefix>_err.
function(wine prefix)
  execute_process(COMMAND "${WINE}" ${ARGN}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
    INPUT_FILE /dev/null TIMEOUT 60)
  set(${prefix}_status "${status}" PARENT_SCOPE)
  set(${prefix}_out "${out}" PARENT_SCOPE)
  set(${prefix}_err "${err}" PARENT_SCOPE)
endfunction()

# Wine's reg.exe, which must succeed.
function(reg)
  wine(r reg ${ARGN})
  if(NOT r_status EQUAL 0)
    message(FATAL_ERROR "reg ${ARGN} failed (${r_status}):\n${r_out}${r_err}")
  endif()
endfunction()

# The same command line through both tools: the same status, and for a
# success the same standard output.
function(expect_same what)
  wine(r reg ${ARGN})
  wine(q "${QUILLREG}" ${ARGN})
  if(NOT q_status STREQUAL r_status)
    message(SEND_ERROR "${what}: quillreg.exe ended with ${q_status}, "
                       "reg.exe with ${r_status}\n${q_err}")
  elseif(r_status EQUAL 0 AND NOT q_out STREQUAL r_out)
    message(SEND_ERROR "${what}: the outputs differ\n"
                       "reg.exe:\n${r_out}\nquillreg.exe:\n${q_out}")
  else()
    message(STATUS "${what}: the same")
  endif()
endfunction()

wine(r reg delete "${base}" /f)

# Keys written by reg.exe.
reg(add "${base}" /ve /d "Quillreg" /f)
reg(add "${base}" /v Text /d "hello world" /f)
reg(add "${base}" /v "Empty Text" /f)
reg(add "${base}" /v Expand /t REG_EXPAND_SZ /d "%SystemRoot%\\System32" /f)
reg(add "${base}" /v List /t REG_MULTI_SZ /d "one\\0two\\0three" /f)
reg(add "${base}" /v Count /t REG_DWORD /d 42 /f)
reg(add "${base}" /v Mask /t REG_DWORD /d 0xffffffff /f)
reg(add "${base}" /v Blob /t REG_BINARY /d 00ff10abc /f)
reg(add "${base}" /v Nothing /t REG_NONE /f)
reg(add "${base}\\Tarnwick\\Path" /v "EXE Path" /d "C:\\Apps\\Tarnwick\\x" /f)
reg(add "${base}\\Keys Only\\Inner" /v Leaf /d leaf /f)
reg(add "${base}\\Keys Only\\Other" /f)

expect_same("a key with values and subkeys" query "${base}")
expect_same("a whole tree" query "${base}" /s)
expect_same("the path as typed" query [[hkcu\software\quillreg differential\]])
expect_same("the long root name" query
            [[HKEY_CURRENT_USER\Software\Quillreg Differential\Tarnwick]] /s)
expect_same("a key with subkeys only" query "${base}\\Keys Only")
expect_same("a key with values only" query "${base}\\Keys Only\\Inner")
expect_same("one value" query "${base}" /v Count)
expect_same("one value, name as typed" query "${base}" /v "empty text")
expect_same("the default value" query "${base}" /ve)
expect_same("a missing key" query "${base}\\Missing")
expect_same("a missing value" query "${base}" /v Missing)
expect_same("an unknown root" query [[HKXY\Software]])

# The same add command lines through both tools, into two keys.
# One add command line each, its arguments separated by "|".
set(adds
  "/v|Text|/d|some text"
  "/ve|/d|unnamed"
  "/v|Expand|/t|REG_EXPAND_SZ|/d|%TEMP%\\x"
  "/v|List|/t|REG_MULTI_SZ|/d|a\\0b\\0c"
  "/v|Hashes|/t|REG_MULTI_SZ|/s|#|/d|a#b#"
  "/v|No List|/t|REG_MULTI_SZ"
  "/v|Decimal|/t|REG_DWORD|/d|123"
  "/v|Hex|/t|reg_dword|/d|0x7fffffff"
  "/v|Quad|/t|REG_QWORD|/d|0x1122334455667788"
  "/v|Bytes|/t|REG_BINARY|/d|abc"
  "/v|No Bytes|/t|REG_BINARY"
  "/v|None|/t|REG_NONE|/d|text"
  "/v|Empty None|/t|REG_NONE"
  "/v|Empty Text"
)
foreach(tool reg quillreg)
  wine(r reg delete "${base}\\By ${tool}" /f)
  set(program reg)
  if(tool STREQUAL "quillreg")
    set(program "${QUILLREG}")
  endif()
  foreach(add IN LISTS adds)
    string(REPLACE "|" ";" add "${add}")
    wine(a "${program}" add "${base}\\By ${tool}" ${add} /f)
    if(NOT a_status EQUAL 0)
      message(SEND_ERROR "${tool} add ${add} failed:\n${a_out}${a_err}")
    endif()
  endforeach()
  set(file "${PREFIX}/drive_c/quillreg-${tool}.reg")
  file(REMOVE "${file}")
  reg(export "${base}\\By ${tool}" "C:\\quillreg-${tool}.reg" /y)
  file(STRINGS "${file}" lines_${tool} ENCODING UTF-16LE)
  file(REMOVE "${file}")
endforeach()
string(REPLACE "By reg" "By quillreg" lines_reg "${lines_reg}")
if(NOT lines_reg STREQUAL lines_quillreg)
  string(REPLACE ";" "\n" lines_reg "${lines_reg}")
  string(REPLACE ";" "\n" lines_quillreg "${lines_quillreg}")
  message(SEND_ERROR "The added values differ\nreg.exe:\n${lines_reg}\n"
                     "quillreg.exe:\n${lines_quillreg}")
else()
  list(LENGTH lines_reg count)
  message(STATUS "added values: the same (${count} lines exported)")
endif()

# Exports: the file reg.exe writes, byte for byte; and reg.exe's export
# imported by quillreg.exe after the key is gone comes back the same.
set(by_reg "${PREFIX}/drive_c/quillreg-export-reg.reg")
set(by_quillreg "${PREFIX}/drive_c/quillreg-export-quillreg.reg")
set(again "${PREFIX}/drive_c/quillreg-export-again.reg")
file(REMOVE "${by_reg}" "${by_quillreg}" "${again}")
reg(export "${base}" [[C:\quillreg-export-reg.reg]] /y)
wine(q "${QUILLREG}" export "${base}" [[C:\quillreg-export-quillreg.reg]])
file(READ "${by_reg}" reg_bytes HEX)
if(EXISTS "${by_quillreg}")
  file(READ "${by_quillreg}" quillreg_bytes HEX)
endif()
if(NOT q_status EQUAL 0 OR NOT reg_bytes STREQUAL quillreg_bytes)
  message(SEND_ERROR "The exports differ (quillreg.exe: ${q_status} ${q_err})")
else()
  message(STATUS "export: the same bytes")
endif()
reg(delete "${base}" /f)
wine(q "${QUILLREG}" import [[C:\quillreg-export-reg.reg]])
reg(export "${base}" [[C:\quillreg-export-again.reg]] /y)
file(READ "${again}" again_bytes HEX)
if(NOT q_status EQUAL 0 OR NOT again_bytes STREQUAL reg_bytes)
  message(SEND_ERROR "The import changed the tree (quillreg.exe: ${q_status} "
                     "${q_err})")
else()
  message(STATUS "import: the same tree")
endif()
file(REMOVE "${by_reg}" "${by_quillreg}" "${again}")

# Command lines both refuse.
expect_same("an unknown type" add "${base}" /v x /t REG_FOO /d 1 /f)
expect_same("a number that is none" add "${base}" /v x /t REG_DWORD /d abc /f)
expect_same("a number too large" add "${base}" /v x /t REG_DWORD
            /d 4294967296 /f)
expect_same("hex that is none" add "${base}" /v x /t REG_BINARY /d xyz /f)
expect_same("an empty string in a list" add "${base}" /v x /t REG_MULTI_SZ
            /d "a\\0\\0b" /f)
expect_same("/v with /ve" add "${base}" /v x /ve /f)
expect_same("a missing value to delete" delete "${base}" /v Missing /f)
expect_same("a missing key to delete" delete "${base}\\Missing" /f)

# What both refused changed nothing.
wine(q "${QUILLREG}" query "${base}" /v x)
if(NOT q_status EQUAL 1)
  message(SEND_ERROR "A refused add stored a value:\n${q_out}")
endif()

wine(r reg delete "${base}" /f)
