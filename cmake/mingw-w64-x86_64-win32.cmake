# Cross-compiling the shipped CorvaneVMD.dll for 64-bit Windows with mingw-w64's
# win32 thread model: its runtime takes locks and one-time initialisations from
# Windows itself, so no winpthreads (and none of the imports and the TLS callback
# that come with it) is linked into the host's process.  The tools and the tests
# keep the posix model (mingw-w64-x86_64.cmake); the two never meet in one binary.
set(CORVANE_MINGW_THREAD_MODEL win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)
