// Writes the sample model file that `make run` opens.
#include <cstdio>

#include "app/sample/SampleTextures.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: tavrel-make-sample OUTPUT.nif\n");
        return 2;
    }
    if (!WriteModelFile(argv[1], SampleTextures())) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
