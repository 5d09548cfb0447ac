/* A crypt32.dll as an attacker would put it beside a downloaded installer: when any process loads it, it
   leaves "planted-dll-ran.txt" in its own folder. It exports the entry points a program importing crypt32
   for data protection and Base64 would need, so that such a program starts with it. */
// Declared here with the loose types a stand-in needs, so the system header stays out.
#define NOCRYPT
#include <windows.h>

static void leaveMark(HMODULE self) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    char* slash = strrchr(path, '\\');
    if (!slash || (size_t)(slash - path) + 21 >= MAX_PATH) return;
    strcpy(slash + 1, "planted-dll-ran.txt");
    HANDLE mark = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) leaveMark(self);
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI CryptProtectData(void* a, void* b, void* c, void* d, void* e, DWORD f, void* g) {
    (void)a, (void)b, (void)c, (void)d, (void)e, (void)f, (void)g;
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI CryptUnprotectData(void* a, void* b, void* c, void* d, void* e, DWORD f, void* g) {
    (void)a, (void)b, (void)c, (void)d, (void)e, (void)f, (void)g;
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI CryptBinaryToStringA(const BYTE* a, DWORD b, DWORD c, LPSTR d, DWORD* e) {
    (void)a, (void)b, (void)c, (void)d, (void)e;
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI
    CryptStringToBinaryA(LPCSTR a, DWORD b, DWORD c, BYTE* d, DWORD* e, DWORD* f, DWORD* g) {
    (void)a, (void)b, (void)c, (void)d, (void)e, (void)f, (void)g;
    return FALSE;
}
