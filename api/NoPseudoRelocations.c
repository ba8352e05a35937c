// The runtime's start-up code applies pseudo-relocations (data a module takes
// from another DLL at an offset the loader cannot fix) before DllMain, and the
// runtime's own relocator would link VirtualProtect and VirtualQuery into the
// DLL for that.  CorvaneVMD.dll is linked with --disable-auto-import and
// --disable-runtime-pseudo-reloc, so the linker refuses any such import and the
// list it writes stays empty; this relocator, taken in place of the runtime's,
// has nothing to apply.  Should the list ever hold an entry, loading stops here
// rather than running with unfixed data.

extern char __RUNTIME_PSEUDO_RELOC_LIST__;
extern char __RUNTIME_PSEUDO_RELOC_LIST_END__;

void _pei386_runtime_relocator(void);

void _pei386_runtime_relocator(void) {
    if (&__RUNTIME_PSEUDO_RELOC_LIST__ != &__RUNTIME_PSEUDO_RELOC_LIST_END__) __builtin_trap();
}
