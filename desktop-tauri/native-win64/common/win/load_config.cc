// The image's load configuration (data directory 10, the
// IMAGE_LOAD_CONFIG_DIRECTORY64 of the Windows 10 SDK, 320 bytes) and the
// two Control Flow Guard pointers it names. lld points the directory at
// _load_config_used and fills the __guard_* symbols it refers to.
//
// - DependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32: "the load flags used
//   when the operating system resolves the statically linked imports of a
//   module" (Windows 10 1607 and later; older ones ignore it), so no DLL the
//   programs import, nor one those import, is taken from the program's own
//   folder.
// - SecurityCookie: the stack protector's canary (runtime.cc, which holds the
//   default value the loader replaces; the tests keep libssp's).
// - The guard pointers: every indirect call that clang's Control Flow Guard
//   checks goes through __guard_dispatch_icall_fptr with its target in rax.
//   Where the system enforces the guard (Windows 8.1 Update and later), the
//   loader replaces both pointers with its own checks; elsewhere they jump
//   straight to the target.
//
// Written in assembly: GuardFlags is the 32-bit value of an absolute symbol,
// which a C++ initialiser cannot give without code that runs at start-up.
// Linked into everything zur_win is linked into, as the code it compiles
// refers to the guard pointers.

asm(R"(
    .section .00cfg,"dr"
    .p2align 3
    .globl __guard_check_icall_fptr
__guard_check_icall_fptr:
    .quad zur_guard_check_icall_nop
    .globl __guard_dispatch_icall_fptr
__guard_dispatch_icall_fptr:
    .quad zur_guard_dispatch_icall_nop

    .text
    .p2align 4
zur_guard_check_icall_nop:
    ret
zur_guard_dispatch_icall_nop:
    jmp *%rax

    .section .rdata,"dr"
    .p2align 3
    .globl _load_config_used
_load_config_used:
    .long _load_config_end - _load_config_used  # Size
    .long 0                        # TimeDateStamp
    .short 0, 0                    # MajorVersion, MinorVersion
    .long 0, 0, 0                  # GlobalFlagsClear, GlobalFlagsSet, CriticalSectionDefaultTimeout
    .quad 0, 0, 0, 0, 0, 0         # DeCommitFreeBlockThreshold .. ProcessAffinityMask
    .long 0                        # ProcessHeapFlags
    .short 0                       # CSDVersion
    .short 0x800                   # DependentLoadFlags: LOAD_LIBRARY_SEARCH_SYSTEM32
    .quad 0                        # EditList
    .quad __stack_chk_guard        # SecurityCookie
    .quad 0, 0                     # SEHandlerTable, SEHandlerCount (x86 only)
    .quad __guard_check_icall_fptr
    .quad __guard_dispatch_icall_fptr
    .quad __guard_fids_table
    .quad __guard_fids_count
    .long __guard_flags
    .short 0, 0                    # CodeIntegrity: Flags, Catalog
    .long 0, 0                     # CodeIntegrity: CatalogOffset, Reserved
    .quad __guard_iat_table
    .quad __guard_iat_count
    .quad __guard_longjmp_table
    .quad __guard_longjmp_count
    .quad 0, 0, 0, 0               # DynamicValueRelocTable .. GuardRFFailureRoutineFunctionPointer
    .long 0                        # DynamicValueRelocTableOffset
    .short 0, 0                    # DynamicValueRelocTableSection, Reserved2
    .quad 0                        # GuardRFVerifyStackPointerFunctionPointer
    .long 0, 0                     # HotPatchTableOffset, Reserved3
    .quad 0, 0                     # EnclaveConfigurationPointer, VolatileMetadataPointer
    .quad __guard_eh_cont_table
    .quad __guard_eh_cont_count
    .quad 0, 0, 0, 0, 0            # the XFG pointers, CastGuardOsDeterminedFailureMode, GuardMemcpyFunctionPointer
_load_config_end:
)");
