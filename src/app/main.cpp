// The program entry: `quarn [ARCHIVE]` opens the window (and the archive);
// `quarn --screenshot DIR [ARCHIVE]` renders every page offscreen into DIR
// (with ARCHIVE listed, and the windows shown on it: the tree browser, the
// image viewer and the image browser) and exits.

#include "app/TForm1.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <cstring>

namespace {
// Screenshots run unattended: a message goes to stderr and is answered with
// Cancel, No or OK, whichever it offers first in that order; choosers and
// dialogs are cancelled.
class ScreenshotPrompter : public QtPrompter {
public:
    PromptButton message(PromptKind, const QString& text, PromptButtonSet buttons, const QString&) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(displayText(text)));
        for (PromptButton b : {PromptButton::Cancel, PromptButton::No, PromptButton::Ok})
            if (buttons & unsigned(b))
                return b;
        return PromptButton(buttons & (0u - buttons));
    }
    QString openFile(const FileDialogRequest&) override { return {}; }
    QStringList openFiles(const FileDialogRequest&) override { return {}; }
    QString saveFile(const FileDialogRequest&) override { return {}; }
    QString chooseFolder(const FileDialogRequest&) override { return {}; }
    int runDialog(QDialog&) override { return 0; }
};
} // namespace

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
    // The desktop matches the window with quarn.desktop (its name and icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("quarn"));
    // The installed theme icon, else the one beside the program.
    QApplication::setWindowIcon(QIcon::fromTheme(
        QStringLiteral("quarn"), QIcon(Platform::JoinPath(Platform::ProgramFolder(), QStringLiteral("quarn.png")))));

    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (screenshots) {
        const qsizetype at = args.indexOf(QStringLiteral("--screenshot"));
        if (at >= 0)
            args.remove(at, qMin<qsizetype>(2, args.size() - at));
    }

    QtPrompter interactive;
    ScreenshotPrompter unattended;
    QtPrompter& prompter = screenshots ? unattended : interactive;
    TForm1 form(prompter, args);
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
