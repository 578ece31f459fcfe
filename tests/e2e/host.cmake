# End-to-end tests of the desktop host (included from tests/CMakeLists.txt).
