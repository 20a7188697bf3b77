# Hardening of every build, as Debian builds its packages: blitview parses
# files that other people send.
#
# _FORTIFY_SOURCE checks sizes only where the compiler optimises, so it is set
# for the optimised build types alone (glibc warns in every file otherwise).
# The sanitizer builds go without it: the sanitizers check every access
# themselves, and they do not intercept the fortified functions that would
# stand in for the plain ones.
# The Windows build is not hardened here. Its archive's program imports the
# system's own DLLs alone, and MinGW-w64's stack protector and fortified
# functions come from libssp, which imports ADVAPI32 to seed its guard; the
# rest is ELF's or is there already: every stack frame over a page is probed
# (___chkstk_ms) whatever the options, RELRO and immediate binding are ELF's,
# the linker marks the image for ASLR (high entropy) and DEP by default, and
# Windows has no use for the branch marks of -fcf-protection.
if(WIN32)
  return()
endif()

set(BLITVIEW_OPTIMISED $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
set(BLITVIEW_FORTIFIED 0)
if(NOT BLITVIEW_SANITIZE)
  set(BLITVIEW_FORTIFIED ${BLITVIEW_OPTIMISED})
  # -U first: some compilers define it already, with another level.
  add_compile_options($<${BLITVIEW_OPTIMISED}:-U_FORTIFY_SOURCE> $<${BLITVIEW_OPTIMISED}:-D_FORTIFY_SOURCE=2>)
endif()
add_compile_options(-fstack-protector-strong)
add_compile_options(-fstack-clash-protection -fcf-protection)
add_link_options(-Wl,-z,relro,-z,now)
# Position-independent executables. The static libraries that the programs
# link are compiled as the programs' own code, -fPIE: under -fPIC a function
# could be replaced by another library's, so calls to it within its own file
# would not be inlined. Shared libraries keep CMake's -fPIC.
set(BLITVIEW_TYPE $<TARGET_PROPERTY:TYPE>)
set(BLITVIEW_SHARED $<OR:$<STREQUAL:${BLITVIEW_TYPE},SHARED_LIBRARY>,$<STREQUAL:${BLITVIEW_TYPE},MODULE_LIBRARY>>)
add_compile_options($<$<NOT:${BLITVIEW_SHARED}>:-fPIE>)
add_link_options($<$<STREQUAL:${BLITVIEW_TYPE},EXECUTABLE>:-pie>)
