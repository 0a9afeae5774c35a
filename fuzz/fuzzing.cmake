# The fuzz preset's instrumentation, included by the top-level CMakeLists.txt before the layers
# so that the system's code is built as the fuzz targets are. Every finding stops the run at
# once, so that libFuzzer keeps the input. The integer checks go beyond undefined behaviour
# (unsigned wrap, narrowing and sign-changing conversions); the ignore list names the few
# places where a wrap is the intent.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "libFuzzer needs clang: configure with the fuzz preset")
endif()
set(CALVERA_FUZZ_SANITIZERS address,undefined,integer)
add_compile_options(
  -fsanitize=${CALVERA_FUZZ_SANITIZERS} -fno-sanitize-recover=all
  -fsanitize-ignorelist=${CMAKE_CURRENT_LIST_DIR}/integer_ignorelist.txt
  -fsanitize=fuzzer-no-link -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=${CALVERA_FUZZ_SANITIZERS})
