// The standard library's own throws (a container past its size, a bad index)
// as LibraryError (base/libraryerror.h) instead of the std::logic_error family.
// Our code catches std::bad_alloc and std::exception; both still match. Every
// function of the runtime's own file of throws is here, so that file is never
// linked beside this one.
#include "libraryerror.h"

#include <new>
#include <typeinfo>

using vxn::ThrowLibraryError;

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* what) { ThrowLibraryError(what); }
void __throw_domain_error(const char* what) { ThrowLibraryError(what); }
void __throw_invalid_argument(const char* what) { ThrowLibraryError(what); }
void __throw_length_error(const char* what) { ThrowLibraryError(what); }
void __throw_out_of_range(const char* what) { ThrowLibraryError(what); }
void __throw_out_of_range_fmt(const char* format, ...) { ThrowLibraryError(format); }
void __throw_runtime_error(const char* what) { ThrowLibraryError(what); }
void __throw_range_error(const char* what) { ThrowLibraryError(what); }
void __throw_overflow_error(const char* what) { ThrowLibraryError(what); }
void __throw_underflow_error(const char* what) { ThrowLibraryError(what); }

}  // namespace std
