// Stands in for a program that the unit or its media carries but that is not
// built here: it says which file it was started as, with which arguments, and
// ends. Its output goes to the debug output too, for runs without a console.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self - 1);
    char line[MAX_PATH + 128];
    int used = std::snprintf(line, sizeof line, "placeholder program %s started", self);
    for (int i = 1; i < argc && used > 0 && used < static_cast<int>(sizeof line); ++i)
        used += std::snprintf(line + used, sizeof line - used, " %s", argv[i]);
    std::printf("%s\n", line);
    OutputDebugStringA(line);
    return 0;
}
