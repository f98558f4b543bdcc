// makepack: the end-to-end tests' pack maker on the host, until paktool has its pack
// commands. makepack LISTFILE PACK writes a stored pack from a list file (first line the
// base directory, then one name a line, CR LF separated).
#include <cstdio>

#include "pak/pak_make.h"
#include "pak/pak_paths.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: makepack LISTFILE PACK\n");
        return 2;
    }
    SetRootPath(".");
    SetWorkPath("\\");
    PakMake make;
    if (make.Make(argv[1], argv[2], kPakMethodStored) != 1) {
        std::fprintf(stderr, "makepack: could not write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
