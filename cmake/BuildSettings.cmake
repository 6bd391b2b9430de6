# One interface target carries the language level, warnings and the optional checks, so every
# module links the same settings and nothing repeats compiler flags.
option(TARNWICK_WERROR "Treat compiler warnings as errors" OFF)
option(TARNWICK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(tarnwick_build_settings INTERFACE)
target_compile_features(tarnwick_build_settings INTERFACE cxx_std_20)
target_compile_options(tarnwick_build_settings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    $<$<BOOL:${TARNWICK_WERROR}>:-Werror>
    # GCC 12 reports std::string concatenation at -O3 as overlapping copies (GCC bug 105329).
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)

if(TARNWICK_SANITIZE)
    target_compile_options(tarnwick_build_settings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(tarnwick_build_settings INTERFACE -fsanitize=address,undefined)
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
