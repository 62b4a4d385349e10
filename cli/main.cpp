#include <cstdio>

#include "system/version.h"

int main() {
    std::printf("%s %s (Build %s)\n", version::kProduct, version::kVersion, version::kBuild);
    return 0;
}
