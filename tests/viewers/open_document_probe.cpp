// Opens the file named by its one argument with the desktop's application
// for its type, as the "open" verb does, under whatever platform it is
// started with. Exit code: 0 when the desktop's opener took the file,
// 1 when the program had to start the application itself, 2 otherwise.

#include "platform/Platform.h"
#include "viewers/ShellLaunch.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2)
        return 2;
    bool handedOn = false;
    Platform::SetOpenUrlHook([&handedOn](const QString& path) {
        handedOn = QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        return handedOn;
    });
    if (ShellLaunch::OpenDocument(QString::fromLocal8Bit(argv[1])) != ShellLaunch::Result::Started)
        return 2;
    return handedOn ? 0 : 1;
}
