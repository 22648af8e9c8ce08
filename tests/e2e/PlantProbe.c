/* The planting test's control: a program that loads each DLL named on its command
   line the careless way (LoadLibraryW by bare name, default search order), so the
   planted copies beside it are shown to be loadable at all. Exit code: how many
   could not be loaded. */
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    int missing = 0;
    for (int i = 1; i < argc; ++i) {
        if (!LoadLibraryW(argv[i])) ++missing;
    }
    return missing;
}
