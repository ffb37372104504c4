# libFuzzer targets on the core library: one program per fuzz/fuzz_*.cpp.
# Off by default; with KWN_FUZZ ON they are built only by clang, which ships the
# libFuzzer runtime. Run them with bench/fuzz.sh.
option(KWN_FUZZ "Build the libFuzzer targets of the core library (clang only)" OFF)

if(KWN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(WARNING "KWN_FUZZ needs clang (libFuzzer); the fuzz targets are not built")
  else()
    # The core library gets coverage instrumentation and the sanitizers, so the
    # fuzzer is guided through it and catches memory faults and undefined
    # behaviour inside it, not only in the target's own code. This file is read
    # after kwncore exists, so its options are set on the target itself; every
    # program that links kwncore then needs the sanitizer runtimes as well.
    set(KWN_FUZZ_SANITIZERS address,undefined)
    target_compile_options(kwncore PRIVATE
      -fsanitize=fuzzer-no-link,${KWN_FUZZ_SANITIZERS}
      -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
    target_link_options(kwncore INTERFACE -fsanitize=${KWN_FUZZ_SANITIZERS})

    file(GLOB KWN_FUZZ_SOURCES CONFIGURE_DEPENDS
      ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/fuzz_*.cpp)
    foreach(source ${KWN_FUZZ_SOURCES})
      get_filename_component(name ${source} NAME_WE)
      add_executable(${name} ${source} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/fuzzchecks.h)
      target_compile_definitions(${name} PRIVATE KWN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
      target_compile_options(${name} PRIVATE
        -fsanitize=fuzzer,${KWN_FUZZ_SANITIZERS}
        -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
      target_link_options(${name} PRIVATE -fsanitize=fuzzer,${KWN_FUZZ_SANITIZERS})
      target_link_libraries(${name} PRIVATE kwncore)
    endforeach()
  endif()
endif()
