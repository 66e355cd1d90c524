// UNZIP on the unzip page: room checks, the "..\" check and its dialog, the
// replace questions, quiet extraction to a given folder, real extraction of
// Info-ZIP archives; the window's engine event handlers.

#include "PageFixture.h"

#include "app/TForm1.h"
#include "batch/TBatchPage.h"
#include "create/TCreatePage.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "unzip/TZipSecurityForm.h"
#include "unzip/UnzipExtract.h"
#include "zipengine/TZipEngine.h"

#include <QDateTime>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QHash>
#include <QThread>

using ZipFixture::Entry;

namespace {
const QString NoRoom = QStringLiteral(
    "THERE IS NOT ENOUGH ROOM ON THIS DISK DRIVEFOR THE UNZIPPED FILES.\rSELECT A NEW FOLDER ON A DRIVE WITH MORE FREE SPACE");
const QString NoHighlight = QStringLiteral(
    "NO FILES HAVE BEEN HIGHLIGHTED!\rCHOOSE  SELECT ALL BUTTON OR CLICK FILES TO HIGHLIGHT THEM\r"
    "AND TRY AGAIN.  (ONLY HIGHLIGHTED FILES IN THE LIST WILL BE UNZIPPED)");
const QString ReplaceTail = QStringLiteral(
    "TO REPLACE THIS FILE CHOOSE  YES\rTO REPLACE ALL FILES AND AVOID RECEIVING THIS MESSAGE AGAIN CHOOSE  ALL");

QString lowSpace(int megabytes)
{
    return QStringLiteral("YOU ARE ATTEMPTING TO EXTRACT A ZIP FILE TO DRIVE \"C\"\r"
                          "ON A TYPICAL COMPUTER THIS WOULD BE THE DISK DRIVE ON WHICH\r"
                          "WINDOWS IS INSTALLED.  THIS DRIVE HAS LESS THAN 50 MEGABYTES\r"
                          "OF FREE SPACE REMAINING.  WINDOWS CAN BECOME UNSTABLE WHEN\r"
                          "THE WINDOWS DRIVE HAS LITTLE SPACE REMAINING.  THIS DRIVE HAS\r") +
           QString::number(megabytes) +
           QStringLiteral(" MEGABYTES OF FREE SPACE REMAINING\r\r"
                          "TO EXTRACT THE ZIP FILE TO THIS DRIVE CHOOSE \"YES\"\r"
                          "CHOOSE CANCEL TO SELECT A DIFFERENT DRIVE\r\r"
                          "EXTRACT THE ZIP FILE TO THE \"C\" DRIVE?");
}
} // namespace

class TestUnzipExtract : public QObject {
    Q_OBJECT
    PageFixture f_;

    QString threeTexts()
    {
        return f_.zip(QStringLiteral("three.zip"), {{QStringLiteral("a.txt"), "alpha"},
                                                   {QStringLiteral("b.txt"), "bravo"},
                                                   {QStringLiteral("sub/c.txt"), "charlie"}});
    }
    // UNZIP with `dest` chosen in the folder dialog.
    void unzipTo(const QString& dest)
    {
        f_.prompter.answerFolder(dest);
        QTest::mouseClick(f_.page->UnzipButton, Qt::LeftButton);
    }

private slots:
    void init()
    {
        QVERIFY(f_.dir.isValid());
        f_.newForm();
    }
    void cleanup()
    {
        f_.finish();
    }

    void extractsHighlightedRowsWithMessage()
    {
        const QString archive = threeTexts();
        f_.open(archive);
        PageFixture::select(f_.page->UnzipListView, {0, 2});
        const QString dest = f_.folder(QStringLiteral("out"));
        f_.prompter.clear();
        unzipTo(dest);
        QCOMPARE(f_.prompter.fileRequests.last().title, QStringLiteral("DOUBLE CLICK TO Select Folder"));
        QCOMPARE(f_.prompter.texts(), QStringList{success(QStringLiteral("three.zip"), dest)});
        QCOMPARE(PageFixture::files(dest), (QStringList{QStringLiteral("a.txt"), QStringLiteral("sub/c.txt")}));
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/sub/c.txt")), QByteArray("charlie"));
        QCOMPARE(f_.form->settings().LastUnzipFolder, dest);
        QCOMPARE(f_.page->UnzipProgressBar->value(), 0);
        // The list and its selection survive the command.
        QCOMPARE(PageFixture::selected(f_.page->UnzipListView), (QList<int>{0, 2}));
        QVERIFY(f_.page->UnzipButton->isEnabled());
        QVERIFY(f_.page->OpenUnzipButton->isEnabled());
    }

    void cancelledFolderDoesNothing()
    {
        f_.open(threeTexts());
        f_.prompter.clear();
        unzipTo(QString());
        QVERIFY(f_.prompter.messages.isEmpty());
        QVERIFY(f_.page->UnzipListView->isEnabled());
    }

    void roomForZipAndGz()
    {
        f_.open(threeTexts());
        const QString dest = f_.folder(QStringLiteral("room"));
        f_.page->UnzipListTotal = 30000000;
        f_.prompter.clear();
        f_.freeBytes = 29999999;
        f_.page->DoUnzip(dest);
        QCOMPARE(f_.prompter.texts(), QStringList{NoRoom});
        QVERIFY(PageFixture::files(dest).isEmpty());

        // Exactly the listed total is enough (the drive question follows on the system drive).
        f_.prompter.clear();
        f_.freeBytes = 30000000;
        f_.prompter.answer(PromptButton::Cancel);
        f_.page->DoUnzip(dest);
        QVERIFY(!f_.prompter.texts().contains(NoRoom));
        QVERIFY(PageFixture::files(dest).isEmpty());
        if (!Platform::IsOnSystemFileSystem(dest))
            f_.prompter.answers.clear();

        // A gzip needs twice the total.
        QStringList gzCalls;
        f_.page->ExtractGz = [&](const QString& d) { gzCalls << d; };
        f_.form->appState().CurrentArchive = f_.path(QStringLiteral("notes.gz"));
        f_.prompter.clear();
        f_.freeBytes = 59999999;
        f_.page->DoUnzip(dest);
        QCOMPARE(f_.prompter.texts(), QStringList{NoRoom});
        QVERIFY(gzCalls.isEmpty());
        f_.freeBytes = 60000000;
        f_.prompter.clear();
        f_.page->DoUnzip(dest);
        QVERIFY(f_.prompter.messages.isEmpty());
        QCOMPARE(gzCalls, QStringList{dest});
        // ".tgz" counts as a gzip too; a free space that cannot be read is too little.
        f_.form->appState().CurrentArchive = f_.path(QStringLiteral("data.TGZ"));
        f_.freeBytes = 59999999;
        f_.page->DoUnzip(dest);
        QCOMPARE(f_.prompter.lastText(), NoRoom);
        f_.freeBytes = -1;
        f_.page->UnzipListTotal = 0;
        f_.page->DoUnzip(dest);
        QCOMPARE(f_.prompter.lastText(), NoRoom);
        QCOMPARE(gzCalls.size(), 1);
    }

    void lowSpaceOnSystemDrive()
    {
        const QString dest = f_.folder(QStringLiteral("low"));
        if (!Platform::IsOnSystemFileSystem(dest))
            QSKIP("the temporary folder is not on the file system that holds /");
        f_.open(threeTexts());
        f_.prompter.clear();
        f_.freeBytes = 49999999;
        f_.prompter.answer(PromptButton::Cancel);
        f_.page->DoUnzip(dest);
        QCOMPARE(f_.prompter.messages.size(), 1);
        QCOMPARE(f_.prompter.messages[0].text, lowSpace(49));
        QCOMPARE(f_.prompter.messages[0].kind, PromptKind::Warning);
        QCOMPARE(f_.prompter.messages[0].buttons, PromptButtons::YesCancel);
        QVERIFY(PageFixture::files(dest).isEmpty());

        f_.prompter.clear();
        f_.prompter.answer(PromptButton::Yes);
        f_.page->DoUnzip(dest);
        QCOMPARE(f_.prompter.texts(), QStringList{lowSpace(49)});
        QCOMPARE(PageFixture::files(dest).size(), 3);

        QDir(dest).removeRecursively();
        f_.prompter.clear();
        f_.freeBytes = 50000000;
        f_.page->DoUnzip(dest);
        QVERIFY(f_.prompter.messages.isEmpty());
        QCOMPARE(PageFixture::files(dest).size(), 3);
    }

    void securityDialog()
    {
        const QString archive = f_.zip(QStringLiteral("evil.zip"), {{QStringLiteral("../../evil.txt"), "evil"},
                                                                   {QStringLiteral("ok.txt"), "fine"},
                                                                   {QStringLiteral("docs/../../up.txt"), "up"},
                                                                   {QStringLiteral("../left.txt"), "left"}});
        f_.open(archive);
        QCOMPARE(f_.page->UnzipListModel->item(0, 3)->text(), QStringLiteral("..\\..\\"));
        PageFixture::select(f_.page->UnzipListView, {0, 1, 2});
        const QString base = f_.folder(QStringLiteral("sec"));
        const QString dest = base + QStringLiteral("/in/dest");
        QDir().mkpath(dest);

        // HALT: nothing happens.
        QString memo, title, buttons;
        QStringList lines;
        bool onTop = false;
        f_.prompter.clear();
        f_.prompter.onDialog([&](QDialog& d) {
            auto& form = static_cast<TZipSecurityForm&>(d);
            memo = form.Memo->toPlainText();
            title = form.windowTitle();
            onTop = form.windowFlags() & Qt::WindowStaysOnTopHint;
            lines = form.ExplanationText->toPlainText().split(QLatin1Char('\n'));
            buttons = form.DoNotUnzipButton->text() + QLatin1Char('|') + form.HaltButton->text() + QLatin1Char('|') +
                      form.IgnoreButton->text();
            QTest::mouseClick(form.HaltButton, Qt::LeftButton);
            return form.result();
        });
        f_.page->DoUnzip(dest);
        QCOMPARE(memo, QStringLiteral("evil.txt,  ..\\..\\\nup.txt,  docs\\..\\..\\"));
        QCOMPARE(title, QStringLiteral("ZIP FILE SECURITY THREAT"));
        QVERIFY(onTop);
        QCOMPARE(lines.size(), 10);
        QCOMPARE(lines, TZipSecurityForm::ExplanationLines());
        QCOMPARE(lines[0], QStringLiteral("THERE IS A POSSIBLE SECURITY THREAT IN THIS ZIP FILE..."));
        QCOMPARE(lines[3], QStringLiteral("decided to  Unzip the Zip file.  "));
        QCOMPARE(buttons, QStringLiteral("DO NOT UNZIP THE FILES|HALT THE UNZIP PROCESS|IGNORE"));
        QVERIFY(f_.prompter.messages.isEmpty());
        QCOMPARE(f_.page->RowCount(), 4);
        QVERIFY(PageFixture::files(base).isEmpty());

        // IGNORE: the climbing entries are written inside the destination.
        f_.prompter.onDialog([](QDialog& d) {
            QTest::mouseClick(static_cast<TZipSecurityForm&>(d).IgnoreButton, Qt::LeftButton);
            return d.result();
        });
        f_.page->DoUnzip(dest);
        const QStringList written = PageFixture::files(base);
        for (const QString& file : written)
            QVERIFY2(file.startsWith(QStringLiteral("in/dest/")), qPrintable(file));
        QVERIFY(written.contains(QStringLiteral("in/dest/ok.txt")));
        QCOMPARE(written.size(), 3);
        QCOMPARE(f_.page->RowCount(), 4);

        // DO NOT UNZIP: only the highlighted climbing rows go; the rest is extracted.
        QDir(base).removeRecursively();
        QDir().mkpath(dest);
        f_.prompter.clear();
        f_.prompter.onDialog([](QDialog& d) {
            QTest::mouseClick(static_cast<TZipSecurityForm&>(d).DoNotUnzipButton, Qt::LeftButton);
            return d.result();
        });
        f_.page->DoUnzip(dest);
        QCOMPARE(f_.page->RowCount(), 2);
        QCOMPARE(f_.page->UnzipListModel->item(0, 0)->text(), QStringLiteral("ok.txt"));
        QCOMPARE(f_.page->UnzipListModel->item(1, 0)->text(), QStringLiteral("left.txt"));
        QCOMPARE(PageFixture::files(base), QStringList{QStringLiteral("in/dest/ok.txt")});
        QVERIFY(f_.prompter.messages.isEmpty());  // a given destination is quiet
        QCOMPARE(f_.page->UnzipNumFilesEdit->text(), QStringLiteral("2"));
    }

    void replaceQuestions()
    {
        const QString archive = threeTexts();
        f_.open(archive);
        const QString dest = f_.folder(QStringLiteral("rep"));
        auto fillDisk = [&] {
            for (const char* n : {"a.txt", "b.txt", "sub/c.txt"})
                testtools::writeFile(dest + QLatin1Char('/') + QLatin1String(n), "disk");
        };
        fillDisk();
        // The disk's b.txt is newer than the archive's.
        {
            QFile b(dest + QStringLiteral("/b.txt"));
            QVERIFY(b.open(QIODevice::ReadWrite));
            QVERIFY(b.setFileTime(QDateTime::currentDateTime().addDays(1), QFileDevice::FileModificationTime));
            QFile a(dest + QStringLiteral("/a.txt"));
            QVERIFY(a.open(QIODevice::ReadWrite));
            QVERIFY(a.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0)), QFileDevice::FileModificationTime));
        }
        f_.prompter.clear();
        f_.prompter.answer(PromptButton::No);
        f_.prompter.answer(PromptButton::YesToAll);
        unzipTo(dest);
        QCOMPARE(f_.prompter.messages.size(), 3);
        QCOMPARE(f_.prompter.messages[0].buttons, PromptButtons::YesNoAll);
        QVERIFY2(f_.prompter.messages[0].text.endsWith(QStringLiteral("/a.txt\r\rTHE FILE IN THE ZIP FILE WILL REPLACE THE FILE ON DISK\r") + ReplaceTail),
                 qPrintable(f_.prompter.messages[0].text));
        QVERIFY2(f_.prompter.messages[1].text.endsWith(QStringLiteral("/b.txt\r\rTHE FILE IN THE ZIP FILE IS OLDER THAN THE FILE ON DISK\r") + ReplaceTail),
                 qPrintable(f_.prompter.messages[1].text));
        QCOMPARE(f_.prompter.messages[2].text, success(QStringLiteral("three.zip"), dest));
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/a.txt")), QByteArray("disk"));
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/b.txt")), QByteArray("bravo"));
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/sub/c.txt")), QByteArray("charlie"));

        // The next UNZIP asks again; No to All keeps every file.
        fillDisk();
        f_.prompter.clear();
        f_.prompter.answer(PromptButton::NoToAll);
        unzipTo(dest);
        QCOMPARE(f_.prompter.messages.size(), 2);
        for (const char* n : {"a.txt", "b.txt", "sub/c.txt"})
            QCOMPARE(testtools::readFile(dest + QLatin1Char('/') + QLatin1String(n)), QByteArray("disk"));

        // With the overwrite option on nothing is asked.
        f_.form->settings().ExtractOverwrite = true;
        f_.prompter.clear();
        unzipTo(dest);
        QCOMPARE(f_.prompter.texts(), QStringList{success(QStringLiteral("three.zip"), dest)});
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/a.txt")), QByteArray("alpha"));

        // The same zip extracted again: the disk files carry the entries' own
        // times, so none of the archive's copies is older.
        f_.form->settings().ExtractOverwrite = false;
        f_.prompter.clear();
        for (int i = 0; i < 3; ++i)
            f_.prompter.answer(PromptButton::No);
        unzipTo(dest);
        QCOMPARE(f_.prompter.messages.size(), 4);
        for (int i = 0; i < 3; ++i)
            QVERIFY2(f_.prompter.messages[i].text.contains(
                         QStringLiteral("\r\rTHE FILE IN THE ZIP FILE WILL REPLACE THE FILE ON DISK\r")),
                     qPrintable(f_.prompter.messages[i].text));
        QVERIFY(f_.prompter.messages[0].text.startsWith(dest + QStringLiteral("/a.txt\r")));
    }

    void givenDestinationIsQuiet()
    {
        f_.open(threeTexts());
        const QString dest = f_.folder(QStringLiteral("quiet"));
        testtools::writeFile(dest + QStringLiteral("/a.txt"), "disk");
        f_.prompter.clear();
        f_.page->DoUnzip(dest);
        QVERIFY(f_.prompter.messages.isEmpty());
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/a.txt")), QByteArray("alpha"));
        QVERIFY(f_.form->appState().BatchState.YesToAll);
        // The image browser's variant replaces without asking as well.
        testtools::writeFile(dest + QStringLiteral("/a.txt"), "disk");
        f_.page->DoGraphicsUnzip(dest);
        QVERIFY(f_.prompter.messages.isEmpty());
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/a.txt")), QByteArray("alpha"));
    }

    void nothingHighlighted()
    {
        f_.open(threeTexts());
        QTest::mouseClick(f_.page->UnSelectAllButton, Qt::LeftButton);
        const QString dest = f_.folder(QStringLiteral("none"));
        f_.prompter.clear();
        f_.prompter.answerFolder(dest);
        f_.page->UnzipButtonClick();
        QCOMPARE(f_.prompter.texts(), QStringList{NoHighlight});
        QVERIFY(PageFixture::files(dest).isEmpty());
        QVERIFY(f_.form->ZipEngine->FSpecArgs.isEmpty());
        // The image browser's variant says nothing.
        f_.prompter.clear();
        f_.page->DoGraphicsUnzip(dest);
        QVERIFY(f_.prompter.messages.isEmpty());
    }
    void infoZipArchivesExtractIdentically()
    {
        const QString zipTool = QStandardPaths::findExecutable(QStringLiteral("zip"));
        QVERIFY2(!zipTool.isEmpty(), "Info-ZIP zip is needed and missing (scripts/setup.sh installs it)");
        const QString src = f_.folder(QStringLiteral("src"));
        QRandomGenerator rng(7);
        QHash<QString, QByteArray> want;
        const QStringList names{QStringLiteral("top.bin"), QStringLiteral("docs/readme.txt"),
                                QStringLiteral("docs/deep/er/data.bin"), QStringLiteral("empty.txt"),
                                QStringLiteral("pics/photo one.jpg")};
        for (int i = 0; i < names.size(); ++i) {
            QByteArray bytes;
            const int size = i == 3 ? 0 : 1000 + i * 70000;
            for (int k = 0; k < size; ++k)
                bytes.append(char(k % 3 == 0 ? rng.bounded(256) : 'a' + k % 7));
            want.insert(names[i], bytes);
            testtools::writeFile(src + QLatin1Char('/') + names[i], bytes);
        }
        const QString archive = f_.path(QStringLiteral("infozip.zip"));
        QProcess p;
        p.setWorkingDirectory(src);
        p.start(zipTool, {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-X"), archive, QStringLiteral(".")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);

        f_.open(archive);
        QCOMPARE(f_.page->RowCount(), names.size() + 4);  // with the four folder entries
        const QString dest = f_.folder(QStringLiteral("izip"));
        f_.prompter.clear();
        unzipTo(dest);
        QCOMPARE(f_.prompter.texts(), QStringList{success(QStringLiteral("infozip.zip"), dest)});
        QStringList sorted = names;
        sorted.sort();
        QCOMPARE(PageFixture::files(dest), sorted);
        for (const QString& n : names)
            QVERIFY2(testtools::readFile(dest + QLatin1Char('/') + n) == want[n], qPrintable(n));

        // Folder names off: every file lands in the destination itself.
        f_.form->settings().ExtractFolderNames = false;
        const QString flat = f_.folder(QStringLiteral("flat"));
        unzipTo(flat);
        QStringList bare;
        for (const QString& n : names)
            bare << QFileInfo(n).fileName();
        bare.sort();
        QCOMPARE(PageFixture::files(flat), bare);
        QVERIFY(testtools::readFile(flat + QStringLiteral("/data.bin")) == want[QStringLiteral("docs/deep/er/data.bin")]);
    }

    void updateAndFreshenAgainstDisk()
    {
        const QString zipTool = QStandardPaths::findExecutable(QStringLiteral("zip"));
        QVERIFY2(!zipTool.isEmpty(), "Info-ZIP zip is needed and missing (scripts/setup.sh installs it)");
        const QString src = f_.folder(QStringLiteral("usrc"));
        const QDateTime archived(QDate(2020, 1, 1), QTime(12, 0));
        auto stamp = [](const QString& file, const QDateTime& t) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(t, QFileDevice::FileModificationTime));
        };
        for (const char* n : {"old.txt", "new.txt", "only.txt"}) {
            testtools::writeFile(src + QLatin1Char('/') + QLatin1String(n), QByteArray("archive ") + n);
            stamp(src + QLatin1Char('/') + QLatin1String(n), archived);
        }
        const QString archive = f_.path(QStringLiteral("upd.zip"));
        QProcess p;
        p.setWorkingDirectory(src);
        p.start(zipTool, {QStringLiteral("-q"), QStringLiteral("-X"), archive, QStringLiteral("old.txt"),
                          QStringLiteral("new.txt"), QStringLiteral("only.txt")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        f_.open(archive);
        f_.form->settings().ExtractOverwrite = true;

        auto prepare = [&](const QString& dest) {
            // old.txt on disk is older than the archive's, new.txt newer, only.txt missing.
            testtools::writeFile(dest + QStringLiteral("/old.txt"), "disk old");
            stamp(dest + QStringLiteral("/old.txt"), archived.addYears(-1));
            testtools::writeFile(dest + QStringLiteral("/new.txt"), "disk new");
            stamp(dest + QStringLiteral("/new.txt"), archived.addYears(1));
        };
        const QString upd = f_.folder(QStringLiteral("update"));
        prepare(upd);
        f_.form->settings().ExtractUpdate = true;
        unzipTo(upd);
        QCOMPARE(testtools::readFile(upd + QStringLiteral("/old.txt")), QByteArray("archive old.txt"));
        QCOMPARE(testtools::readFile(upd + QStringLiteral("/new.txt")), QByteArray("disk new"));
        QCOMPARE(testtools::readFile(upd + QStringLiteral("/only.txt")), QByteArray("archive only.txt"));

        const QString fre = f_.folder(QStringLiteral("freshen"));
        prepare(fre);
        f_.form->settings().ExtractUpdate = false;
        f_.form->settings().ExtractFreshen = true;
        unzipTo(fre);
        QCOMPARE(testtools::readFile(fre + QStringLiteral("/old.txt")), QByteArray("archive old.txt"));
        QCOMPARE(testtools::readFile(fre + QStringLiteral("/new.txt")), QByteArray("disk new"));
        QVERIFY(!QFileInfo::exists(fre + QStringLiteral("/only.txt")));
    }

    void overwriteHandlerOrder()
    {
        TForm1& w = *f_.form;
        TBatchState& b = w.appState().BatchState;
        w.ZipEngine->ExtrOptions = TZipEngine::ExtrDirNames;
        bool replace = true;
        auto reset = [&] {
            b.Running = false;
            b.ScanMode = false;
            b.NoToAll = false;
            b.YesToAll = false;
            b.OverwriteAll = false;
        };
        // A batch run never replaces and never asks.
        reset();
        b.Running = true;
        b.YesToAll = true;
        w.ZipEngineExtractOverwrite(QStringLiteral("x"), true, replace);
        QVERIFY(!replace);
        // No to All before Yes to All before the overwrite answer.
        reset();
        b.NoToAll = true;
        b.YesToAll = true;
        replace = true;
        w.ZipEngineExtractOverwrite(QStringLiteral("x"), true, replace);
        QVERIFY(!replace);
        reset();
        b.YesToAll = true;
        w.ZipEngineExtractOverwrite(QStringLiteral("x"), true, replace);
        QVERIFY(replace);
        reset();
        b.OverwriteAll = true;
        replace = false;
        w.ZipEngineExtractOverwrite(QStringLiteral("x"), true, replace);
        QVERIFY(replace);
        // The engine's overwrite option on: its proposal stands.
        reset();
        w.ZipEngine->ExtrOptions = TZipEngine::ExtrOverWrite;
        replace = false;
        w.ZipEngineExtractOverwrite(QStringLiteral("x"), true, replace);
        QVERIFY(!replace);
        QVERIFY(f_.prompter.messages.isEmpty());
        // Asked: Yes to All sets both marks, No to All clears OverwriteAll.
        w.ZipEngine->ExtrOptions = 0;
        f_.prompter.answer(PromptButton::YesToAll);
        w.ZipEngineExtractOverwrite(QStringLiteral("docs\\a.txt"), true, replace);
        QVERIFY(replace && b.OverwriteAll && b.YesToAll);
        QCOMPARE(f_.prompter.lastText(), QStringLiteral("docs\\a.txt\r\rTHE FILE IN THE ZIP FILE WILL REPLACE THE FILE ON DISK\r") + ReplaceTail);
        reset();
        b.OverwriteAll = false;
        f_.prompter.answer(PromptButton::NoToAll);
        w.ZipEngineExtractOverwrite(QStringLiteral("a"), false, replace);
        QVERIFY(!replace && b.NoToAll && !b.OverwriteAll);
        reset();
        f_.prompter.answer(PromptButton::Yes);
        w.ZipEngineExtractOverwrite(QStringLiteral("a"), false, replace);
        QVERIFY(replace && !b.YesToAll && !b.OverwriteAll);
        reset();
    }

    void progressBars()
    {
        TForm1& w = *f_.form;
        TBatchState& b = w.appState().BatchState;
        QProgressBar* unzip = f_.page->UnzipProgressBar;
        QProgressBar* zip = w.CreatePage->ZipProgressBar;
        QProgressBar* batch = w.BatchPage->BatchFileProgressBar;
        b.ZipUnzippedSize = 200;
        b.BytesDone = 0;
        b.ProgressTarget = 0;
        w.ZipEngineProgress(TZipEngine::ProgressNewFile, QStringLiteral("a"), 150);
        w.ZipEngineProgress(TZipEngine::ProgressTotalSize, QString(), 150);
        QCOMPARE(unzip->value(), 0);
        QCOMPARE(b.BytesDone.load(), 0);
        w.ZipEngineProgress(TZipEngine::ProgressBytes, QString(), 50);
        QCOMPARE(unzip->value(), 25);
        w.ZipEngineProgress(TZipEngine::ProgressBytes, QString(), 99);
        QCOMPARE(unzip->value(), 74);
        // The create page's bar only while relative paths are off.
        b.ProgressTarget = 1;
        w.settings().RelativePaths = true;
        w.ZipEngineProgress(TZipEngine::ProgressBytes, QString(), 10);
        QCOMPARE(b.BytesDone.load(), 149);
        w.settings().RelativePaths = false;
        w.ZipEngineProgress(TZipEngine::ProgressBytes, QString(), 1);
        QCOMPARE(zip->value(), 75);
        // Target 3 and an unknown total are ignored.
        b.ProgressTarget = 3;
        w.ZipEngineProgress(TZipEngine::ProgressBytes, QString(), 10);
        b.ProgressTarget = 0;
        b.ZipUnzippedSize = 0;
        w.ZipEngineProgress(TZipEngine::ProgressBytes, QString(), 10);
        QCOMPARE(b.BytesDone.load(), 150);
        // 64-bit arithmetic: totals above 2^31 do not overflow.
        b.ZipUnzippedSize = int64_t(6) << 30;
        b.BytesDone = int64_t(3) << 30;
        w.ZipEngineProgress(TZipEngine::ProgressBytes, QString(), 0);
        QCOMPARE(unzip->value(), 50);

        // From a worker thread the batch bar changes through the window's event loop.
        b.ProgressTarget = 2;
        b.ZipUnzippedSize = 100;
        b.BytesDone = 0;
        batch->setValue(0);
        QThread* worker = QThread::create([&w] { w.ZipEngineProgress(TZipEngine::ProgressBytes, QString(), 40); });
        worker->start();
        QVERIFY(worker->wait(10000));
        delete worker;
        QCOMPARE(batch->value(), 0);
        QTRY_COMPARE(batch->value(), 40);
        b.ProgressTarget = 0;
        b.ZipUnzippedSize = 0;
    }

    void engineMessages()
    {
        TForm1& w = *f_.form;
        w.ZipEngineMessage(0, QStringLiteral("plain trace"));
        QVERIFY(f_.prompter.messages.isEmpty());
        w.ZipEngineMessage(11, QStringLiteral("no matching entries"));
        QCOMPARE(f_.prompter.texts(), QStringList{QStringLiteral("ERROR : no matching entries")});
        // Silent while a batch runs.
        w.appState().BatchState.Running = true;
        w.ZipEngineMessage(2, QStringLiteral("bad zip"));
        w.appState().BatchState.Running = false;
        QCOMPARE(f_.prompter.messages.size(), 1);
    }

    void tarReplaceQuestion()
    {
        const QString disk = f_.path(QStringLiteral("tarq/readme.txt"));
        // No file there (or a folder): Yes without a question.
        QCOMPARE(OverWriteWarning(f_.prompter, disk, QStringLiteral("docs\\readme.txt"), QStringLiteral("d"), 5), PromptButton::Yes);
        QDir().mkpath(disk);
        QCOMPARE(OverWriteWarning(f_.prompter, disk, QStringLiteral("docs\\readme.txt"), QStringLiteral("d"), 5), PromptButton::Yes);
        QVERIFY(f_.prompter.messages.isEmpty());
        QDir().rmdir(disk);
        testtools::writeFile(disk, QByteArray(1536, 'x'));
        const QString when = Platform::DateTimeText(QFileInfo(disk).lastModified());
        f_.prompter.answer(PromptButton::NoToAll);
        QCOMPARE(OverWriteWarning(f_.prompter, disk, QStringLiteral("docs\\readme.txt"), QStringLiteral("1/2/24 3:04:05"), 100),
                 PromptButton::NoToAll);
        QCOMPARE(f_.prompter.lastText(), QStringLiteral("REPLACE THE FILE \r") + disk + QStringLiteral("  1.5 KB  ") + when +
                                             QStringLiteral("\rWITH THE ARCHIVE FILE \rdocs\\readme.txt  0.09765625 KB  1/2/24 3:04:05"));
        QCOMPARE(f_.prompter.messages.last().buttons, PromptButtons::YesNoAll);
        QCOMPARE(KiloBytesText(0), QStringLiteral("0"));
        QCOMPARE(KiloBytesText(2048), QStringLiteral("2"));
    }
};

QTEST_MAIN(TestUnzipExtract)
#include "test_unzip_extract.moc"
