// Included into every unit of the stub's own build (-include, cmake/Windows.cmake).
//
// libstdc++ declares std::string's members as instantiated in the library, so every call
// goes to its string-inst object, and the Windows linker keeps that object's unwinding
// tables whole, for every member, whatever the stub calls (14 KB in the 32-bit stub).
// With the declaration lifted for basic_string alone (the library's own -1 setting),
// the members the stub calls are compiled into it with the rest of its code, and the
// linker keeps only those.
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
