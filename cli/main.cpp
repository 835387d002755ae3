#include "clicommand.h"
#include "metadatareaders.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessaly-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSALY_VERSION));
    InstallMetadataReader();
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunCliCommand(QCoreApplication::arguments(), out, err);
}
