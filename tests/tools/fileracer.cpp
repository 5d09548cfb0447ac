// Races another process for a file, as a local user would, until the named event is set; the exit code is the
// number of changes made (so the test knows the race really ran).
//   fileracer links <place> <planted> <event>     a second name of <planted> appears at <place> and goes again
//   fileracer versions <place> <a> <b> <event>    <place> becomes a copy of <a>, then of <b>, each by one rename
//   fileracer leaf <place> <event>                 the folder at <place> is renamed away and a folder of the
//                                                  racer's own, holding the file "racer.mark", is renamed in
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A folder of the racer's own, complete with its mark before it is renamed into place.
bool stageOwnFolder(const std::string& staged) {
    CreateDirectoryA(staged.c_str(), nullptr);
    HANDLE mark = CreateFileA((staged + "\\racer.mark").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark == INVALID_HANDLE_VALUE) return false;
    CloseHandle(mark);
    return true;
}

// One round of the leaf swap: the folder in place (unless it is the racer's) goes away under a new name, and the
// racer's own takes the name. The number of renames that succeeded.
int swapLeaf(const std::string& place, const std::string& staged, int round) {
    int changes = 0;
    if (GetFileAttributesA((place + "\\racer.mark").c_str()) == INVALID_FILE_ATTRIBUTES &&
        MoveFileA(place.c_str(), (place + ".taken" + std::to_string(round)).c_str()))
        ++changes;
    if (GetFileAttributesA(staged.c_str()) == INVALID_FILE_ATTRIBUTES && !stageOwnFolder(staged)) return changes;
    if (MoveFileA(staged.c_str(), place.c_str())) ++changes;
    return changes;
}

}  // namespace

int main(int argc, char** argv) {
    const bool links = argc == 5 && std::strcmp(argv[1], "links") == 0;
    const bool versions = argc == 6 && std::strcmp(argv[1], "versions") == 0;
    const bool leaf = argc == 4 && std::strcmp(argv[1], "leaf") == 0;
    if (!links && !versions && !leaf) {
        std::fputs("usage: fileracer links <place> <planted> <event> | versions <place> <a> <b> <event> | "
                   "leaf <place> <event>\n",
                   stderr);
        return -1;
    }
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, argv[argc - 1]);
    if (!stop) return -1;
    const std::string place = argv[2];
    const std::string staged = place + ".racer";
    int changes = 0;
    for (int round = 0; WaitForSingleObject(stop, 0) == WAIT_TIMEOUT; ++round) {
        if (leaf) {
            changes += swapLeaf(place, staged, round);
        } else if (links) {
            if (CreateHardLinkA(place.c_str(), argv[3], nullptr)) ++changes;
            if (DeleteFileA(place.c_str())) ++changes;
        } else {
            const char* version = argv[3 + round % 2];
            if (CopyFileA(version, staged.c_str(), FALSE) &&
                MoveFileExA(staged.c_str(), place.c_str(), MOVEFILE_REPLACE_EXISTING))
                ++changes;
        }
    }
    if (leaf) {
        DeleteFileA((staged + "\\racer.mark").c_str());
        RemoveDirectoryA(staged.c_str());
    } else {
        DeleteFileA(staged.c_str());
    }
    return changes;
}
