# Run with cmake -P at build time, on the host: writes the core script body
# (a [DIR] Bin and a [FILE] kds.exe holding KDS) to OUTPUT_DIR/core.txt, has
# openssl sign it with each of KEYS, turns each DER signature into r then s as
# 128 hexadecimal digits, and writes them into OUTPUT_DIR/openssl_signatures.h.
# The Windows tests run under Wine, where openssl cannot be run.
file(SIZE "${KDS}" size)
file(WRITE "${OUTPUT_DIR}/core-head.txt" "[DIR]\nName = Bin\n[FILE]\nName = kds.exe\nSize = ${size}\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E cat "${OUTPUT_DIR}/core-head.txt" "${KDS}"
                OUTPUT_FILE "${OUTPUT_DIR}/core.txt" COMMAND_ERROR_IS_FATAL ANY)

set(header "// Generated at build time by openssl_signatures.cmake.\n#pragma once\n\n")
string(APPEND header "constexpr char OpensslBody[] = \"${OUTPUT_DIR}/core.txt\";\n")
foreach(key IN LISTS KEYS)
  get_filename_component(name "${key}" NAME_WE)
  string(REPLACE "test-only-" "" name "${name}")
  execute_process(COMMAND "${OPENSSL}" dgst -sha256 -sign "${key}" -out "${OUTPUT_DIR}/${name}.der"
                          "${OUTPUT_DIR}/core.txt" COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND "${OPENSSL}" asn1parse -inform DER -in "${OUTPUT_DIR}/${name}.der"
                  OUTPUT_VARIABLE parsed COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "INTEGER *:[0-9A-Fa-f]+" integers "${parsed}")
  list(LENGTH integers count)
  if(NOT count EQUAL 2)
    message(FATAL_ERROR "openssl asn1parse gave no r and s for ${key}:\n${parsed}")
  endif()
  set(hex "")
  foreach(integer IN LISTS integers)
    string(REGEX REPLACE "INTEGER *:" "" digits "${integer}")
    # DER adds a 00 before a high first byte and drops leading zero bytes.
    string(REGEX REPLACE "^00" "" digits "${digits}")
    string(LENGTH "${digits}" length)
    while(length LESS 64)
      string(PREPEND digits "0")
      math(EXPR length "${length} + 1")
    endwhile()
    string(APPEND hex "${digits}")
  endforeach()
  string(MAKE_C_IDENTIFIER "${name}" name)
  string(APPEND header "constexpr char OpensslSignature_${name}[] = \"${hex}\";\n")
endforeach()
file(WRITE "${OUTPUT_DIR}/openssl_signatures.h" "${header}")
