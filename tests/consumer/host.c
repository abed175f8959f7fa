/* A minimal host built against an installed mvfiles, the way a consumer
 * project would: it reads the files of one title from the installed corpus,
 * named on the command line (pkg-config --variable=fixturesdir mvfiles) or,
 * built through the CMake package, by MVFILES_FIXTURES_DIR. */
#include <stdio.h>

#include "mvfiles.h"

#ifndef HOST_FIXTURES_DIR
#define HOST_FIXTURES_DIR NULL
#endif

int main(int argc, char **argv) {
    const char *corpus = argc == 2 ? argv[1] : HOST_FIXTURES_DIR;
    if (argc > 2 || !corpus) {
        fprintf(stderr, "usage: host CORPUS-DIR\n");
        return 64;
    }
    mvfiles_fake_corpus(corpus);
    mvfiles_use_fake();
    mvfiles_result r = mvfiles_get_by_imdb("tt4154796", -1, -1);
    if (r != MVFILES_OK) {
        fprintf(stderr, "host: %s (result %d)\n", mvfiles_last_error(), (int)r);
        return 1;
    }
    printf("mvfiles %s: %d files, first %s\n", mvfiles_version(), (int)mvfiles_count(),
           mvfiles_key(0));
    mvfiles_shutdown();
    return 0;
}
