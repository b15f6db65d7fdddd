# Reads the dynamic section of every program and library in the build
# folder's bin/ and of an installation of the build into a scratch folder,
# and fails on a run path (RPATH or RUNPATH) with an empty or relative entry:
# the loader would look for libraries in or below the current folder.
# Entries must be absolute or start with $ORIGIN.
#   cmake -DREADELF=<readelf> -DBUILD=<build folder> -DSCRATCH=<folder> -P check_run_paths.cmake

# Every ELF file below `folder` (recursively when `recurse` is set).
function(elf_files folder recurse out)
  if(recurse)
    file(GLOB_RECURSE candidates LIST_DIRECTORIES false "${folder}/*")
  else()
    file(GLOB candidates LIST_DIRECTORIES false "${folder}/*")
  endif()
  set(found)
  foreach(f IN LISTS candidates)
    if(IS_SYMLINK "${f}")
      continue()
    endif()
    file(READ "${f}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
      list(APPEND found "${f}")
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# Appends to `problems` what is wrong with the run paths of `f`.
function(check_file f)
  set(found "${problems}")
  execute_process(COMMAND ${READELF} -d "${f}" OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    set(problems "${found}\n${f}: readelf failed: ${err}" PARENT_SCOPE)
    return()
  endif()
  string(REGEX MATCHALL "\\((RPATH|RUNPATH)\\)[^[\n]*\\[[^]\n]*\\]" paths "${out}")
  foreach(line IN LISTS paths)
    string(REGEX REPLACE ".*\\((RPATH|RUNPATH)\\)[^[]*\\[([^]]*)\\]" "\\1" kind "${line}")
    string(REGEX REPLACE ".*\\((RPATH|RUNPATH)\\)[^[]*\\[([^]]*)\\]" "\\2" value "${line}")
    # Split at ':' by hand: CMake lists would drop the empty entries.
    string(REPLACE ":" ";|" entries "|${value}")
    foreach(entry IN LISTS entries)
      string(SUBSTRING "${entry}" 1 -1 entry)
      if(entry STREQUAL "")
        set(found "${found}\n${f}: ${kind} [${value}] has an empty entry (the current folder)")
      elseif(NOT entry MATCHES "^(/|\\$ORIGIN(/|$)|\\$\\{ORIGIN\\}(/|$))")
        set(found "${found}\n${f}: ${kind} entry '${entry}' is relative to the current folder")
      endif()
    endforeach()
  endforeach()
  set(problems "${found}" PARENT_SCOPE)
endfunction()

set(problems)
elf_files("${BUILD}/bin" OFF built)
foreach(f IN LISTS built)
  check_file("${f}")
endforeach()

file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${SCRATCH}"
  OUTPUT_QUIET ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "installing into ${SCRATCH} failed: ${err}")
endif()
elf_files("${SCRATCH}" ON installed)
foreach(f IN LISTS installed)
  check_file("${f}")
endforeach()
file(REMOVE_RECURSE "${SCRATCH}")

list(LENGTH built built_count)
list(LENGTH installed installed_count)
# The build holds programs and libCRC16.so; the installation at least the program and the library.
if(built_count LESS 3 OR installed_count LESS 2)
  message(FATAL_ERROR "too few ELF files found: ${built_count} built, ${installed_count} installed")
endif()
if(problems)
  message(FATAL_ERROR "run paths that reach into the current folder:${problems}")
endif()
message(STATUS "run paths of ${built_count} built and ${installed_count} installed files: none empty or relative")
