# End-to-end tests of the desktop host (included from tests/CMakeLists.txt).

# Stands in for node.exe and the browsers: starts a Linux program through
# Wine, or reports whether its profile folder existed when it started.
add_executable(zur_test_shim helpers/shim.cc)
target_link_options(zur_test_shim PRIVATE -municode)

set(ZUR_HOST_TESTS host_report host_gateway host_window host_launch_road host_real_node)
zur_add_e2e_test(host_report TIMEOUT 180 LOCKS ${ZUR_HOST_LOCKS})
zur_add_e2e_test(host_gateway TIMEOUT 300 LOCKS ${ZUR_HOST_LOCKS})
zur_add_e2e_test(host_window TIMEOUT 400 LOCKS ${ZUR_HOST_LOCKS})
zur_add_e2e_test(host_launch_road TIMEOUT 240 LOCKS ${ZUR_HOST_LOCKS})
# The same road with node.exe for Windows (tests/node-win.sh fetches it).
zur_add_e2e_test(host_real_node TIMEOUT 300 LOCKS ${ZUR_HOST_LOCKS})
foreach(name IN LISTS ZUR_HOST_TESTS)
  set_property(TEST e2e.${name} APPEND PROPERTY ENVIRONMENT "ZUR_SHIM_EXE=$<TARGET_FILE:zur_test_shim>")
endforeach()
