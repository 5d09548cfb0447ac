/* A program that imports crypt32 the ordinary way: started beside a planted crypt32.dll with the load order
   Windows uses for a library that is not a known one, it runs the planted copy. Shows the planting works. */
#include <windows.h>
#include <wincrypt.h>

int main(void) {
    DWORD length = 0;
    static const BYTE data[] = {1, 2, 3};
    return CryptBinaryToStringA(data, sizeof data, CRYPT_STRING_BASE64, NULL, &length) ? 0 : 1;
}
