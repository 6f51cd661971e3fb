// The standard library's error paths, for the stub alone. The library's own versions
// throw its standard error classes, whose message strings bring a second string
// implementation (about a seventh of the stub) into every installation file. These throw
// a small std::exception with the same fixed text instead: every handler in the stub
// catches std::exception (or EZLibError), so what is caught and traced stays the same.
#include <exception>
#include <new>

namespace {

class StubLibraryError : public std::exception {
 public:
  explicit StubLibraryError(const char* text) : text_(text ? text : "library error") {}
  const char* what() const noexcept override { return text_; }

 private:
  const char* text_;
};

}  // namespace

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_cast() { throw StubLibraryError("std::bad_cast"); }
void __throw_bad_typeid() { throw StubLibraryError("std::bad_typeid"); }
void __throw_bad_function_call() { throw StubLibraryError("bad_function_call"); }
void __throw_logic_error(const char* text) { throw StubLibraryError(text); }
void __throw_domain_error(const char* text) { throw StubLibraryError(text); }
void __throw_invalid_argument(const char* text) { throw StubLibraryError(text); }
void __throw_length_error(const char* text) { throw StubLibraryError(text); }
void __throw_out_of_range(const char* text) { throw StubLibraryError(text); }
// The format's numbers are left out: formatting them would bring printf back.
void __throw_out_of_range_fmt(const char*, ...) { throw StubLibraryError("position out of range"); }
void __throw_runtime_error(const char* text) { throw StubLibraryError(text); }
void __throw_range_error(const char* text) { throw StubLibraryError(text); }
void __throw_overflow_error(const char* text) { throw StubLibraryError(text); }
void __throw_underflow_error(const char* text) { throw StubLibraryError(text); }
}  // namespace std
