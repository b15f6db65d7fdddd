# Lists the dynamic symbols of the built CRC16 library with nm -D and checks
# that exactly the decorated and plain names are exported as functions and
# that no link-time placeholder is left.
#   cmake -DNM=<nm> -DLIB=<libCRC16.so> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIB}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm -D failed: ${err}")
endif()
foreach(name _crc16_byte@8 _crc16_byte_block@12 _crc16_word@8 _crc16_word_block@12
             crc16_byte crc16_byte_block crc16_word crc16_word_block)
  string(REGEX MATCH " T ${name}\n" hit "${out}")
  if(NOT hit)
    message(FATAL_ERROR "export ${name} missing:\n${out}")
  endif()
endforeach()
if(out MATCHES "_crc16_[a-z_]+\\.[0-9]")
  message(FATAL_ERROR "placeholder name left in the export table:\n${out}")
endif()
# Nothing else of ours leaks out: every other defined dynamic symbol comes
# from the toolchain or the sanitizer runtime, never from the crc16 sources.
string(REGEX MATCHALL "[^\n]*crc16[^\n]*" ours "${out}")
list(LENGTH ours n)
if(NOT n EQUAL 8)
  message(FATAL_ERROR "expected 8 crc16 exports, found ${n}:\n${out}")
endif()
