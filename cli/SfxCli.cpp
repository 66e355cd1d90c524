#include "SfxCli.h"

#include "platform/Platform.h"
#include "zipengine/SfxRequest.h"
#include "zipengine/TZipEngine.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

const char* const kSfxHelp =
    "  sfx ZIP [--title T] [--message TEXT] [--message-box ok|okcancel|yesno]\n"
    "          [--folder current|temp|PATH] [--ask-files] [--run FILE] [--auto] [--icon ICO]\n"
    "      Turns ZIP into a self-extracting Windows program beside it (.exe) and\n"
    "      prints its path. --auto extracts into the user's current folder with\n"
    "      no dialog (ZIP is first renamed to \"!\" + its name); --run names an\n"
    "      entry to start after extraction; --icon takes a 32x32 16-colour icon.\n"
    "  unsfx EXE\n"
    "      Turns a self-extracting program back into a zip (.zip) and prints the\n"
    "      options it carried.\n";

namespace {

// The console streams quarn-cli hands over for the command.
QTextStream* g_out = nullptr;
QTextStream* g_err = nullptr;
QTextStream& out() { return *g_out; }
QTextStream& err() { return *g_err; }

QString lines(QString text)
{
    return text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

int usage(const QString& problem, const char* line)
{
    if (!problem.isEmpty())
        err() << problem << Qt::endl;
    err() << "usage: " << line << "\nTry 'quarn-cli --help'." << Qt::endl;
    return 2;
}

// The engine for one conversion: messages to standard error.
void setUpEngine(TZipEngine& engine)
{
    engine.Unattended = true;
    engine.SetDLLDirectory(Platform::ProgramFilesFolder(Platform::ProgramFiles::Modules));
    // The archive lives on in the converted file; nothing goes to the trash.
    engine.HowToDelete = TZipEngine::htdFinal;
    engine.OnMessage = [](TZipEngine&, int32_t, const QString& text) {
        if (!text.isEmpty())
            err() << lines(text) << Qt::endl;
    };
}

const char* const kSfxUsage =
    "quarn-cli sfx ZIP [--title T] [--message TEXT] [--message-box ok|okcancel|yesno] "
    "[--folder current|temp|PATH] [--ask-files] [--run FILE] [--auto] [--icon ICO]";

int sfx(const QStringList& args)
{
    QString zip = args.first();
    QString title, message, box, folder, run, icon;
    bool askFiles = false, autoRun = false, haveMessage = false, haveBox = false, haveFolder = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--ask-files") {
            askFiles = true;
            continue;
        }
        if (a == "--auto") {
            autoRun = true;
            continue;
        }
        static const QStringList valued{"--title", "--message", "--message-box", "--folder", "--run", "--icon"};
        if (!valued.contains(a))
            return usage(a.startsWith('-') ? QStringLiteral("unknown option %1").arg(a)
                                           : QStringLiteral("unexpected argument %1").arg(a),
                         kSfxUsage);
        if (i + 1 >= args.size())
            return usage(QStringLiteral("%1 needs a value").arg(a), kSfxUsage);
        const QString v = args[++i];
        if (a == "--title") {
            title = v;
        } else if (a == "--message") {
            message = v;
            haveMessage = true;
        } else if (a == "--message-box") {
            if (v != "ok" && v != "okcancel" && v != "yesno")
                return usage(QStringLiteral("--message-box takes ok, okcancel or yesno"), kSfxUsage);
            box = v;
            haveBox = true;
        } else if (a == "--folder") {
            if (v.isEmpty())
                return usage(QStringLiteral("--folder needs a value"), kSfxUsage);
            folder = v;
            haveFolder = true;
        } else if (a == "--run") {
            run = v;
        } else {
            icon = v;
        }
    }
    if (autoRun && (haveMessage || haveBox || haveFolder || askFiles))
        return usage(QStringLiteral("--auto extracts into the current folder without asking: it takes no "
                                    "--message, --message-box, --folder or --ask-files"),
                     kSfxUsage);
    if (haveBox && !haveMessage)
        return usage(QStringLiteral("--message-box needs --message"), kSfxUsage);
    if (title.size() > 50 || message.size() > 160)
        return usage(QStringLiteral("the title takes at most 50 characters, the message at most 160"), kSfxUsage);
    if (!QFileInfo(zip).isFile()) {
        err() << zip << ": no such file" << Qt::endl;
        return 1;
    }
    if (QFileInfo(zip).suffix().compare("zip", Qt::CaseInsensitive) != 0) {
        err() << zip << ": not a .zip file" << Qt::endl;
        return 1;
    }

    TZipEngine engine;
    setUpEngine(engine);
    if (!icon.isEmpty()) {
        QFile f(icon);
        if (!f.open(QIODevice::ReadOnly)) {
            err() << icon << ": cannot be read" << Qt::endl;
            return 1;
        }
        const QByteArray bytes = f.readAll();
        if (!SfxIconImage::HeaderIs32x32x16(bytes)) {
            err() << lines(SfxTexts::IconRefusedText()) << Qt::endl;
            return 1;
        }
        engine.SFXIcon = bytes;
    }

    const QString original = zip;
    if (autoRun) {
        zip = SfxTexts::AutoRunName(zip);
        QFile f(original);
        if (zip != original && !f.rename(zip)) {
            err() << "cannot rename " << original << " to " << zip << ": " << f.errorString() << Qt::endl;
            return 1;
        }
    }
    engine.SetZipFileName(zip);
    engine.ErrCode = 0;
    SfxRequest request;
    request.AutoRun = autoRun;
    request.AskFiles = askFiles;
    request.Title = title;
    request.FolderChoice = !haveFolder || folder == "current" ? 0 : folder == "temp" ? 1 : 2;
    request.Folder = folder;
    request.MessageKind = !haveMessage ? 0 : box == "okcancel" ? 2 : box == "yesno" ? 3 : 1;
    request.Message = message;
    // Entry names in the program's own form, as the page's chooser gives them.
    request.AutoStart = QString(run).replace(QLatin1Char('/'), QLatin1Char('\\'));
    request.AskCmdLine = !run.isEmpty();
    request.ApplyTo(engine);
    const int32_t result = engine.MakeSelfExtracting();
    if (result != 0) {
        err() << SfxTexts::FailureText(true, result) << Qt::endl;
        // The zip gets its name back; where that fails, the user is told where it is.
        QFile f(zip);
        if (zip != original && !f.rename(original))
            err() << "the zip is left as " << zip << ": " << f.errorString() << Qt::endl;
        return 1;
    }
    out() << engine.ZipFileName() << Qt::endl;
    return 0;
}

int unsfx(const QStringList& args)
{
    if (args.size() != 1)
        return usage(QString(), "quarn-cli unsfx EXE");
    const QString exe = args.first();
    if (!QFileInfo(exe).isFile()) {
        err() << exe << ": no such file" << Qt::endl;
        return 1;
    }
    TZipEngine engine;
    setUpEngine(engine);
    engine.SFXIcon.clear();
    engine.SetZipFileName(exe);
    const int32_t result = engine.MakePlainZip();
    if (result != 0) {
        err() << SfxTexts::FailureText(false, result) << Qt::endl;
        return 1;
    }
    const SfxRequest got = SfxRequest::ReadFrom(engine);
    static const char* const kinds[] = {"none", "ok", "okcancel", "yesno"};
    static const char* const modes[] = {"confirm", "always", "never"};
    out() << "zip: " << engine.ZipFileName() << '\n'
          << "title: " << engine.SFXCaption << '\n'
          << "folder: " << (got.FolderChoice == 0 ? QStringLiteral("current") : got.FolderChoice == 1 ? QStringLiteral("temp") : got.Folder) << '\n'
          << "message-box: " << kinds[got.MessageKind] << '\n'
          << "message: " << got.Message << '\n'
          << "run: " << got.AutoStart << '\n'
          << "ask-files: " << (got.AskFiles ? "yes" : "no") << '\n'
          << "auto: " << (got.AutoRun ? "yes" : "no") << '\n'
          << "ask-run: " << (got.AskCmdLine ? "yes" : "no") << '\n'
          << "success-message: " << ((engine.SFXOptions & TZipEngine::SFXNoSuccessMsg) ? "no" : "yes") << '\n'
          << "check-size: " << ((engine.SFXOptions & TZipEngine::SFXCheckSize) ? "yes" : "no") << '\n'
          << "overwrite: " << modes[engine.SFXOverWriteMode] << '\n'
          << "icon: " << (engine.SFXIcon.isEmpty() ? "none" : "found") << Qt::endl;
    return 0;
}

} // namespace

std::optional<int> runSfxCli(const QString& command, const QStringList& args, QTextStream& output, QTextStream& errors)
{
    g_out = &output;
    g_err = &errors;
    if (command == "sfx")
        return sfx(args);
    if (command == "unsfx")
        return unsfx(args);
    return std::nullopt;
}
