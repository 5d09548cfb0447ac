// Races another process for a file, as a local user would, until the named event is set; the exit code is the
// number of changes made (so the test knows the race really ran).
//   fileracer links <place> <planted> <event>     a second name of <planted> appears at <place> and goes again
//   fileracer versions <place> <a> <b> <event>    <place> becomes a copy of <a>, then of <b>, each by one rename
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    const bool links = argc == 5 && std::strcmp(argv[1], "links") == 0;
    const bool versions = argc == 6 && std::strcmp(argv[1], "versions") == 0;
    if (!links && !versions) {
        std::fputs("usage: fileracer links <place> <planted> <event> | versions <place> <a> <b> <event>\n", stderr);
        return -1;
    }
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, argv[argc - 1]);
    if (!stop) return -1;
    const std::string place = argv[2];
    const std::string staged = place + ".racer";
    int changes = 0;
    for (int round = 0; WaitForSingleObject(stop, 0) == WAIT_TIMEOUT; ++round) {
        if (links) {
            if (CreateHardLinkA(place.c_str(), argv[3], nullptr)) ++changes;
            if (DeleteFileA(place.c_str())) ++changes;
        } else {
            const char* version = argv[3 + round % 2];
            if (CopyFileA(version, staged.c_str(), FALSE) &&
                MoveFileExA(staged.c_str(), place.c_str(), MOVEFILE_REPLACE_EXISTING))
                ++changes;
        }
    }
    DeleteFileA(staged.c_str());
    return changes;
}
