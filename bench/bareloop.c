// The floor for renaming a folder in place, and the folder it works on.
//   bareloop make DIR COUNT      DIR with COUNT one-byte files IMG_000000.jpg ... (the
//                                files DIR held before are removed first)
//   bareloop rename DIR PREFIX   every entry of DIR gets PREFIX before its name
//   bareloop reset DIR PREFIX    names that begin with PREFIX lose it again, so that the
//                                next run finds the folder as made (recreating 100,000
//                                files takes minutes on a slow disk)
// The rename reads the whole folder first, then makes one renameat2 per file that never
// replaces anything: what any tool has to do at least.
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// Empties a folder of files, in the order the folder lists them: far quicker than
// rm -rf, which looks at every entry first.
// Passes again while a pass removed something, in case removing shifted the listing.
static void removeFiles(const char *dir)
{
    for (int removed = 1; removed;) {
        removed = 0;
        DIR *listing = opendir(dir);
        if (!listing)
            return;
        const struct dirent *entry;
        while ((entry = readdir(listing)) != NULL) {
            if (entry->d_type != DT_DIR && unlinkat(dirfd(listing), entry->d_name, 0) == 0)
                removed = 1;
        }
        closedir(listing);
    }
}

static int makeFiles(const char *dir, long count)
{
    removeFiles(dir);
    if (mkdir(dir, 0755) != 0 && errno != EEXIST) {
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

static int resetAll(const char *dir, const char *prefix)
{
    DIR *listing = opendir(dir);
    if (!listing) {
        perror(dir);
        return 1;
    }
    const size_t prefixLength = strlen(prefix);
    size_t used = 0;
    size_t room = 1 << 20;
    char *names = malloc(room);
    const struct dirent *entry;
    while ((entry = readdir(listing)) != NULL) {
        if (strncmp(entry->d_name, prefix, prefixLength) != 0)
            continue;
        const size_t length = strlen(entry->d_name) + 1;
        if (used + length > room) {
            room *= 2;
            names = realloc(names, room);
        }
        memcpy(names + used, entry->d_name, length);
        used += length;
    }
    int failed = 0;
    for (size_t at = 0; at < used; at += strlen(names + at) + 1) {
        if (renameat2(dirfd(listing), names + at, dirfd(listing), names + at + prefixLength,
                      RENAME_NOREPLACE) != 0)
            failed = 1;
    }
    free(names);
    closedir(listing);
    return failed;
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
    if (argc == 4 && strcmp(argv[1], "reset") == 0)
        return resetAll(argv[2], argv[3]);
    fprintf(stderr, "usage: bareloop make DIR COUNT | bareloop rename|reset DIR PREFIX\n");
    return 2;
}
