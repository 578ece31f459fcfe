# End-to-end tests of the installer (included from tests/CMakeLists.txt).
