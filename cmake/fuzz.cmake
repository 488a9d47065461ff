# libFuzzer targets. They are built only in a tree configured with -DQV_FUZZ=ON and clang, where
# everything is compiled with AddressSanitizer and UndefinedBehaviorSanitizer; bench/fuzz makes
# such a tree and runs every target. A subsystem adds one with
#
#   qv_fuzz_target(NAME fuzz_thing SOURCES thing_fuzz.cpp LIBRARIES some_lib
#                  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/thing)
#
# where the source defines LLVMFuzzerTestOneInput and CORPUS holds the seed inputs.
option(QV_FUZZ "Build the libFuzzer targets (clang only)" OFF)

if(QV_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "QV_FUZZ needs clang (CC=clang CXX=clang++)")
    endif()
    add_compile_options(-fsanitize=address,undefined -fsanitize=fuzzer-no-link
                        -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
    add_custom_target(qv_fuzz)
endif()

function(qv_fuzz_target)
    cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBRARIES" ${ARGN})
    if(NOT QV_FUZZ)
        return()
    endif()
    add_executable(${F_NAME} ${F_SOURCES})
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBRARIES})
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    add_dependencies(qv_fuzz ${F_NAME})
    set_property(GLOBAL APPEND PROPERTY QV_FUZZ_TARGETS "${F_NAME} ${F_CORPUS}")
endfunction()

# Writes fuzz/targets.txt in the build tree, one "name corpus" line per target, for bench/fuzz.
function(qv_fuzz_write_list)
    if(NOT QV_FUZZ)
        return()
    endif()
    get_property(targets GLOBAL PROPERTY QV_FUZZ_TARGETS)
    list(JOIN targets "\n" lines)
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz/targets.txt "${lines}\n")
endfunction()
