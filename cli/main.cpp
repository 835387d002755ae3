#include "clicommand.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessaly-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSALY_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunCliCommand(QCoreApplication::arguments(), out, err);
}
