# Reads the export table of the built CRC16.dll with the cross tool chain's
# objdump -p and checks that the four decorated names and the four plain names
# (and nothing else) are exported, that each decorated name is the same
# function as its plain name, and that the library needs no runtime DLL beyond
# those every Windows has.
#   cmake -DOBJDUMP=<x86_64-w64-mingw32-objdump> -DLIB=<CRC16.dll> -P check_dll_exports.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${LIB}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump -p failed: ${err}")
endif()

string(REGEX MATCH "The Export Tables[^\n]*\n.*" exports "${out}")
if(NOT exports)
  message(FATAL_ERROR "${LIB} has no export table")
endif()
if(NOT exports MATCHES "\nName[ \t]+[0-9a-f]+ CRC16\\.dll\n")
  message(FATAL_ERROR "the export directory does not name CRC16.dll:\n${exports}")
endif()

# Export Address Table: "[   i] +base[   n] RVA Export RVA", one line per ordinal.
string(REGEX MATCHALL "\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\] +[0-9a-f]+ Export RVA" eat "${exports}")
set(rvas)
foreach(line IN LISTS eat)
  string(REGEX REPLACE ".*\\] +([0-9a-f]+) Export RVA" "\\1" rva "${line}")
  list(APPEND rvas ${rva})
endforeach()

# Name table: "[   i] name", where i indexes the address table.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]*\\[ *[0-9]+\\] [^\n]*\n)*)" names_part "${exports}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" name_lines "${CMAKE_MATCH_1}")
set(exported)
foreach(line IN LISTS name_lines)
  string(REGEX REPLACE "^\\[ *([0-9]+)\\] (.*)$" "\\1;\\2" pair "${line}")
  list(GET pair 0 index)
  list(GET pair 1 name)
  string(STRIP "${name}" name)
  list(LENGTH rvas n_rvas)
  if(index GREATER_EQUAL n_rvas)
    message(FATAL_ERROR "export ${name} has no address:\n${names_part}")
  endif()
  list(GET rvas ${index} rva_${name})
  list(APPEND exported ${name})
endforeach()

list(LENGTH exported n)
if(NOT n EQUAL 8)
  message(FATAL_ERROR "expected 8 exports, found ${n}: ${exported}")
endif()
foreach(pair "_crc16_byte@8=crc16_byte" "_crc16_byte_block@12=crc16_byte_block"
             "_crc16_word@8=crc16_word" "_crc16_word_block@12=crc16_word_block")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 decorated)
  list(GET pair 1 plain)
  foreach(name ${decorated} ${plain})
    if(NOT name IN_LIST exported)
      message(FATAL_ERROR "export ${name} missing: ${exported}")
    endif()
  endforeach()
  if(NOT rva_${decorated} STREQUAL rva_${plain})
    message(FATAL_ERROR "${decorated} (${rva_${decorated}}) is not ${plain} (${rva_${plain}})")
  endif()
endforeach()

# Only system DLLs: the C++ runtime and libgcc are linked in.
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${out}")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${line}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-.*)\\.dll$")
    message(FATAL_ERROR "CRC16.dll needs ${dll}, which a plain Windows does not have")
  endif()
endforeach()
message(STATUS "CRC16.dll exports: ${exported}")
