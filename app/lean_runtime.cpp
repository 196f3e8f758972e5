// The C++ library's error paths, without what they drag in. Its own versions
// build std::logic_error and friends on a second, copy-on-write string
// implementation and print a demangled type name on std::terminate; together
// that is about 135 KB, nearly half of the stripped program as it was. Linked
// into the programs only, never into the tests.
//
// Every one of these is "a text too long or an index out of range": the
// program never shows an exception's message and catches them only to give
// the repair button back, so each is thrown as the out-of-memory it stands
// for.
#include <cstdlib>
#include <new>

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw bad_alloc(); }
void __throw_out_of_range_fmt(const char*, ...) { throw bad_alloc(); }

}  // namespace std

namespace __gnu_cxx {

// A window program has no standard error to print the exception's name on.
void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
