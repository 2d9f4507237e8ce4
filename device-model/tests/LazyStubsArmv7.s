@ An armv7 dylib whose imports go through lazy stubs in the layout of Apple's linker: PIC stubs in
@ __TEXT,__picsymbolstub4 (16 bytes each), a __stub_helper of a 36-byte common part and 12-byte
@ entries, lazy pointers in __DATA,__la_symbol_ptr starting at their helper entries (rebased), the
@ image cache slot in __DATA,__data, dyld_stub_binder bound at load through __nl_symbol_ptr, and
@ the lazy-bind stream of LC_DYLD_INFO_ONLY. The whole file is this one assembly: assembled for a
@ bare ARM target and written out flat (llvm-objcopy -O binary), so that every address below is the
@ label's offset from the file's start and every PC-relative word is computed by the assembler.
@ No indirect symbol table: the device model does not read one.
@
@ _probe (Thumb, called by the tests): objc_getClass("NSObject") twice, then
@ class_getInstanceVariable(that class, "isa"), then returns sel_registerName("description").

        .syntax unified
        .text
        .arm
base:
        @ mach_header: MH_MAGIC, CPU_TYPE_ARM, CPU_SUBTYPE_ARM_V7, MH_DYLIB, ncmds, sizeofcmds,
        @ MH_NOUNDEFS | MH_DYLDLINK | MH_TWOLEVEL
        .long 0xfeedface, 12, 9, 6, 8, commands_end - commands, 0x85
commands:
        @ LC_SEGMENT __TEXT: the header, the code, the stubs, the helper and the strings
text_segment:
        .long 0x1, text_segment_end - text_segment
        .ascii "__TEXT"
        .space 10
        .long 0, 0x1000, 0, 0x1000, 5, 5, 4, 0
        .ascii "__text"
        .space 10
        .ascii "__TEXT"
        .space 10
        .long text - base, stubs - text, text - base, 2, 0, 0, 0x80000400, 0, 0
        .ascii "__picsymbolstub4"
        .ascii "__TEXT"
        .space 10
        .long stubs - base, helper - stubs, stubs - base, 2, 0, 0, 0x80000408, 0, 16
        .ascii "__stub_helper"
        .space 3
        .ascii "__TEXT"
        .space 10
        .long helper - base, strings - helper, helper - base, 2, 0, 0, 0x80000400, 0, 0
        .ascii "__cstring"
        .space 7
        .ascii "__TEXT"
        .space 10
        .long strings - base, strings_end - strings, strings - base, 0, 0, 0, 0x2, 0, 0
text_segment_end:
        @ LC_SEGMENT __DATA: the non-lazy pointer, the lazy pointers, the image cache slot
data_segment:
        .long 0x1, data_segment_end - data_segment
        .ascii "__DATA"
        .space 10
        .long data - base, 0x1000, data - base, 0x1000, 3, 3, 3, 0
        .ascii "__nl_symbol_ptr"
        .space 1
        .ascii "__DATA"
        .space 10
        .long nonlazy - base, lazy_pointers - nonlazy, nonlazy - base, 2, 0, 0, 0x6, 0, 0
        .ascii "__la_symbol_ptr"
        .space 1
        .ascii "__DATA"
        .space 10
        .long lazy_pointers - base, image_cache - lazy_pointers, lazy_pointers - base, 2, 0, 0, 0x7, 1, 0
        .ascii "__data"
        .space 10
        .ascii "__DATA"
        .space 10
        .long image_cache - base, data_end - image_cache, image_cache - base, 2, 0, 0, 0, 0, 0
data_segment_end:
        @ LC_SEGMENT __LINKEDIT
        .long 0x1, 56
        .ascii "__LINKEDIT"
        .space 6
        .long linkedit - base, 0x1000, linkedit - base, end - linkedit, 1, 1, 0, 0
        @ LC_ID_DYLIB, LC_LOAD_DYLIB libobjc (ordinal 1), LC_LOAD_DYLIB libSystem (ordinal 2)
id_command:
        .long 0xd, id_end - id_command
        .long 24, 2, 0x10000, 0x10000
        .asciz "/usr/lib/liblazystubs.dylib"
        .p2align 2
id_end:
objc_command:
        .long 0xc, objc_end - objc_command
        .long 24, 2, 0xe40000, 0x10000
        .asciz "/usr/lib/libobjc.A.dylib"
        .p2align 2
objc_end:
system_command:
        .long 0xc, system_end - system_command
        .long 24, 2, 0x4c00000, 0x10000
        .asciz "/usr/lib/libSystem.B.dylib"
        .p2align 2
system_end:
        @ LC_DYLD_INFO_ONLY: rebase, bind, weak bind, lazy bind, export
        .long 0x80000022, 48
        .long rebase - base, bind - rebase, bind - base, lazy_bind - bind, 0, 0
        .long lazy_bind - base, symtab - lazy_bind, 0, 0
        @ LC_SYMTAB
        .long 0x2, 24, symtab - base, 1, strtab - base, end - strtab
commands_end:

        .p2align 4
        @ (A Thumb function's label carries the Thumb bit in expressions: the section and the symbol
        @ table use the plain label before it.)
text:
        .thumb
        .thumb_func
probe:
        push {r4, r7, lr}
        add r7, sp, #4
        adr.w r0, name_class
        blx stub_get_class           @ the first call runs the helper
        adr.w r0, name_class
        blx stub_get_class           @ the second goes straight through the bound pointer
        mov r4, r0
        adr.w r1, name_ivar
        mov r0, r4
        blx stub_get_ivar            @ two argument registers through the helper
        adr.w r0, name_selector
        blx stub_register_name
        pop {r4, r7, pc}

        @ __picsymbolstub4: ip = the lazy pointer's address, then jump through it
        .arm
        .p2align 2
stubs:
stub_get_class:
        ldr ip, [pc, #4]
        add ip, pc, ip
        ldr pc, [ip]
        .long lazy_get_class - (stub_get_class + 12)
stub_get_ivar:
        ldr ip, [pc, #4]
        add ip, pc, ip
        ldr pc, [ip]
        .long lazy_get_ivar - (stub_get_ivar + 12)
stub_register_name:
        ldr ip, [pc, #4]
        add ip, pc, ip
        ldr pc, [ip]
        .long lazy_register_name - (stub_register_name + 12)

        @ __stub_helper: the common part pushes the lazy-bind offset (in ip) and the image cache
        @ slot's address, then jumps to dyld_stub_binder through its non-lazy pointer
helper:
        str ip, [sp, #-4]!
        ldr ip, [pc, #16]
        add ip, pc, ip
        str ip, [sp, #-4]!
        ldr ip, [pc, #8]
        add ip, pc, ip
        ldr pc, [ip]
        .long image_cache - (helper + 16)
        .long nonlazy - (helper + 28)
        @ one entry per import: ip = its offset in the lazy-bind stream
helper_get_class:
        ldr ip, [pc]
        b helper
        .long lazy_bind_get_class - lazy_bind
helper_get_ivar:
        ldr ip, [pc]
        b helper
        .long lazy_bind_get_ivar - lazy_bind
helper_register_name:
        ldr ip, [pc]
        b helper
        .long lazy_bind_register_name - lazy_bind

strings:
name_class:
        .asciz "NSObject"
name_ivar:
        .asciz "isa"
name_selector:
        .asciz "description"
strings_end:

        .p2align 12
data:
nonlazy:
        .long 0                                 @ dyld_stub_binder, bound at load
lazy_pointers:
lazy_get_class:
        .long helper_get_class - base
lazy_get_ivar:
        .long helper_get_ivar - base
lazy_register_name:
        .long helper_register_name - base
image_cache:
        .long 0
data_end:

        .p2align 12
linkedit:
rebase:
        .byte 0x11                              @ SET_TYPE_IMM pointer
        .byte 0x21                              @ SET_SEGMENT_AND_OFFSET_ULEB segment 1
        .uleb128 lazy_pointers - data
        .byte 0x53                              @ DO_REBASE_IMM_TIMES 3
        .byte 0x00
        .p2align 2
bind:
        .byte 0x12                              @ SET_DYLIB_ORDINAL_IMM 2
        .byte 0x40                              @ SET_SYMBOL_TRAILING_FLAGS_IMM
        .asciz "dyld_stub_binder"
        .byte 0x51                              @ SET_TYPE_IMM pointer
        .byte 0x71                              @ SET_SEGMENT_AND_OFFSET_ULEB segment 1
        .uleb128 nonlazy - data
        .byte 0x90                              @ DO_BIND
        .byte 0x00
        .p2align 2
        @ Each entry: segment and offset, ordinal, symbol, DO_BIND, DONE.
lazy_bind:
lazy_bind_get_class:
        .byte 0x71
        .uleb128 lazy_get_class - data
        .byte 0x11
        .byte 0x40
        .asciz "_objc_getClass"
        .byte 0x90, 0x00
lazy_bind_get_ivar:
        .byte 0x71
        .uleb128 lazy_get_ivar - data
        .byte 0x11
        .byte 0x40
        .asciz "_class_getInstanceVariable"
        .byte 0x90, 0x00
lazy_bind_register_name:
        .byte 0x71
        .uleb128 lazy_register_name - data
        .byte 0x11
        .byte 0x40
        .asciz "_sel_registerName"
        .byte 0x90, 0x00
        .p2align 2
symtab:
        @ _probe: N_SECT | N_EXT in section 1, N_ARM_THUMB_DEF
        .long probe_name - strtab
        .byte 0x0f, 1
        .short 0x0008
        .long text - base
strtab:
        .byte 0x20, 0
probe_name:
        .asciz "_probe"
        .p2align 2
end:
