# The version of the programs, which kdpack --version prints and the version
# resource of the Windows programs holds. Its numbers come from the last tag
# vMAJOR.MINOR.PATCH as MAJOR,MINOR,PATCH,N (N commits since the tag); without
# such a tag they are 0,0,0,0 with the text "untagged <commit>", and outside a
# git work tree "untagged". Included, it gives kd_version_header() and
# kd_version_resource(); run with -P at every build, it rewrites kd_version.h when the version changed,
# so a new commit or tag reaches the programs without a new configure.
include_guard(GLOBAL)

if(CMAKE_SCRIPT_MODE_FILE)
  set(numbers 0,0,0,0)
  set(text untagged)
  find_program(git git)
  if(git)
    execute_process(COMMAND ${git} rev-parse --show-toplevel WORKING_DIRECTORY ${SOURCE_DIR}
                    OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed
                    ERROR_QUIET)
    file(REAL_PATH "${SOURCE_DIR}" source)
    if(NOT failed)
      file(REAL_PATH "${top}" top)
    endif()
  endif()
  # A source tree unpacked inside some other repository is not a work tree of its own.
  if(git AND NOT failed AND top STREQUAL source)
    # A fixed abbreviation: its default length depends on how many objects a clone holds.
    execute_process(COMMAND ${git} describe --tags --long --abbrev=12 --match "v[0-9]*.[0-9]*.[0-9]*"
                    WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE described
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(described MATCHES "^v([0-9]+)\\.([0-9]+)\\.([0-9]+)-([0-9]+)-g[0-9a-f]+$")
      foreach(part 1 2 3 4)
        # Each number of the resource is 16 bits wide; a bigger one would wrap silently.
        if(CMAKE_MATCH_${part} GREATER 65535)
          message(FATAL_ERROR "version ${described}: a number is above 65535")
        endif()
      endforeach()
      set(numbers "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},${CMAKE_MATCH_4}")
      set(text "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.${CMAKE_MATCH_4}")
    else()
      execute_process(COMMAND ${git} rev-parse --short=12 HEAD WORKING_DIRECTORY ${SOURCE_DIR}
                      OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(commit)
        set(text "untagged ${commit}")
      endif()
    endif()
  endif()
  set(content "#define KD_VERSION_NUMBERS ${numbers}\n#define KD_VERSION_TEXT \"${text}\"\n")
  set(old "")
  if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
  endif()
  if(NOT old STREQUAL content)
    file(WRITE ${OUTPUT} "${content}")
  endif()
  return()
endif()

# kd_version_header(TARGET): makes kd_version.h (KD_VERSION_NUMBERS and
# KD_VERSION_TEXT) for TARGET's sources with the current version. Each target
# makes its own header: a directory other than the one that makes a header
# cannot depend on it.
function(kd_version_header target)
  set(header ${CMAKE_CURRENT_BINARY_DIR}/${target}-version/kd_version.h)
  add_custom_target(${target}_version
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTPUT=${header}
            -P ${CMAKE_SOURCE_DIR}/cmake/KdVersion.cmake
    BYPRODUCTS ${header} VERBATIM)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}-version)
  add_dependencies(${target} ${target}_version)
endfunction()

# kd_version_resource(TARGET RC): compiles RC, which includes KdVersionInfo.rc,
# into TARGET with the current version.
function(kd_version_resource target rc)
  kd_version_header(${target})
  target_sources(${target} PRIVATE ${rc})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/cmake)
  # windres has no dependency scanning: name what the resource reads.
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS
               ${CMAKE_CURRENT_BINARY_DIR}/${target}-version/kd_version.h
               ${CMAKE_SOURCE_DIR}/cmake/KdVersionInfo.rc)
endfunction()
