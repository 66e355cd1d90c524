// The program entry: `quarn [ARCHIVE]` opens the window (and the archive);
// `quarn --screenshot DIR` renders every page offscreen into DIR and exits.

#include "app/TForm1.h"
#include "platform/Prompter.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    QString screenshotDir;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--screenshot") == 0)
            screenshotDir = QString::fromLocal8Bit(argv[i + 1]);
    const bool screenshots = !screenshotDir.isEmpty();
    if (screenshots && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Screenshots use a scratch data folder so that no settings are touched.
    QTemporaryDir scratch;
    if (screenshots && qEnvironmentVariableIsEmpty("QUARN_DATA_DIR") && scratch.isValid())
        qputenv("QUARN_DATA_DIR", scratch.path().toLocal8Bit());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarn"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quarn"));

    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (screenshots) {
        const qsizetype at = args.indexOf(QStringLiteral("--screenshot"));
        if (at >= 0)
            args.remove(at, qMin<qsizetype>(2, args.size() - at));
    }

    QtPrompter prompter;
    TForm1 form(prompter, screenshots ? QStringList() : args);
    prompter.setParent(&form);
    form.show();
    if (screenshots) {
        QApplication::processEvents();
        const QStringList files = form.SaveScreenshots(QDir(screenshotDir).absolutePath());
        QTextStream out(stdout);
        for (const QString& f : files)
            out << f << '\n';
        form.DoCloseCode();
        return files.isEmpty() ? 1 : 0;
    }
    return app.exec();
}
