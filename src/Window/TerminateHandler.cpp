// The installer never prints demangled exception names to a console it does not
// have: replacing the runtime's verbose terminate handler keeps its demangler
// (about 50 KB of code) out of the program.

#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
