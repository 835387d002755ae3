#include "metadata/metadatareaders.h"
#include "shell/startup.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // --help and --version answer in a terminal without a display: before the
    // application object, which would connect to the window system.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (const std::optional<QString> info = programInfoText(arguments)) {
        std::fputs(info->toLocal8Bit().constData(), stdout);
        return 0;
    }

    QApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    installMetadataReader();
    QApplication app(argc, argv);
    return runTessaly(app);
}
