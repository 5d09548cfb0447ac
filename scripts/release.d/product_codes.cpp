// Prints the product codes a launcher of the given version works with: the 64-bit kit's, then the auto-update
// component's. scripts/release builds it natively from the launcher's own rule to check a kit's database.
#include <cstdio>

#include "products/kit_product_code.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: product_codes <product version>\n", stderr);
        return 2;
    }
    // A 64-bit launcher on x64 Windows, where the kit's x64 database is installed, looks for the 64-bit code.
    std::printf("%s\n%s\n", kitProductCode(argv[1], false).c_str(), kAutoUpdateProductCode);
    return 0;
}
