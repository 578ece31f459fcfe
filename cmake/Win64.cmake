# Settings of the cross configuration: how shipped programs are compiled and
# linked, where the native build tools are, and how tests run under Wine.

if(NOT ZUR_NATIVE_BINARY_DIR)
  message(FATAL_ERROR "ZUR_NATIVE_BINARY_DIR must name the native build tree (use the win64 preset)")
endif()
set(ZUR_PECHECK "${ZUR_NATIVE_BINARY_DIR}/desktop-tauri/native-win64/tools/pecheck/zur_pecheck")

# Every program is linked fully static, so it imports system DLLs only, and the
# source and build folders never reach the binaries, so a build is
# byte-for-byte the same wherever the tree is checked out.
# Size first (MinSizeRel gives -Os), with unused code and data left out.
add_compile_options(
  -ffunction-sections -fdata-sections
  -Wall -Wextra
  "-ffile-prefix-map=${PROJECT_SOURCE_DIR}/="
  "-ffile-prefix-map=${PROJECT_BINARY_DIR}/=build/")
add_link_options(-static -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
add_compile_definitions(UNICODE _UNICODE)
# GCC's posix driver links winpthread by itself, clang's does not: the
# tests' exception support (libgcc_eh, libstdc++) and GoogleTest need it.
# The shipped programs use none of it, and pecheck would see it if they did.
link_libraries(pthread)

# Hardening. The loader keeps ASLR (64-bit, from a relocatable base) and DEP
# on and treats the programs as terminal server aware; the shipped programs
# also carry Control Flow Guard, CET shadow-stack compatibility and a load
# configuration (see zur_program_runtime). Their stack protector's canary is
# common/win/runtime.cc's; everything else gets GCC's libssp, linked
# statically by -static like the rest. tools/pecheck fails the build when
# any of it is missing.
add_compile_options(-fstack-protector-strong)
add_compile_definitions(_FORTIFY_SOURCE=2)
add_link_options(-fstack-protector-strong
  -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat -Wl,--tsaware)

# The programs and the code they link are built for size first (-Oz: 1.4 to
# 2.7 KiB less code than -Os), without exceptions (see
# common/win/runtime.cc, linked into the programs only), without type
# information (nothing asks for a type at run time; it would cost each
# interface class some 2.5 KiB) and, having a single thread, without
# thread-safe guards on function-local statics. Their indirect calls are
# checked by Control Flow Guard (clang's -cfguard: each goes through the
# guard pointer of common/win/load_config.cc).
set(ZUR_PROGRAM_CODE_OPTIONS -Oz -fno-exceptions -fno-rtti -fno-threadsafe-statics "SHELL:-Xclang -cfguard")

# A program built as the shipped ones are: its own runtime instead of the C
# runtime, so it imports from KERNEL32 (and WS2_32) only; the load
# configuration, whatever its code refers to; the Control Flow Guard tables
# and CET shadow-stack compatibility; few sections (read-only data, the
# import table, unwind and guard tables all in .rdata, which is not
# executable, and .bss in .data); identical read-only sections, unwind
# data most of all, folded into one (--icf=all, as MSVC's /OPT:ICF). Without
# MinGW's start-up code nothing would apply runtime pseudo-relocations, so
# the link refuses any. The image declares Windows 8 (6.2) as the oldest it
# runs on: every function it imports exists there without an update
# (SetDefaultDllDirectories came to 7 only with KB2533623, FileIdInfo
# not at all), so an older Windows refuses it plainly as "not a valid
# application" instead of failing on a missing entry point.
function(zur_program_runtime target)
  target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/desktop-tauri/native-win64/common/win/runtime.cc")
  target_compile_options(${target} PRIVATE ${ZUR_PROGRAM_CODE_OPTIONS})
  target_link_options(${target} PRIVATE -nostdlib -Wl,--icf=all -Wl,--undefined=_load_config_used -Wl,--disable-runtime-pseudo-reloc
    -Wl,--Xlink=-guard:cf -Wl,--Xlink=-cetcompat
    -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,2 -Wl,--major-os-version,6 -Wl,--minor-os-version,2
    -Wl,--Xlink=-merge:.00cfg=.rdata -Wl,--Xlink=-merge:.buildid=.rdata -Wl,--Xlink=-merge:.idata=.rdata
    -Wl,--Xlink=-merge:.pdata=.rdata -Wl,--Xlink=-merge:.xdata=.rdata -Wl,--Xlink=-merge:.bss=.data)
  target_link_libraries(${target} PRIVATE zur_win kernel32)
endfunction()

# Tests run under Wine in a private prefix that the wine.prefix test makes:
# ZUR_WINE_RUN names its folder (the prefix is its "prefix" subfolder), and
# every Wine test gets it in its environment, however the test is started.
# One folder per build tree: a second test run of the same tree at the same
# time is refused by the wine.prefix test (tests/wine-prefix.sh).
set(ZUR_WINE_RUN "${PROJECT_BINARY_DIR}/wine/run")
set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/tests/wine-run.sh;${ZUR_WINE_RUN}")

# GoogleTest from Debian's source package, built with the cross compiler.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${PROJECT_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# A test that runs under Wine needs the prefix that the wine.prefix test
# makes once per run.
function(zur_add_wine_test)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "NAME" "COMMAND")
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_COMMAND})
  set_tests_properties(${ARG_NAME} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "ZUR_WINE_RUN=${ZUR_WINE_RUN}")
endfunction()

# Authenticode signing of the shipped programs, off unless a signer is named
# (see scripts/sign.sh; its password or PIN is read from ZUR_SIGN_PASSWORD at
# build time): a PKCS#12 file, or a key in a token or an HSM through its
# PKCS#11 library. The signing time is the last commit's, or
# SOURCE_DATE_EPOCH, so that a signed build is as reproducible as an unsigned
# one.
set(ZUR_SIGN_PFX "" CACHE FILEPATH "PKCS#12 file to sign the shipped programs with (empty: unsigned)")
set(ZUR_SIGN_PKCS11_MODULE "" CACHE FILEPATH "PKCS#11 library that reaches the signing key (empty: no token)")
set(ZUR_SIGN_KEY "" CACHE STRING "pkcs11: URI of the signing key in the token")
set(ZUR_SIGN_CERT "" CACHE STRING "The signing certificate: a PEM file of the chain, or a pkcs11: URI in the token")
set(ZUR_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server for the signatures (empty: none)")
set(ZUR_SIGNER "")
if(ZUR_SIGN_PFX AND ZUR_SIGN_PKCS11_MODULE)
  message(FATAL_ERROR "Name one signer: ZUR_SIGN_PFX or ZUR_SIGN_PKCS11_MODULE, not both")
elseif(ZUR_SIGN_PFX)
  set(ZUR_SIGNER "${ZUR_SIGN_PFX}")
elseif(ZUR_SIGN_PKCS11_MODULE)
  if(NOT ZUR_SIGN_KEY OR NOT ZUR_SIGN_CERT)
    message(FATAL_ERROR "Signing with ZUR_SIGN_PKCS11_MODULE needs ZUR_SIGN_KEY and ZUR_SIGN_CERT")
  endif()
  # A URI's ';' would split the signing command's arguments.
  string(REPLACE ";" "$<SEMICOLON>" key "${ZUR_SIGN_KEY}")
  string(REPLACE ";" "$<SEMICOLON>" cert "${ZUR_SIGN_CERT}")
  set(ZUR_SIGNER --pkcs11 "${ZUR_SIGN_PKCS11_MODULE}" "${key}" "${cert}")
endif()
set(ZUR_SIGN_TIME "")
if(ZUR_SIGNER)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ZUR_SIGN_TIME "$ENV{SOURCE_DATE_EPOCH}")
  else()
    execute_process(COMMAND git -C "${PROJECT_SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE ZUR_SIGN_TIME OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT ZUR_SIGN_TIME MATCHES "^[0-9]+$")
    message(FATAL_ERROR "Signing needs a signing time: set SOURCE_DATE_EPOCH, or build from a git checkout")
  endif()
endif()
