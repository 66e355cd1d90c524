// The program's desktop entry, the default-application lists, and the
// "Default Program" page, checked against the desktop's own tools.

#include "TestTools.h"
#include "XdgSandbox.h"
#include "ScriptedPrompter.h"

#include "settings/Settings.h"
#include "settings/TPropertiesForm.h"
#include "shell/DesktopEntry.h"
#include "shell/FileClass.h"
#include "shell/MimeApps.h"
#include "shell/TShellPages.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace testtools;

namespace {

QString xdgMimeDefault(const QString& mimeType)
{
    return run(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mimeType})
        .outText()
        .trimmed();
}

Run validate(const QString& desktopFile)
{
    return run(QStringLiteral("desktop-file-validate"), {desktopFile});
}

// A program file the entries can name: a copy of /bin/true at `path`.
QString fakeProgram(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    if (!QFile::copy(QStringLiteral("/bin/true"), path))
        qFatal("cannot copy /bin/true");
    return path;
}
} // namespace

class TestShellDefaults : public QObject {
    Q_OBJECT
private slots:
    void fileClassIsWrittenValidAndKeptCurrent()
    {
        QUARN_REQUIRE_PEER("desktop-file-validate");
        QUARN_REQUIRE_PEER("update-desktop-database");
        XdgSandbox box;
        const QString program = QCoreApplication::applicationFilePath();
        QVERIFY(FileClass::Register(program));
        const QString entry = box.userApps() + "/quarn.desktop";
        QCOMPARE(FileClass::EntryPath(), entry);
        const Run v = validate(entry);
        QVERIFY2(v.code == 0 && v.out.isEmpty(), v.out + v.err);
        QCOMPARE(DesktopEntry::Value(entry, "Exec"), program + " %f");
        QCOMPARE(DesktopEntry::Value(entry, "Name"), QStringLiteral("Quarn"));
        QCOMPARE(DesktopEntry::Value(entry, "Categories"), QStringLiteral("Utility;Archiving;Compression;"));
        const QStringList types = DesktopEntry::Value(entry, "MimeType").split(';', Qt::SkipEmptyParts);
        for (const char* t : {"application/zip", "application/gzip", "application/x-tar", "application/x-compressed-tar",
                              "application/vnd.rar", "application/x-7z-compressed", "application/x-rpm"})
            QVERIFY2(types.contains(QString::fromLatin1(t)), t);
        // The folder's MIME cache was refreshed.
        QVERIFY(readFile(box.userApps() + "/mimeinfo.cache").contains("application/zip=quarn.desktop;"));

        // Another copy of the program at a path with blanks and quotes takes the entry over.
        const QString other = fakeProgram(box.root.filePath("my programs/it's \"Quarn\" $1/quarn"));
        QVERIFY(FileClass::Register(other));
        const Run v2 = validate(entry);
        QVERIFY2(v2.code == 0 && v2.out.isEmpty(), v2.out + v2.err);
        QVERIFY(DesktopEntry::ProgramExists(entry));
        QVERIFY(readFile(entry).contains("Exec=\"" + box.root.path().toUtf8() + "/my programs/it's \\\\\"Quarn\\\\\" \\\\$1/quarn\" %f"));
        // xdg-mime runs the same entry: its program is found.
        QVERIFY(MimeApps::SetDefault("application/zip", "quarn.desktop"));
        QCOMPARE(xdgMimeDefault("application/zip"), QStringLiteral("quarn.desktop"));

        // Unchanged entries are left alone; a stale one is rewritten.
        {
            QFile f(entry);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0)), QFileDevice::FileModificationTime));
        }
        QVERIFY(FileClass::Register(other));
        QCOMPARE(QFileInfo(entry).lastModified().date().year(), 2001);
        writeFile(entry, "[Desktop Entry]\nType=Application\nName=Quarn\nExec=/old/quarn %f\n");
        QVERIFY(FileClass::Register(other));
        QVERIFY(readFile(entry).contains("MimeType="));
    }

    void unwritableApplicationsFolderIsSkipped()
    {
        XdgSandbox box;
        QDir().mkpath(box.dataHome);
        writeFile(box.userApps(), "a file where the folder should be");
        QVERIFY(!FileClass::Register(QCoreApplication::applicationFilePath()));
        QCOMPARE(readFile(box.userApps()), QByteArray("a file where the folder should be"));
    }

    void settingADefaultKeepsEveryOtherLine()
    {
        const QByteArray before = "# my list\n"
                                  "[Added Associations]\n"
                                  "application/zip=ark.desktop;\n"
                                  "\n"
                                  "[Default Applications]\n"
                                  "text/plain=gedit.desktop\n"
                                  "application/zip=ark.desktop;other.desktop;\n"
                                  "image/png=eog.desktop\n"
                                  "\n"
                                  "[Removed Associations]\n"
                                  "application/gzip=x.desktop\n";
        QCOMPARE(MimeApps::WithDefault(before, "application/zip", "quarn.desktop"),
                 QByteArray("# my list\n[Added Associations]\napplication/zip=ark.desktop;\n\n[Default Applications]\n"
                            "text/plain=gedit.desktop\napplication/zip=quarn.desktop;\nimage/png=eog.desktop\n\n"
                            "[Removed Associations]\napplication/gzip=x.desktop\n"));
        // A new type goes at the end of the group, before its blank line.
        QCOMPARE(MimeApps::WithDefault(before, "application/gzip", "quarn.desktop"),
                 QByteArray("# my list\n[Added Associations]\napplication/zip=ark.desktop;\n\n[Default Applications]\n"
                            "text/plain=gedit.desktop\napplication/zip=ark.desktop;other.desktop;\nimage/png=eog.desktop\n"
                            "application/gzip=quarn.desktop;\n\n"
                            "[Removed Associations]\napplication/gzip=x.desktop\n"));
        // No group yet, no final newline, an empty list.
        QCOMPARE(MimeApps::WithDefault("[Added Associations]\na/b=c.desktop", "application/zip", "q.desktop"),
                 QByteArray("[Added Associations]\na/b=c.desktop\n\n[Default Applications]\napplication/zip=q.desktop;\n"));
        QCOMPARE(MimeApps::WithDefault("", "application/zip", "q.desktop"),
                 QByteArray("[Default Applications]\napplication/zip=q.desktop;\n"));

        // On disk the list is replaced whole, never left half written, and a link to it is kept.
        XdgSandbox box;
        QVERIFY(MimeApps::SetDefault("application/zip", "q.desktop"));
        QCOMPARE(readFile(box.configHome + "/mimeapps.list"), QByteArray("[Default Applications]\napplication/zip=q.desktop;\n"));
        QVERIFY(QDir(box.configHome).entryList(QDir::Files | QDir::Hidden).size() == 1);
    }

    void lookupFollowsXdgMime_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::newRow("nothing") << "nothing";
        QTest::newRow("system list") << "system";
        QTest::newRow("user list over system list") << "user";
        QTest::newRow("missing entry falls through") << "missing";
        QTest::newRow("desktop-specific list first") << "desktop";
        QTest::newRow("list in the data folders") << "data";
        QTest::newRow("mimeinfo cache") << "cache";
        QTest::newRow("entries by preference") << "entries";
    }
    void lookupFollowsXdgMime()
    {
        QUARN_REQUIRE_PEER("xdg-mime");
        QFETCH(QString, situation);
        XdgSandbox box;
        XdgSandbox::addApplication(box.systemApps(), "ark.desktop", "Ark");
        XdgSandbox::addApplication(box.systemApps(), "engrampa.desktop", "Engrampa");
        XdgSandbox::addApplication(box.userApps(), "mine.desktop", "Mine");
        const QString mime = "application/zip";
        auto list = [&](const QString& folder, const QByteArray& text, const QString& name = "mimeapps.list") {
            QDir().mkpath(folder);
            writeFile(folder + "/" + name, text);
        };
        QString want;
        if (situation == "system") {
            list(box.systemConfig, "[Default Applications]\napplication/zip=ark.desktop\n");
            want = "ark.desktop";
        } else if (situation == "user") {
            list(box.systemConfig, "[Default Applications]\napplication/zip=ark.desktop\n");
            list(box.configHome, "[Added Associations]\napplication/zip=engrampa.desktop\n[Default Applications]\n"
                                 "application/zip=mine.desktop;ark.desktop;\n");
            want = "mine.desktop";
        } else if (situation == "missing") {
            // Only the first id of a list counts; one that is not installed sends the lookup on.
            list(box.systemConfig, "[Default Applications]\napplication/zip=engrampa.desktop\n");
            list(box.configHome, "[Default Applications]\napplication/zip=gone.desktop;ark.desktop\n");
            want = "engrampa.desktop";
        } else if (situation == "desktop") {
            XdgSandbox::set("XDG_CURRENT_DESKTOP", "Foo:Bar");
            list(box.configHome, "[Default Applications]\napplication/zip=mine.desktop\n");
            list(box.configHome, "[Default Applications]\napplication/zip=ark.desktop\n", "bar-mimeapps.list");
            want = "ark.desktop";
        } else if (situation == "data") {
            list(box.systemApps(), "[Default Applications]\napplication/zip=engrampa.desktop\n");
            want = "engrampa.desktop";
        } else if (situation == "cache") {
            list(box.systemApps(), "[MIME Cache]\napplication/x-zip=ark.desktop;\napplication/zip=engrampa.desktop;ark.desktop;\n",
                 "mimeinfo.cache");
            want = "engrampa.desktop";
        } else if (situation == "entries") {
            XdgSandbox::addApplication(box.systemApps(), "low.desktop", "Low", "application/zip;");
            XdgSandbox::addApplication(box.systemApps(), "high.desktop", "High", "text/plain;application/zip;");
            QFile f(box.systemApps() + "/high.desktop");
            QVERIFY(f.open(QIODevice::Append));
            f.write("InitialPreference=5\n");
            f.close();
            want = "high.desktop";
        }
        QCOMPARE(MimeApps::QueryDefault(mime), want);
        QCOMPARE(xdgMimeDefault(mime), want);
        if (situation == "desktop")
            qunsetenv("XDG_CURRENT_DESKTOP");
    }

    // The page over a sandbox where .zip opens with Ark, .gz with Engrampa
    // and the other types with nothing.
    void defaultProgramPage()
    {
        QUARN_REQUIRE_PEER("xdg-mime");
        XdgSandbox box;
        XdgSandbox::addApplication(box.systemApps(), "ark.desktop", "Ark");
        XdgSandbox::addApplication(box.systemApps(), "engrampa.desktop", "Engrampa");
        writeFile(box.systemConfig + "/mimeapps.list",
                  "[Default Applications]\napplication/zip=ark.desktop\napplication/gzip=engrampa.desktop\n");
        writeFile(box.configHome + "/mimeapps.list", "[Default Applications]\ntext/plain=ark.desktop\n\n"
                                                     "[Added Associations]\nimage/png=ark.desktop;\n");

        Settings settings;
        int saves = 0;
        ScriptedPrompter prompter;
        auto open = [&](std::unique_ptr<TPropertiesForm>& form) {
            form = std::make_unique<TPropertiesForm>(settings, [] { return true; });
            new TShellPages(*form, settings, [&saves] { return ++saves > 0; }, prompter,
                            QCoreApplication::applicationFilePath());
        };
        std::unique_ptr<TPropertiesForm> form;
        open(form);
        auto labels = [&] {
            return QStringList{form->DefaultZipProgramLabel->text(), form->DefaultGZProgramLabel->text(),
                               form->DefaultTARProgramLabel->text(), form->DefaultTGZProgramLabel->text(),
                               form->DefaultRARProgramLabel->text()};
        };
        QCOMPARE(labels(), (QStringList{"Ark", "Engrampa", "None", "None", "None"}));
        // Start-up registers the program: from then on its entry is the desktop's last resort for
        // every type nobody else opens, and such a type is not remembered as opened by Quarn before.
        QVERIFY(FileClass::Register(QCoreApplication::applicationFilePath()));
        QCOMPARE(xdgMimeDefault("application/x-tar"), QStringLiteral("quarn.desktop"));

        // Nothing checked: nothing happens, nothing is saved.
        form->setQuarnDefaultButton->click();
        QCOMPARE(saves, 0);
        QCOMPARE(xdgMimeDefault("application/zip"), QStringLiteral("ark.desktop"));

        form->DZipCheckBox->setChecked(true);
        form->DGZCheckbox->setChecked(true);
        form->DTARCheckBox->setChecked(true);
        form->setQuarnDefaultButton->click();
        QCOMPARE(saves, 1);
        QCOMPARE(labels(), (QStringList{"Quarn", "Quarn", "Quarn", "None", "None"}));
        QCOMPARE(settings.PreviousZip, (TPreviousOpener{"ark.desktop", "Ark"}));
        QCOMPARE(settings.PreviousGz, (TPreviousOpener{"engrampa.desktop", "Engrampa"}));
        QCOMPARE(settings.PreviousTar, TPreviousOpener{});
        for (const char* t : {"application/zip", "application/gzip", "application/x-tar"})
            QCOMPARE(xdgMimeDefault(t), QStringLiteral("quarn.desktop"));
        QVERIFY(!readFile(box.configHome + "/mimeapps.list").contains("application/x-compressed-tar"));
        // The user's other lines and groups are still there.
        const QByteArray list = readFile(box.configHome + "/mimeapps.list");
        QVERIFY(list.contains("text/plain=ark.desktop\n"));
        QVERIFY(list.contains("[Added Associations]\nimage/png=ark.desktop;\n"));

        // A second time: every label reads "Quarn", the first openers stay remembered.
        form->setQuarnDefaultButton->click();
        QCOMPARE(saves, 2);
        QCOMPARE(settings.PreviousZip, (TPreviousOpener{"ark.desktop", "Ark"}));
        QCOMPARE(settings.PreviousGz, (TPreviousOpener{"engrampa.desktop", "Engrampa"}));

        // A new dialog reads the labels back from the lists.
        open(form);
        QCOMPARE(labels(), (QStringList{"Quarn", "Quarn", "Quarn", "Quarn", "Quarn"}));

        // Restoring .gz changes only .gz.
        form->DGZCheckbox->setChecked(true);
        form->RestorePreviousZipDefaultButton->click();
        QCOMPARE(saves, 3);
        QCOMPARE(labels(), (QStringList{"Quarn", "Engrampa", "Quarn", "Quarn", "Quarn"}));
        QCOMPARE(xdgMimeDefault("application/gzip"), QStringLiteral("engrampa.desktop"));
        QCOMPARE(xdgMimeDefault("application/zip"), QStringLiteral("quarn.desktop"));
        QCOMPARE(settings.PreviousGz, TPreviousOpener{});
        QCOMPARE(settings.PreviousZip, (TPreviousOpener{"ark.desktop", "Ark"}));

        // .tar had no opener before Quarn: it stays with Quarn.
        form->DGZCheckbox->setChecked(false);
        form->DTARCheckBox->setChecked(true);
        form->RestorePreviousZipDefaultButton->click();
        QCOMPARE(form->DefaultTARProgramLabel->text(), QStringLiteral("Quarn"));
        QCOMPARE(xdgMimeDefault("application/x-tar"), QStringLiteral("quarn.desktop"));

        // No box checked: restoring changes nothing but still saves.
        form->DTARCheckBox->setChecked(false);
        const int before = saves;
        form->RestorePreviousZipDefaultButton->click();
        QCOMPARE(saves, before + 1);
        QCOMPARE(settings.PreviousZip, (TPreviousOpener{"ark.desktop", "Ark"}));

        // A previous opener without a Name shows its id.
        settings.PreviousZip.Description.clear();
        form->DZipCheckBox->setChecked(true);
        form->RestorePreviousZipDefaultButton->click();
        QCOMPARE(form->DefaultZipProgramLabel->text(), QStringLiteral("ark.desktop"));
        QCOMPARE(xdgMimeDefault("application/zip"), QStringLiteral("ark.desktop"));
        QVERIFY(prompter.messages.isEmpty());
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestShellDefaults t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_shell_defaults.moc"
