# QM_FUZZ: everything compiled with the coverage instrumentation of libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzz programs of tests/fuzz added.
# It needs clang and a build folder of its own (`make fuzz` uses build-fuzz).
option(QM_FUZZ "build the libFuzzer programs (clang)" OFF)
if(QM_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QM_FUZZ needs clang: -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
