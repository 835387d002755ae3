// The floor for renaming a folder in place, and the folder it works on.
//   bareloop make DIR COUNT      DIR with COUNT one-byte files IMG_000000.jpg ...
//   bareloop rename DIR PREFIX   every entry of DIR gets PREFIX before its name
// The rename reads the whole folder first, then makes one renameat2 per file that never
// replaces anything: what any tool has to do at least.
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int makeFiles(const char *dir, long count)
{
    if (mkdir(dir, 0755) != 0) {
        perror(dir);
        return 1;
    }
    const int folder = open(dir, O_RDONLY | O_DIRECTORY);
    if (folder < 0) {
        perror(dir);
        return 1;
    }
    char name[64];
    for (long i = 0; i < count; ++i) {
        snprintf(name, sizeof name, "IMG_%06ld.jpg", i);
        const int fd = openat(folder, name, O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0 || write(fd, "x", 1) != 1) {
            perror(name);
            return 1;
        }
        close(fd);
    }
    close(folder);
    return 0;
}

static int renameAll(const char *dir, const char *prefix)
{
    DIR *listing = opendir(dir);
    if (!listing) {
        perror(dir);
        return 1;
    }
    const int folder = dirfd(listing);
    size_t used = 0;
    size_t room = 1 << 20;
    char *names = malloc(room); // every name with its NUL, one after another
    size_t count = 0;
    const struct dirent *entry;
    while ((entry = readdir(listing)) != NULL) {
        if (entry->d_name[0] == '.' &&
            (entry->d_name[1] == 0 || (entry->d_name[1] == '.' && entry->d_name[2] == 0)))
            continue;
        const size_t length = strlen(entry->d_name) + 1;
        if (used + length > room) {
            room *= 2;
            names = realloc(names, room);
        }
        memcpy(names + used, entry->d_name, length);
        used += length;
        ++count;
    }
    const size_t prefixLength = strlen(prefix);
    char target[4096];
    memcpy(target, prefix, prefixLength);
    int failed = 0;
    for (size_t at = 0; at < used;) {
        const char *name = names + at;
        const size_t length = strlen(name) + 1;
        memcpy(target + prefixLength, name, length);
        if (renameat2(folder, name, folder, target, RENAME_NOREPLACE) != 0)
            failed = 1;
        at += length;
    }
    free(names);
    closedir(listing);
    if (failed)
        fprintf(stderr, "bareloop: some of %zu renames failed\n", count);
    return failed;
}

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "make") == 0)
        return makeFiles(argv[2], atol(argv[3]));
    if (argc == 4 && strcmp(argv[1], "rename") == 0)
        return renameAll(argv[2], argv[3]);
    fprintf(stderr, "usage: bareloop make DIR COUNT | bareloop rename DIR PREFIX\n");
    return 2;
}
