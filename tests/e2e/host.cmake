# End-to-end tests of the desktop host (included from tests/CMakeLists.txt).

# Stands in for node.exe and the browsers: starts a Linux program through
# Wine, or reports whether its profile folder existed when it started.
add_executable(zur_test_shim helpers/shim.cc)
target_link_options(zur_test_shim PRIVATE -municode)

zur_add_e2e_test(host_report TIMEOUT 180 LOCKS ${ZUR_HOST_LOCKS})
zur_add_e2e_test(host_gateway TIMEOUT 300 LOCKS ${ZUR_HOST_LOCKS})
zur_add_e2e_test(host_window TIMEOUT 400 LOCKS ${ZUR_HOST_LOCKS})
zur_add_e2e_test(host_launch_road TIMEOUT 240 LOCKS ${ZUR_HOST_LOCKS})
# The same road with node.exe for Windows (tests/node-win.sh fetches it).
zur_add_e2e_test(host_real_node TIMEOUT 300 LOCKS ${ZUR_HOST_LOCKS})
set_property(TEST e2e.host_report e2e.host_gateway e2e.host_window e2e.host_launch_road e2e.host_real_node
  APPEND PROPERTY ENVIRONMENT "ZUR_SHIM_EXE=$<TARGET_FILE:zur_test_shim>")
