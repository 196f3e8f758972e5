# qinghe_small_program(TARGET): links a Windows program small
# (bench/size.sh): no symbols, unused sections dropped, and the C++ runtime of
# the compiler's win32-thread variant, whose exception handling needs no
# winpthread (the tests keep the posix one, which GoogleTest needs). The
# objects are the same code either way: nothing in the programs uses the
# standard library's threads.
execute_process(
  COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.a
  OUTPUT_VARIABLE qinghe_posix_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(qinghe_posix_runtime_dir ${qinghe_posix_libstdcxx} DIRECTORY)
string(REGEX REPLACE "-posix$" "-win32" QINGHE_WIN32_RUNTIME_DIR ${qinghe_posix_runtime_dir})

# qinghe_without_exceptions(TARGET...): the programs' code is built without
# exceptions, and with it the unwinder and its tables for every function
# (app/lean_runtime.cpp ends the program where the library would throw). The
# tests, which link the same libraries, keep them for GoogleTest.
function(qinghe_without_exceptions)
  foreach(target IN LISTS ARGN)
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-asynchronous-unwind-tables)
  endforeach()
endfunction()

function(qinghe_small_program target)
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections)
  if(EXISTS ${QINGHE_WIN32_RUNTIME_DIR}/libstdc++.a)
    target_link_options(${target} PRIVATE -L${QINGHE_WIN32_RUNTIME_DIR})
  endif()
endfunction()
