# Warnings and sanitizer switches shared by every target of the project.

function(qb_target_defaults target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers)
  endif()
endfunction()

# Windows 7 is the oldest system the Windows build runs on; every call to
# the system names its wide-character form.
if(WIN32)
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
endif()

set(QB_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address,undefined")
if(QB_SANITIZE)
  add_compile_options(-fsanitize=${QB_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${QB_SANITIZE})
endif()

# Fuzz builds instrument every library for coverage; the fuzz targets add
# libFuzzer's own main.
if(QB_BUILD_FUZZERS)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
