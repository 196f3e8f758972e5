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
#
# And one copy of each function: -Os makes a local clone of a library
# function for each file that calls it with a known argument (-fipa-cp-clone,
# -fipa-sra) and a local body for each constructor it declones
# (-fdeclone-ctor-dtor), which the linker cannot fold; std::string's members
# were in the program up to 31 times. Each function in its own section lets
# --gc-sections drop the unused ones. 227 KB to 218 KB (bench/size.sh).
#
# The Windows programs are then optimized whole at the link (-flto): 218 KB
# to 189 KB. -Oz weighs size above speed where -Os still would not, and a
# 4-byte stack alignment is the one Windows gives a 32-bit program anyway:
# no function realigns its frame for it (260.6 KB to 258.6 KB). The objects also keep their ordinary code (-ffat-lto-objects),
# which the tests that link the same libraries use as before.
#
# A call's arguments are pushed (-mno-accumulate-outgoing-args): a push is
# 1 to 5 bytes where a store to the reserved area is 3 to 8, and a stdcall
# (every Win32 call) then needs no "sub esp" after it. MinGW turns that
# back on for its stack probe (-mstack-arg-probe), which touches the pages of
# a frame of 4 KB or more in order so Windows' guard page grows the stack;
# -fstack-clash-protection probes such frames and alloca page by page in
# the same order, inline. No frame of the programs' own is that large today.
# Without the frame pointer the functions save its push, move and restore
# (-fomit-frame-pointer). 262,144 to 239,104 bytes (docs/performance.md).
# A function called once stays a call (-fno-inline-functions-called-once):
# inlined, its temporaries and registers made its caller's frame and code
# larger (3 KB). No RTTI (-fno-rtti): the type names of every class with a
# vtable and of every lambda in a std::function, and the library's type_info
# code (3.5 KB); std::make_shared would then bring the exception runtime back
# (engine/finders/hosts_file.cpp says why). Data at the alignment its type
# asks (-malign-data=abi): GCC's default gives every array or table of 32
# bytes or more a 32-byte boundary, for a speed nothing here needs
# (.rdata 24,588 to 23,724 bytes). A virtual call stays one call
# (-fno-devirtualize-speculatively): the program has one backend of each
# interface, and a guess at it compared and inlined beside the call.
#
# Every other program that links the libraries (tests, benches) links their
# ordinary code: mixing its own plain objects with optimized ones at the link
# would give the linker two copies of each shared function.
if(WIN32)
  add_link_options(-fno-use-linker-plugin)
endif()

function(qinghe_without_exceptions)
  foreach(target IN LISTS ARGN)
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-asynchronous-unwind-tables
      -fno-declone-ctor-dtor -fno-ipa-cp-clone -fno-ipa-sra -ffunction-sections)
    if(WIN32)
      target_compile_options(${target} PRIVATE -flto -ffat-lto-objects -Oz
                             ${QINGHE_STACK_ALIGNMENT_FLAGS} -mno-accumulate-outgoing-args
                             -mno-stack-arg-probe -fstack-clash-protection -fomit-frame-pointer
                             -fno-inline-functions-called-once -fno-rtti -malign-data=abi
                             -fno-devirtualize-speculatively)
    endif()
  endforeach()
endfunction()

function(qinghe_small_program target)
  # One partition: the link sees every function at once, and folds and
  # inlines across the whole program (1 KB).
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections -flto -flto-partition=one
                      -fuse-linker-plugin)
  if(WIN32)
    target_link_options(${target} PRIVATE
                        -Wl,-T,${PROJECT_SOURCE_DIR}/cmake/drop_unwind_tables.ld
                        -Wl,-T,${PROJECT_SOURCE_DIR}/cmake/one_data_section.ld
                        # No data imported by name alone: app/lean_startup.cpp
                        # patches none at start.
                        -Wl,--disable-auto-import -Wl,--disable-runtime-pseudo-reloc)
  endif()
  if(EXISTS ${QINGHE_WIN32_RUNTIME_DIR}/libstdc++.a)
    target_link_options(${target} PRIVATE -L${QINGHE_WIN32_RUNTIME_DIR})
  endif()
endfunction()
