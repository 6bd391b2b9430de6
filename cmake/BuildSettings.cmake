# One interface target carries the language level, warnings and the optional checks, so every
# module links the same settings and nothing repeats compiler flags.
option(TARNWICK_WERROR "Treat compiler warnings as errors" OFF)
# OFF builds everything but the Qt parts (the application's views, its start-up, the Qt glue) and
# their tests, so a core that includes Qt by mistake fails to build. A folder of Qt code begins its
# CMakeLists.txt with `tarnwick_gui_only()`; a Qt test passes QT to tarnwick_add_test.
option(TARNWICK_GUI "Build the Qt application and its tests" ON)
macro(tarnwick_gui_only)
    if(NOT TARNWICK_GUI)
        return()
    endif()
endmacro()
# ON (or "address") adds AddressSanitizer and UndefinedBehaviorSanitizer; "thread" adds
# ThreadSanitizer, which cannot be combined with them, so it gets a build of its own.
set(TARNWICK_SANITIZE OFF CACHE STRING "Sanitizers to build with: OFF, ON (address and undefined) or thread")
set_property(CACHE TARNWICK_SANITIZE PROPERTY STRINGS OFF ON address thread)
string(TOLOWER "${TARNWICK_SANITIZE}" _tarnwick_sanitize)
if(_tarnwick_sanitize STREQUAL "thread")
    set(TARNWICK_SANITIZE_FLAGS -fsanitize=thread)
elseif(_tarnwick_sanitize MATCHES "^(on|yes|true|1|address)$")
    set(TARNWICK_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined)
elseif(_tarnwick_sanitize MATCHES "^(off|no|false|0|)$")
    set(TARNWICK_SANITIZE_FLAGS)
else()
    message(FATAL_ERROR "TARNWICK_SANITIZE is OFF, ON, address or thread, not \"${TARNWICK_SANITIZE}\"")
endif()

# Build speed, for CI and the scripts, which build the whole tree several times over; none of these
# changes what a program does.
# Unity builds compile a target's sources a batch at a time, so the headers they share (the standard
# library, Qt, GoogleTest) are parsed once per batch instead of once per file. A source that cannot
# share its batch (a name of its own at file scope that another source of the target also uses, a
# macro that leaks) is listed in its target's folder with tarnwick_compile_alone.
option(TARNWICK_UNITY "Compile each target's sources in batches (unity builds)" OFF)
if(TARNWICK_UNITY)
    set(CMAKE_UNITY_BUILD ON)
    if(NOT DEFINED CMAKE_UNITY_BUILD_BATCH_SIZE)
        set(CMAKE_UNITY_BUILD_BATCH_SIZE 16)
    endif()
endif()
# tarnwick_compile_alone(<sources...>): keeps these sources of the current folder's targets out of
# the unity batches.
function(tarnwick_compile_alone)
    set_source_files_properties(${ARGN} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
endfunction()
# Line tables and function names only (-g1): stacks and sanitizer reports still name functions,
# files and lines, and the objects and links are a fraction of the size. Not for debugging sessions.
option(TARNWICK_LINE_TABLES_ONLY "Keep only line tables as debug information (-g1)" OFF)
# mold links the large test programs in a fraction of ld's time; without it the default linker is
# used.
option(TARNWICK_MOLD "Link with mold where it is installed" OFF)
if(TARNWICK_MOLD)
    find_program(TARNWICK_MOLD_PROGRAM mold)
endif()

add_library(tarnwick_build_settings INTERFACE)
target_compile_features(tarnwick_build_settings INTERFACE cxx_std_20)
target_compile_options(tarnwick_build_settings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wcast-qual
    # Third-party headers come in as system headers, so only our own casts are held to this.
    $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>
    $<$<BOOL:${TARNWICK_WERROR}>:-Werror>
    # GCC 12 reports std::string concatenation at -O3 as overlapping copies (GCC bug 105329).
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)
# Qt converts between const char* and QString through Latin-1 or UTF-8 behind the reader's back,
# and a connect may silently narrow an argument; these make every such step spelled out. They only
# change what Qt's headers declare, so the core, which never includes Qt, is untouched by them.
target_compile_definitions(tarnwick_build_settings INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

# Hardening, for the programs that run as root above all (the extension and the privileged
# helpers) and everything they link: read-only relocations bound at start, position-independent
# executables, and glibc's checked string and memory functions wherever the compiler optimises
# (they need it, and a Debug build would only warn).
# (CMAKE_POSITION_INDEPENDENT_CODE is on at the top.)
include(CheckPIESupported)
check_pie_supported()
target_compile_definitions(tarnwick_build_settings INTERFACE
    $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
target_link_options(tarnwick_build_settings INTERFACE -Wl,-z,relro -Wl,-z,now)
if(TARNWICK_LINE_TABLES_ONLY)
    target_compile_options(tarnwick_build_settings INTERFACE -g1)
endif()
if(TARNWICK_MOLD AND TARNWICK_MOLD_PROGRAM)
    target_link_options(tarnwick_build_settings INTERFACE -fuse-ld=mold)
endif()

# Coverage for libFuzzer on every module, so the fuzz targets under fuzz/ see into the parsers.
# Needs a clang with std::source_location (15 or later); scripts/fuzz builds with clang++-15.
option(TARNWICK_FUZZ "Build the libFuzzer targets under fuzz/ (clang only)" OFF)
if(TARNWICK_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TARNWICK_FUZZ needs clang (scripts/fuzz uses clang++-15)")
    endif()
    target_compile_options(tarnwick_build_settings INTERFACE -fsanitize=fuzzer-no-link)
endif()

if(TARNWICK_SANITIZE_FLAGS)
    target_compile_options(tarnwick_build_settings INTERFACE
        ${TARNWICK_SANITIZE_FLAGS} -fno-omit-frame-pointer)
    target_link_options(tarnwick_build_settings INTERFACE ${TARNWICK_SANITIZE_FLAGS})
endif()

# Adds every immediate subfolder that has a CMakeLists.txt, so a new module only needs its own.
macro(tarnwick_add_subdirectories)
    file(GLOB _tarnwick_children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}"
        "${CMAKE_CURRENT_SOURCE_DIR}/*")
    list(SORT _tarnwick_children)
    foreach(_tarnwick_child IN LISTS _tarnwick_children)
        if(IS_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/${_tarnwick_child}"
           AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${_tarnwick_child}/CMakeLists.txt")
            add_subdirectory(${_tarnwick_child})
        endif()
    endforeach()
endmacro()
