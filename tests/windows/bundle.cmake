# Writes the Windows road's bundle (cmake -P): the runner, the two programs
# in dist/, the cross-built helpers in bin/, and in source/ the test files
# and the data they read, at their places in the sources.
# Variables: SOURCE_DIR, BUNDLE, PROGRAMS and HELPERS (files, separated
# by "|").
foreach(variable SOURCE_DIR BUNDLE PROGRAMS HELPERS)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "bundle.cmake: ${variable} is not set")
  endif()
endforeach()
string(REPLACE "|" ";" PROGRAMS "${PROGRAMS}")
string(REPLACE "|" ";" HELPERS "${HELPERS}")

function(copy_into folder)
  file(MAKE_DIRECTORY "${folder}")
  foreach(file IN LISTS ARGN)
    get_filename_component(name "${file}" NAME)
    file(COPY_FILE "${file}" "${folder}/${name}" ONLY_IF_DIFFERENT)
  endforeach()
endfunction()

copy_into("${BUNDLE}" "${SOURCE_DIR}/tests/windows/run.cmd" "${SOURCE_DIR}/tests/windows/run.mjs")
copy_into("${BUNDLE}/dist" ${PROGRAMS})
copy_into("${BUNDLE}/bin" ${HELPERS})
file(GLOB lib "${SOURCE_DIR}/tests/lib/*.mjs")
list(FILTER lib EXCLUDE REGEX "\\.test\\.mjs$")
copy_into("${BUNDLE}/source/tests/lib" ${lib})
file(GLOB e2e "${SOURCE_DIR}/tests/e2e/*.test.mjs")
copy_into("${BUNDLE}/source/tests/e2e" ${e2e})
copy_into("${BUNDLE}/source/tests/helpers" "${SOURCE_DIR}/tests/helpers/render_page.mjs")
copy_into("${BUNDLE}/source/desktop-tauri" "${SOURCE_DIR}/desktop-tauri/tauri.conf.json")
copy_into("${BUNDLE}/source/desktop-tauri/icons" "${SOURCE_DIR}/desktop-tauri/icons/icon.ico")
copy_into("${BUNDLE}/source" "${SOURCE_DIR}/zur-unified-gateway-server.mjs")
