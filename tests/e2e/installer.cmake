# End-to-end tests of the installer (included from tests/CMakeLists.txt).

# The installed launcher script starts the desktop host, so this one shares
# the host tests' locks.
zur_add_e2e_test(installer TIMEOUT 300 LOCKS ${ZUR_HOST_LOCKS})
# Makes files immutable and mounts a small disk as drive Y: of the prefix.
zur_add_e2e_test(installer_faults TIMEOUT 180 LOCKS installer_faults)
