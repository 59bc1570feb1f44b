# Fails when a program imports a DLL the system does not load from its
# known-DLL list: any other is looked for beside the program first.
# cmake -DOBJDUMP=... -DPROGRAMS=a.exe;b.exe [-DRESULTS=x.xml] -P check_imports.cmake
# With RESULTS, the outcome is also written there in GoogleTest's XML form,
# one test a program, so the suites' totals count it.
cmake_minimum_required(VERSION 3.25)
set(known advapi32.dll kernel32.dll msvcrt.dll ntdll.dll user32.dll)
list(LENGTH PROGRAMS count)
if(RESULTS)
  # Written as failed first: a check that stops half-way leaves that.
  file(WRITE "${RESULTS}" "<testsuites tests=\"${count}\" failures=\"${count}\" errors=\"0\"></testsuites>\n")
endif()
foreach(program IN LISTS PROGRAMS)
  execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${OBJDUMP} cannot read ${program}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${dump}")
  if(NOT names)
    message(FATAL_ERROR "${program}: no import table found")
  endif()
  foreach(entry IN LISTS names)
    string(REGEX REPLACE "^DLL Name: *" "" dll "${entry}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST known)
      message(FATAL_ERROR "${program} imports ${dll}, which is not a known DLL")
    endif()
  endforeach()
  message(STATUS "${program}: ${names}")
endforeach()
if(RESULTS)
  file(WRITE "${RESULTS}" "<testsuites tests=\"${count}\" failures=\"0\" errors=\"0\"></testsuites>\n")
endif()
