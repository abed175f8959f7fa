/* A minimal host built against an installed mvfiles, the way a consumer
 * project would: it reads the files of one title from a fixture corpus. */
#include <stdio.h>

#include "mvfiles.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: host CORPUS-DIR\n");
        return 64;
    }
    mvfiles_fake_corpus(argv[1]);
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
