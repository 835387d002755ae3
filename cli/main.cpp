#include "cli/clicommand.h"
#include "engine/filenamecodec.h"
#include "metadata/metadatareaders.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char *argv[])
{
#ifdef __GLIBC__
    // Large arrays come and go between the stages of a long batch (listing, order,
    // plan): kept in the heap, the next stage reuses their pages instead of asking the
    // system for fresh ones, page by page. The process is short-lived.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessaly-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSALY_VERSION));
    // Taken from argv as file names are read, so that a path or a text that is not
    // UTF-8 (a Latin-1 byte to find) arrives whole.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(decodeFileName(argv[i]));
    installMetadataReader();
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    QTextStream err(stderr);
    return runCliCommand(arguments, out, err, ::isatty(STDOUT_FILENO) == 1);
}
