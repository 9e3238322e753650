# Hardened binaries in every build, whether a distribution's build flags come
# along or not: position-independent executables, stack protection (canaries,
# and stack clash and control-flow protection where the compiler has them),
# checked libc calls where the compiler can see buffer sizes, and relocations
# that are resolved at start-up and then made read-only.
#
# Flags a distribution already passes (Debian's dpkg-buildflags put
# -D_FORTIFY_SOURCE=2 into CPPFLAGS, for one) are left as they are.

include(CheckPIESupported)
include(CheckCXXCompilerFlag)

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
check_pie_supported(OUTPUT_VARIABLE _sesame_pi_pie_message LANGUAGES CXX)
if(NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
    message(WARNING "The linker cannot make position-independent executables: ${_sesame_pi_pie_message}")
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    foreach(_flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
        string(MAKE_C_IDENTIFIER "SESAME_PI_HAS${_flag}" _var)
        check_cxx_compiler_flag(${_flag} ${_var})
        if(${_var})
            add_compile_options(${_flag})
        endif()
    endforeach()

    # _FORTIFY_SOURCE needs the optimiser (glibc warns about it otherwise, an
    # error under -Werror), so Debug builds go without. The sanitizers check
    # the same calls more thoroughly and do not mix well with it. Level 3 also
    # checks writes into buffers whose size is only known at run time (GCC 12,
    # glibc 2.34); older ones treat it as level 2. A compiler that defines it
    # by default gets it undefined first, so that ours is not a redefinition.
    string(TOUPPER "${CMAKE_BUILD_TYPE}" _sesame_pi_build_type)
    if(NOT "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${_sesame_pi_build_type}}" MATCHES "_FORTIFY_SOURCE"
        AND NOT SESAME_PI_SANITIZE)
        set(_optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
        add_compile_options($<${_optimised}:-U_FORTIFY_SOURCE> $<${_optimised}:-D_FORTIFY_SOURCE=3>)
    endif()

    if(NOT APPLE AND NOT WIN32)
        add_link_options(LINKER:-z,relro LINKER:-z,now)
    endif()
endif()
