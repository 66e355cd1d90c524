// Handing files to programs: the Exec lines of desktop entries, the
// applications of a type, the Notepad and WordPad stand-ins, the shell's
// failure texts and the Open With chooser. The programs are recording
// scripts inside a sandboxed desktop; nothing real starts.

#include "RecordingApps.h"
#include "ScriptedPrompter.h"
#include "TestTools.h"
#include "XdgSandbox.h"

#include "platform/Platform.h"
#include "shell/DesktopEntry.h"
#include "shell/MimeApps.h"
#include "viewers/ShellLaunch.h"
#include "viewers/TOpenWithForm.h"
#include "viewers/ViewerPrograms.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using ShellLaunch::Result;

namespace {

// PATH pointed at one folder for the life of the object.
struct PathOnly {
    QByteArray saved = qgetenv("PATH");
    explicit PathOnly(const QString& folder) { qputenv("PATH", QFile::encodeName(folder)); }
    ~PathOnly() { qputenv("PATH", saved); }
};

} // namespace

class TestShellLaunch : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QString file(const QString& name, const QByteArray& data = "some text\n")
    {
        const QString p = dir_.filePath(name);
        testtools::writeFile(p, data);
        return p;
    }

private slots:
    void execLinesSplitAndExpand()
    {
        using DesktopEntry::CommandFor;
        using DesktopEntry::SplitCommand;
        QCOMPARE(SplitCommand("prog  -a \"two words\" \"q\\\"uote\\\\\" x"),
                 (QStringList{"prog", "-a", "two words", "q\"uote\\", "x"}));
        QCOMPARE(SplitCommand("\"/opt/my app/run\""), QStringList{"/opt/my app/run"});
        QVERIFY(SplitCommand("prog \"unterminated").isEmpty());
        QVERIFY(SplitCommand("   ").isEmpty());

        const QString doc = "/tmp/a b/r%z.txt";
        QCOMPARE(CommandFor({"ed", "%f"}, doc), (QStringList{"ed", doc}));
        QCOMPARE(CommandFor({"ed", "%U"}, doc), (QStringList{"ed", "file:///tmp/a%20b/r%25z.txt"}));
        QCOMPARE(CommandFor({"ed", "--file=%f", "100%%"}, doc), (QStringList{"ed", "--file=" + doc, "100%"}));
        // No code for the document: it comes last. Dropped codes leave no argument.
        QCOMPARE(CommandFor({"ed", "--new", "%d", "%i"}, doc), (QStringList{"ed", "--new", doc}));
        QVERIFY(CommandFor({}, doc).isEmpty());

        const QString entry = file("e.desktop", "[Desktop Entry]\nName=Ed\nIcon=ed-icon\nExec=ed %i %c %k %F\n");
        QCOMPARE(CommandFor(DesktopEntry::ExecArguments(entry), doc, entry),
                 (QStringList{"ed", "--icon", "ed-icon", "Ed", entry, doc}));
        // The string-value escape comes off before the quoting.
        const QString escaped = file("s.desktop", "[Desktop Entry]\nExec=\"/x/my\\\\\\\\prog\" %f\n");
        QCOMPARE(DesktopEntry::ExecArguments(escaped), (QStringList{"/x/my\\prog", "%f"}));
    }

    void applicationsOfAType()
    {
        XdgSandbox box;
        RecordingApps apps(box);
        apps.app("viewer", "text/x-demo;", false);
        apps.app("editor", "text/x-demo;text/plain;", true);
        apps.app("added", "", false);
        apps.addListLine("Added Associations", "text/x-demo", "added.desktop");
        // Hidden entries and entries whose program is gone are no choice.
        XdgSandbox::addApplication(box.userApps(), "hidden.desktop", "Hidden", "text/x-demo;");
        QFile h(box.userApps() + "/hidden.desktop");
        QVERIFY(h.open(QIODevice::Append));
        h.write("Hidden=true\n");
        h.close();
        testtools::writeFile(box.userApps() + "/gone.desktop",
                             "[Desktop Entry]\nType=Application\nName=Gone\nExec=/no/such/program %f\nMimeType=text/x-demo;\n");
        QCOMPARE(MimeApps::ApplicationsFor("text/x-demo"),
                 (QStringList{"editor.desktop", "added.desktop", "viewer.desktop"}));
        // The chooser also offers what opens the types this one is a kind of.
        QStringList names;
        for (const ViewerProgram& p : ViewerPrograms::ChoicesFor("text/x-csrc"))
            names << p.name;
        QCOMPARE(names, QStringList{"editor App"});
        // The handler of a type falls back on the nearest type it is a kind of.
        QCOMPARE(ViewerPrograms::ForType("text/x-csrc").entryFile, box.userApps() + "/editor.desktop");
        QVERIFY(ViewerPrograms::ForType("application/x-quarn-nothing").isEmpty());
    }

    void notepadAndWordpadStandIns()
    {
        XdgSandbox box;
        RecordingApps apps(box);
        QTemporaryDir bin;
        PathOnly path(bin.path());
        QVERIFY(ViewerPrograms::Notepad().isEmpty());
        QVERIFY(!ViewerPrograms::WordPadAvailable());
        QVERIFY(ViewerPrograms::QuickViewPath().isEmpty());
        // A common editor on PATH stands in when text has no default.
        const QString mousepad = bin.filePath("mousepad");
        testtools::writeFile(mousepad, "#!/bin/sh\n");
        QFile::setPermissions(mousepad, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QCOMPARE(ViewerPrograms::Notepad().command, QStringList{mousepad});
        // The default for plain text comes first.
        apps.app("texteditor", "text/plain;", true);
        QCOMPARE(ViewerPrograms::Notepad().entryFile, box.userApps() + "/texteditor.desktop");
        apps.app("rtfeditor", "application/rtf;", true);
        QVERIFY(ViewerPrograms::WordPadAvailable());
        QCOMPARE(ShellLaunch::ProgramForChoice("WORDPAD.EXE").entryFile, box.userApps() + "/rtfeditor.desktop");
        QCOMPARE(ShellLaunch::ProgramForChoice("Notepad.exe").entryFile, box.userApps() + "/texteditor.desktop");
    }

    // Each failure the shell can meet here gets its text, and nothing starts.
    void failuresGetTheShellsTexts()
    {
        XdgSandbox box;
        RecordingApps apps(box);
        ScriptedPrompter prompter;
        const QString doc = file("doc.txt");
        const ViewerProgram viewer = ViewerProgram::FromProgram(apps.script("viewer"));

        QCOMPARE(ShellLaunch::OpenDocument(dir_.filePath("missing.txt")), Result::FileNotFound);
        QCOMPARE(ShellLaunch::RunProgram(ViewerProgram::FromProgram(dir_.filePath("no-program")), doc),
                 Result::FileNotFound);
        // A program file without the right to run it; an executable that is no program.
        const QString plain = file("not-executable", "#!/bin/sh\n");
        const QString junk = file("junk-program", QByteArray(64, '\x01'));
        QFile::setPermissions(junk, QFileDevice::ReadOwner | QFileDevice::ExeOwner);

        const QList<std::pair<QString, QString>> cases{
            {dir_.filePath("missing.txt"), "The specified file was not found."},
            {dir_.filePath("no/folder/x.txt"), "The specified path was not found."},
        };
        for (const auto& [path, text] : cases) {
            prompter.clear();
            ShellLaunch::Execute(prompter, viewer.command.first(), path, nullptr);
            QCOMPARE(prompter.texts(), QStringList{text});
        }
        prompter.clear();
        ShellLaunch::Execute(prompter, plain, doc, nullptr);
        QCOMPARE(prompter.texts(), QStringList{"The operating system denied access to the specified file."});
        prompter.clear();
        ShellLaunch::Execute(prompter, junk, doc, nullptr);
        QCOMPARE(prompter.texts(), QStringList{"The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."});
        // Notepad missing altogether is a program not found.
        QTemporaryDir bin;
        PathOnly path(bin.path());
        prompter.clear();
        QCOMPARE(ShellLaunch::Execute(prompter, "Notepad.exe", doc, nullptr), Result::FileNotFound);
        QCOMPARE(prompter.texts(), QStringList{"The specified file was not found."});
        QVERIFY(apps.notStarted("viewer"));
    }

    void viewerAndAssociatedProgramStart()
    {
        XdgSandbox box;
        RecordingApps apps(box);
        ScriptedPrompter prompter;
        const QString doc = file("with space.rtf", "{\\rtf1 hello}");
        apps.app("rtfeditor", "application/rtf;", true, "--view %U");
        QCOMPARE(ShellLaunch::Execute(prompter, "WordPad.exe", doc, nullptr), Result::Started);
        QCOMPARE(apps.startedWith("rtfeditor"), (QStringList{"--view", QUrl::fromLocalFile(doc).toString(QUrl::FullyEncoded)}));
        // The associated program: handed on by the desktop where the platform
        // can, else started here.
        QCOMPARE(ShellLaunch::Execute(prompter, QString(), doc, nullptr), Result::Started);
        QStringList opened;
        Platform::SetOpenUrlHook([&opened](const QString& p) {
            opened << p;
            return true;
        });
        const bool handedOn = QGuiApplication::platformName() != QLatin1String("offscreen");
        if (!handedOn)
            QCOMPARE(apps.startedWith("rtfeditor").size(), 2);
        QCOMPARE(ShellLaunch::Execute(prompter, QString(), doc, nullptr), Result::Started);
        QCOMPARE(opened, QStringList{doc});
        Platform::SetOpenUrlHook({});
        QVERIFY(prompter.messages.isEmpty());
    }

    // On a real display the desktop's own opener (xdg-open here) starts
    // the application of the type.
    void theDesktopOpensTheDocument()
    {
        QUARN_REQUIRE_PEER("xvfb-run");
        QUARN_REQUIRE_PEER("xdg-open");
        XdgSandbox box;
        RecordingApps apps(box);
        // xdg-mime tells the type by the bytes ("text/rtf"), this program by the name.
        apps.app("viewer", "application/rtf;text/rtf;", true);
        const QString doc = file("letter.rtf", "{\\rtf1\\ansi hello}\n");
        const testtools::Run probe = testtools::run(
            QStringLiteral("xvfb-run"), {"-a", "env", "QT_QPA_PLATFORM=xcb", QStringLiteral(OPEN_PROBE), doc});
        QVERIFY2(probe.code == 0, qPrintable(probe.errText()));
        QCOMPARE(apps.startedWith("viewer"), QStringList{doc});
    }

    // A type nothing opens gets the chooser: its list, its command field, Cancel.
    void openWithChooser()
    {
        XdgSandbox box;
        RecordingApps apps(box);
        ScriptedPrompter prompter;
        const QString doc = file("data.qzq", QByteArray("\x00\x01\x02\x03", 4));
        QCOMPARE(ViewerPrograms::TypeOf(doc), QStringLiteral("application/octet-stream"));
        // Cancel: nothing starts, nothing is said.
        prompter.onDialog([](QDialog& d) {
            auto& f = dynamic_cast<TOpenWithForm&>(d);
            QTest::mouseClick(f.CancelButton, Qt::LeftButton);
            return d.result();
        });
        QCOMPARE(ShellLaunch::Execute(prompter, QString(), doc, nullptr), Result::Cancelled);
        QCOMPARE(prompter.dialogTitles, QStringList{"Open With"});
        QVERIFY(prompter.messages.isEmpty());

        // A typed command gets the file after its own arguments.
        const QString typed = apps.script("typed");
        prompter.onDialog([&](QDialog& d) {
            auto& f = dynamic_cast<TOpenWithForm&>(d);
            if (f.ProgramList->count() != 0 || f.OKButton->isEnabled())
                return int(QDialog::Rejected);
            QTest::keyClicks(f.CommandEdit, "\"" + typed + "\" --read-only");
            QTest::mouseClick(f.OKButton, Qt::LeftButton);
            return d.result();
        });
        QCOMPARE(ShellLaunch::Execute(prompter, QString(), doc, nullptr), Result::Started);
        QCOMPARE(apps.startedWith("typed"), (QStringList{"--read-only", doc}));

        // An application added for the type (not its default) is listed and chosen.
        apps.app("hexview", "", false);
        apps.addListLine("Added Associations", "application/octet-stream", "hexview.desktop");
        prompter.onDialog([](QDialog& d) {
            auto& f = dynamic_cast<TOpenWithForm&>(d);
            if (f.ProgramList->count() != 1 || f.ProgramList->item(0)->text() != "hexview App")
                return int(QDialog::Rejected);
            f.ProgramList->setCurrentRow(0);
            QTest::mouseClick(f.OKButton, Qt::LeftButton);
            return d.result();
        });
        QCOMPARE(ShellLaunch::Execute(prompter, QString(), doc, nullptr), Result::Started);
        QCOMPARE(apps.startedWith("hexview"), QStringList{doc});
        QVERIFY(prompter.allAnswersUsed());
    }
};

QTEST_MAIN(TestShellLaunch)
#include "test_shell_launch.moc"
