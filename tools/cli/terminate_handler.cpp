// What the process does on std::terminate (a C++ failure nothing caught:
// the tool catches nothing, and the library throws nothing across its
// interface). The C++ runtime's default handler prints the failure's type
// name through its demangler; ours says what happened and aborts, so the
// demangler (some 40 KiB of code in every process) is not linked in.
#include <cstdio>
#include <cstdlib>
#include <exception>

#if defined(__GLIBCXX__)
namespace __gnu_cxx {

void __verbose_terminate_handler() {
  std::fputs("pocketmidi: internal error: uncaught C++ exception, aborting\n", stderr);
  std::abort();
}

}  // namespace __gnu_cxx
#endif
