#include "clicommand.h"
#include "filenamecodec.h"
#include "metadatareaders.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessaly-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSALY_VERSION));
    // Taken from argv as file names are read, so that a path or a text that is not
    // UTF-8 (a Latin-1 byte to find) arrives whole.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(decodeFileName(argv[i]));
    installMetadataReader();
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runCliCommand(arguments, out, err);
}
