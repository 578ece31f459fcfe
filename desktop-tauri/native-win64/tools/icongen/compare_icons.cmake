# cmake -P script: runs the icon generator into a fresh folder and compares
# every file it writes with the committed copy.
# Inputs: ICONGEN (generator executable), OUT_DIR, COMMITTED_DIR.

foreach(var ICONGEN OUT_DIR COMMITTED_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

# Start empty so a file left over from an earlier run cannot pass for output.
file(REMOVE_RECURSE "${OUT_DIR}")

execute_process(COMMAND "${ICONGEN}" "${OUT_DIR}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "icon generator failed: ${rc}")
endif()

set(mismatches "")
foreach(name icon.ico icon.png 32x32.png 128x128.png)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E compare_files
            "${OUT_DIR}/${name}" "${COMMITTED_DIR}/${name}"
    RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    list(APPEND mismatches "${name}")
  endif()
endforeach()

if(mismatches)
  message(FATAL_ERROR "generated icons differ from the committed ones: ${mismatches}")
endif()
