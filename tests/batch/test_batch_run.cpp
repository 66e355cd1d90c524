// The batch run: the destination and move dialogs, the room checks, the
// worker extracting real zips with the window's engine, the folder names,
// the moves, STOP, the end of the run and its message.

#include "BatchFixture.h"

#include "app/TPasswordDlg.h"
#include "batch/BatchRules.h"
#include "zipengine/TZipEngine.h"

#include <QProcess>
#include <QProgressBar>
#include <QThread>
#include <atomic>

namespace {
const QString kDoneHead = QStringLiteral("THE BATCH UNZIP PROCESS IS COMPLETE.\r\rTHE ZIP FILES HAVE BEEN UNZIPPED ");
const QString kSameFolder = QStringLiteral("INTO THE SAME FOLDER IN WHICH THE ZIP FILE WAS LOCATED. \r\r");
const QString kNotMoved = QStringLiteral("THE ZIP FILES WERE NOT MOVED. \r\r");
const QString kHighlight = QStringLiteral(
    "YOU MUST HIGHLIGHT AT LEAST ONE ZIP FILE TO SELECT IT. Highlighted Zipfiles will be unzipped.   Press SELECT ALL to "
    "highlight all the zip files or click on the Zipfiles you want to batch unzip (while holding down the CTRL or SHIFT "
    "keys to make multiple selections).");

QString movedText(const QString& folder, bool recreated)
{
    return QStringLiteral("THE ZIP FILES WERE MOVED TO THE FOLDER ") + folder + QStringLiteral(". \r\r") +
           QStringLiteral("THE DIRECTORY STRUCTURE WHERE THE ZIP FILES WERE FOUND ") +
           (recreated ? QStringLiteral("WAS RECREATED.") : QStringLiteral("WAS NOT RECREATED."));
}
} // namespace

class TestBatchRun : public QObject {
    Q_OBJECT
    BatchFixture fx;

    TZipEngine& engine() { return *fx.form->ZipEngine; }
    bool modulesLoaded() { return engine().UnzLibVersion() > 0; }
    QString lastText() const { return fx.prompter.lastText(); }
    // Moving to `keep` through "?" (folder made).
    void moveTo(const QString& keep) { fx.chooseMoveFolder(keep); }

private slots:
    void init()
    {
        fx.start();
        QVERIFY2(modulesLoaded(), "the compression modules are not built");
    }
    void cleanup()
    {
        fx.stop();
    }

    void folderNames()
    {
        using namespace BatchRules;
        QCOMPARE(ExtractFolderName(QStringLiteral("photos.zip")), QStringLiteral("photos"));
        QCOMPARE(ExtractFolderName(QStringLiteral("x.zip.zip")), QStringLiteral("x"));
        QCOMPARE(ExtractFolderName(QStringLiteral("Report.ZIP")), QStringLiteral("Report.ZIP"));
        const QString base = fx.path(QStringLiteral("names"));
        QDir().mkpath(base);
        QStringList made;
        for (int i = 0; i < 11; ++i) {
            const QString f = UniqueExtractFolder(base, QStringLiteral("report"));
            QVERIFY(QDir().mkpath(f));
            made << QFileInfo(f).fileName();
        }
        QCOMPARE(made.mid(0, 3), QStringList({QStringLiteral("report"), QStringLiteral("report01"), QStringLiteral("report02")}));
        QCOMPARE(made.last(), QStringLiteral("report010"));
        // A file of the folder's name blocks it too.
        testtools::writeFile(Platform::JoinPath(base, QStringLiteral("memo")), "a file");
        QCOMPARE(UniqueExtractFolder(base, QStringLiteral("memo")), Platform::JoinPath(base, QStringLiteral("memo01")));

        QVERIFY(KeepInPlace(QStringLiteral("/c/Windows/a.zip")));
        QVERIFY(KeepInPlace(QStringLiteral("/c/Program Files/app/a.zip")));
        QVERIFY(KeepInPlace(QStringLiteral("/c/tools/Java-kit.zip")));
        QVERIFY(!KeepInPlace(QStringLiteral("/c/tools/a.zip")));
        QCOMPARE(MoveTarget(QStringLiteral("/keep"), QStringLiteral("/d/a/b/z.zip"), false, true), QStringLiteral("/keep/d/a/b"));
        QCOMPARE(MoveTarget(QStringLiteral("/keep"), QStringLiteral("/z.zip"), false, true), QStringLiteral("/keep"));
        QCOMPARE(MoveTarget(QStringLiteral("/keep"), QStringLiteral("/d/a/b/z.zip"), true, true), QStringLiteral("/keep/ZipError"));
        QCOMPARE(MoveTarget(QStringLiteral("/keep/"), QStringLiteral("/d/z.zip"), false, false), QStringLiteral("/keep"));
    }

    void besideTheZipThenAgain()
    {
        const QString photos = fx.zip(QStringLiteral("data/photos.zip"),
                                      {{QStringLiteral("cat.jpg"), QByteArray(3000, 'c')}, {QStringLiteral("sub/dog.jpg"), "woof"}});
        fx.select({photos});
        fx.unzip();
        QCOMPARE(lastText(), kDoneHead + kSameFolder + kNotMoved);
        QCOMPARE(testtools::readFile(fx.path(QStringLiteral("data/photos/cat.jpg"))), QByteArray(3000, 'c'));
        QCOMPARE(testtools::readFile(fx.path(QStringLiteral("data/photos/sub/dog.jpg"))), QByteArray("woof"));
        QCOMPARE(fx.rows(), 0);
        QVERIFY(QFileInfo::exists(photos));  // extraction leaves the zip where it was
        QVERIFY(!fx.state().Running);
        QVERIFY(!fx.page->BatchThreadStopButton->isEnabled());
        QCOMPARE(fx.page->BatchCompleteEdit->text(), QStringLiteral("0"));
        QCOMPARE(fx.page->BatchFileProgressBar->value(), 0);
        QCOMPARE(fx.page->BatchPathStatusBar->currentMessage(), QString());
        QVERIFY(fx.page->BatchUnzipOpenFileButton->isEnabled());
        QVERIFY(!fx.page->BatchUnzipButton->isEnabled());  // nothing left to unzip
        QVERIFY(fx.form->appState().WorkList.isEmpty());
        // The engine is the window's again.
        QCOMPARE(engine().ExtrOptions, uint8_t(TZipEngine::ExtrDirNames | TZipEngine::ExtrOverWrite));
        QVERIFY(fx.form->SelectPage(TForm1::UnzipPageIndex));
        QVERIFY(fx.form->SelectPage(TForm1::BatchPageIndex));

        fx.select({photos});
        fx.unzip();
        QCOMPARE(testtools::readFile(fx.path(QStringLiteral("data/photos01/sub/dog.jpg"))), QByteArray("woof"));
    }

    void chosenFolderNames()
    {
        const QString out = fx.path(QStringLiteral("out"));
        const QString a1 = fx.zip(QStringLiteral("p/a.zip"), {{QStringLiteral("one.txt"), "from p"}});
        const QString a2 = fx.zip(QStringLiteral("q/a.zip"), {{QStringLiteral("one.txt"), "from q"}});
        const QString xx = fx.zip(QStringLiteral("q/x.zip.zip"), {{QStringLiteral("x.txt"), "x"}});
        const QString upper = fx.zip(QStringLiteral("r/Report.ZIP"), {{QStringLiteral("r.txt"), "r"}});
        fx.select({a1, a2, xx, upper});
        fx.unzip(out);
        QCOMPARE(lastText(), kDoneHead + QStringLiteral("INTO THE FOLDER ") + out + QStringLiteral(". \r\r") + kNotMoved);
        QCOMPARE(testtools::readFile(out + QStringLiteral("/a/one.txt")), QByteArray("from p"));
        QCOMPARE(testtools::readFile(out + QStringLiteral("/a01/one.txt")), QByteArray("from q"));
        QCOMPARE(testtools::readFile(out + QStringLiteral("/x/x.txt")), QByteArray("x"));
        QCOMPARE(testtools::readFile(out + QStringLiteral("/Report.ZIP/r.txt")), QByteArray("r"));
        QCOMPARE(fx.rows(), 0);
    }

    void scannedUpperCaseZip()
    {
        fx.zip(QStringLiteral("s/PICS.ZIP"), {{QStringLiteral("p.txt"), "pics"}});
        fx.scan(fx.path(QStringLiteral("s")));
        QCOMPARE(fx.names(), QStringList({QStringLiteral("pics.zip")}));
        fx.unzip();
        // The row's lower-case name gives the folder; the zip itself is read under its own name.
        QCOMPARE(testtools::readFile(fx.path(QStringLiteral("s/pics/p.txt"))), QByteArray("pics"));
        QCOMPARE(fx.rows(), 0);
    }

    void cancelledChoicesStartNothing()
    {
        fx.select({fx.zip(QStringLiteral("a.zip"))});
        // The second item, then no folder.
        fx.answerDestination(fx.path(QStringLiteral("x")));
        fx.prompter.folders.back() = QString();
        fx.page->BatchUnzipButton->click();
        QVERIFY(!fx.state().Running);
        QVERIFY(fx.prompter.messages.isEmpty());
        QCOMPARE(fx.prompter.dialogTitles, QStringList({QStringLiteral("Select Destination for Unzipped files")}));

        // The destination dialog closed without OK.
        fx.prompter.onDialog([](QDialog& d) {
            d.reject();
            return d.result();
        });
        fx.page->BatchUnzipButton->click();
        QVERIFY(!fx.state().Running);

        // Cancel in the move-options dialog.
        moveTo(fx.path(QStringLiteral("keep")));
        fx.answerDestination(QString());
        fx.answerMoveOptions(true, true);
        fx.page->BatchUnzipButton->click();
        QVERIFY(!fx.state().Running);
        QCOMPARE(fx.prompter.dialogTitles.last(), QStringLiteral("Move Zip File Folder Creation Options"));
        QCOMPARE(fx.rows(), 1);
        QVERIFY(!QFileInfo::exists(fx.path(QStringLiteral("a"))));
    }

    void nothingHighlighted()
    {
        fx.select({fx.zip(QStringLiteral("a.zip"))});
        fx.selectOnly({});
        fx.answerDestination(QString());
        fx.page->BatchUnzipButton->click();
        QCOMPARE(lastText(), kHighlight);
        QVERIFY(!fx.state().Running);
        QCOMPARE(fx.rows(), 1);
    }

    void roomChecks()
    {
        const QString a = fx.zip(QStringLiteral("a.zip"), {{QStringLiteral("big"), QByteArray(4000, 'b')}});
        fx.select({a});
        const QString out = fx.path(QStringLiteral("out"));

        Platform::SetFreeOnDiskHook([](const QString&) { return qint64(4000); });
        fx.unzip(out);
        QCOMPARE(lastText(), QStringLiteral("THERE IS NOT ENOUGH ROOM ON THE SLECTED DISK DRIVE FOR THE UNZIPPED FILES.\r\r"
                                            "SELECT A NEW FOLDER ON A DRIVE WITH MORE FREE SPACE"));
        QCOMPARE(fx.rows(), 1);

        // Too little room for the moved zips: the move choice is dropped.
        const QString keep = fx.path(QStringLiteral("keep"));
        Platform::SetFreeOnDiskHook({});
        moveTo(keep);
        QVERIFY(fx.page->MoveZipFileCheckBox->isChecked());
        Platform::SetFreeOnDiskHook([](const QString& p) { return p.contains(QStringLiteral("keep")) ? qint64(10) : qint64(1) << 40; });
        fx.unzip(out);
        QCOMPARE(lastText(), QStringLiteral("THERE IS NOT ENOUGH ROOM TO MOVE THE ZIP FILES TO THE DRIVE YOU HAVE CHOSEN.YOU MUST "
                                            "EITHER UNCHECK THE MOVE ZIP FILE CHECKBOX OR CHOOSE ANOTHER DRIVE WITH MORE FREE SPACE."));
        QVERIFY(!fx.page->MoveZipFileCheckBox->isChecked());
        QCOMPARE(fx.page->MoveFolderEdit->text(), QString());
        QCOMPARE(fx.rows(), 1);

        if (!Platform::IsOnSystemFileSystem(out))
            QSKIP("the test folder is not on the system's file system");
        // Little room on the system's own file system: the warning question.
        Platform::SetFreeOnDiskHook([](const QString&) { return qint64(12345678); });
        fx.prompter.answer(PromptButton::Cancel);
        fx.unzip(out);
        const RecordedMessage& q = fx.prompter.messages.last();
        QCOMPARE(q.kind, PromptKind::Warning);
        QCOMPARE(q.buttons, PromptButtons::YesCancel);
        QVERIFY(q.text.startsWith(QStringLiteral("YOU ARE ATTEMPTING TO EXTRACT THE ZIP FILES TO DRIVE \"C\"\rON A TYPICAL")));
        QVERIFY(q.text.contains(QStringLiteral("THIS DRIVE HAS\r12 MEGABYTES OF FREE SPACE REMAINING\r\r")));
        QVERIFY(q.text.endsWith(QStringLiteral("EXTRACT THE ZIP FILE TO THE \"C\" DRIVE?")));
        QCOMPARE(fx.rows(), 1);
        fx.prompter.answer(PromptButton::Yes);
        fx.unzip(out);
        QVERIFY(lastText().startsWith(kDoneHead));
        QCOMPARE(fx.rows(), 0);
        QCOMPARE(testtools::readFile(out + QStringLiteral("/a/big")), QByteArray(4000, 'b'));
    }

    void movesKeepOrFlattenFolders()
    {
        const QString keep = fx.path(QStringLiteral("keep"));
        const QString z1 = fx.zip(QStringLiteral("d/a/b/z.zip"), {{QStringLiteral("z.txt"), "one"}});
        const QByteArray z1Bytes = testtools::readFile(z1);
        fx.select({z1});
        moveTo(keep);
        fx.answerDestination(QString());
        fx.answerMoveOptions(true);
        fx.page->BatchUnzipButton->click();
        fx.waitForEnd();
        QCOMPARE(lastText(), kDoneHead + kSameFolder + movedText(keep, true));
        const QString recreated = keep + fx.path(QStringLiteral("d/a/b/z.zip"));
        QCOMPARE(testtools::readFile(recreated), z1Bytes);
        QVERIFY(!QFileInfo::exists(z1));
        QCOMPARE(testtools::readFile(fx.path(QStringLiteral("d/a/b/z/z.txt"))), QByteArray("one"));

        // Flat: a second z.zip of the same name goes into dupe01.
        const QString z2 = fx.zip(QStringLiteral("e/z.zip"), {{QStringLiteral("z.txt"), "two"}});
        const QString z3 = fx.zip(QStringLiteral("f/z.zip"), {{QStringLiteral("z.txt"), "three"}});
        const QByteArray z3Bytes = testtools::readFile(z3);
        fx.select({z2, z3});
        fx.answerDestination(QString());
        fx.answerMoveOptions(false);
        fx.page->BatchUnzipButton->click();
        fx.waitForEnd();
        QCOMPARE(lastText(), kDoneHead + kSameFolder + movedText(keep, false));
        QVERIFY(QFileInfo::exists(keep + QStringLiteral("/z.zip")));
        QCOMPARE(testtools::readFile(keep + QStringLiteral("/dupe01/z.zip")), z3Bytes);
        QVERIFY(!QFileInfo::exists(z2) && !QFileInfo::exists(z3));
    }

    void protectedFoldersAndFailuresWhenMoving()
    {
        const QString keep = fx.path(QStringLiteral("keep"));
        const QString prog = fx.zip(QStringLiteral("Program Files/tool/p.zip"));
        const QString win = fx.zip(QStringLiteral("WINDOWS/w.zip"));
        const QString java = fx.zip(QStringLiteral("lib/java-runtime.zip"));
        const QString good = fx.zip(QStringLiteral("lib/good.zip"));
        const QString bad = fx.path(QStringLiteral("lib/bad.zip"));
        testtools::writeFile(bad, QByteArray("PK\x03\x04", 4) + QByteArray(200, '\x11'));
        const QString readOnly = fx.zip(QStringLiteral("ro/locked.zip"));
        QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));

        fx.select({prog, win, java, good, bad, readOnly});
        moveTo(keep);
        fx.answerDestination(QString());
        fx.answerMoveOptions(true);
        fx.page->BatchUnzipButton->click();
        fx.waitForEnd();
        // The report counts the failed zip before it speaks of the others.
        QVERIFY2(lastText().startsWith(QStringLiteral(
                     "THE BATCH UNZIP PROCESS IS COMPLETE.\r\r1 OF THE 6 ZIP FILES COULD NOT BE UNZIPPED.  THEIR ROWS "
                     "ARE MARKED WITH A RED CROSS; POINT AT A ROW TO SEE WHY.\r\rTHE OTHER ZIP FILES HAVE BEEN UNZIPPED "
                     "INTO THE SAME FOLDER IN WHICH THE ZIP FILE WAS LOCATED. \r\r")),
                 qPrintable(lastText()));
        // Extracted, never moved.
        for (const QString& z : {prog, win, java})
            QVERIFY2(QFileInfo::exists(z), qPrintable(z));
        QVERIFY(QFileInfo::exists(fx.path(QStringLiteral("Program Files/tool/p/a.txt"))));
        QVERIFY(QFileInfo::exists(fx.path(QStringLiteral("lib/java-runtime/a.txt"))));
        // Moved with the folder structure.
        QVERIFY(!QFileInfo::exists(good));
        QVERIFY(QFileInfo::exists(keep + fx.path(QStringLiteral("lib/good.zip"))));
        // A read-only zip is still removed after its copy.
        QVERIFY(!QFileInfo::exists(readOnly));
        QVERIFY(QFileInfo::exists(keep + fx.path(QStringLiteral("ro/locked.zip"))));
        // The failed zip goes to ZipError and keeps its row with the red cross.
        QVERIFY(!QFileInfo::exists(bad));
        QVERIFY(QFileInfo::exists(keep + QStringLiteral("/ZipError/bad.zip")));
        QCOMPARE(fx.names(), QStringList({QStringLiteral("bad.zip")}));
        QCOMPARE(fx.icon(0), int(TBatchPage::FailedIcon));
        // The row says why, and the empty folder made for it is gone.
        QVERIFY(!fx.page->BatchListModel->item(0, 0)->toolTip().isEmpty());
        QCOMPARE(fx.page->BatchListModel->item(0, 2)->toolTip(), fx.page->BatchListModel->item(0, 0)->toolTip());
        QVERIFY(!QFileInfo::exists(fx.path(QStringLiteral("lib/bad"))));
        QVERIFY(fx.page->BatchUnzipButton->isEnabled());
        // No engine message reached the screen during the run.
        QCOMPARE(fx.prompter.messages.size(), 1);
    }

    void closingTheWindowStopsTheRun()
    {
        QStringList zips;
        for (int i = 0; i < 6; ++i)
            zips << fx.zip(QStringLiteral("c/z%1.zip").arg(i), {{QStringLiteral("f.bin"), QByteArray(20000, 'f')}});
        fx.select(zips);
        // The title bar's close arrives while the first zip is being extracted.
        std::atomic<bool> asked{false};
        TForm1* form = fx.form.get();
        auto previous = engine().OnProgress;
        engine().OnProgress = [&, previous, form](TZipEngine& e, TZipEngine::ProgressType t, const QString& f, int32_t s) {
            if (!asked.exchange(true)) {
                QMetaObject::invokeMethod(form, [form] { form->close(); }, Qt::QueuedConnection);
                QThread::msleep(300);  // the window gets to the close meanwhile
            }
            if (previous)
                previous(e, t, f, s);
        };
        fx.answerDestination(QString());
        fx.page->BatchUnzipButton->click();
        QVERIFY(fx.state().Running);
        QTRY_VERIFY_WITH_TIMEOUT(fx.form->CloseCodeDone(), 60000);
        engine().OnProgress = previous;
        QVERIFY(asked);
        QVERIFY(!fx.state().Running);
        // The run stopped in the zip in work: not every zip was extracted.
        int extracted = 0;
        for (int i = 0; i < 6; ++i)
            extracted += QFileInfo::exists(fx.path(QStringLiteral("c/z%1/f.bin").arg(i)));
        QVERIFY2(extracted < 6, qPrintable(QString::number(extracted)));
    }

    // STOP cuts the zip in work short: it stays listed, unextracted and unmoved.
    void stopCutsTheZipInWorkShort()
    {
        const QString keep = fx.path(QStringLiteral("keep"));
        QStringList zips;
        for (const char* n : {"one.zip", "two.zip", "three.zip"})
            zips << fx.zip(QStringLiteral("z/") + QLatin1String(n), {{QStringLiteral("f.bin"), QByteArray(20000, 'f')}});
        fx.select(zips);
        moveTo(keep);

        // STOP is pressed on the window's thread while the first zip is being extracted.
        std::atomic<bool> pressed{false};
        QThread* gui = QThread::currentThread();
        std::atomic<bool> offWindowThread{false};
        auto previous = engine().OnProgress;
        TBatchPage* page = fx.page;
        engine().OnProgress = [&, previous, page, gui](TZipEngine& e, TZipEngine::ProgressType t, const QString& f, int32_t s) {
            if (QThread::currentThread() != gui)
                offWindowThread = true;
            if (!pressed.exchange(true))
                QMetaObject::invokeMethod(page, [page] { page->BatchThreadStopButton->click(); }, Qt::BlockingQueuedConnection);
            if (previous)
                previous(e, t, f, s);
        };
        fx.answerDestination(QString());
        fx.answerMoveOptions(false);
        fx.page->BatchUnzipButton->click();
        QVERIFY(fx.state().Running);
        QVERIFY(fx.page->BatchThreadStopButton->isEnabled());
        // EXIT does nothing while the run goes on.
        fx.page->BatchExitButton->click();
        QVERIFY(!fx.form->CloseCodeDone());
        fx.waitForEnd();
        engine().OnProgress = previous;

        QVERIFY(pressed);
        QVERIFY(offWindowThread);
        QVERIFY(lastText().startsWith(QStringLiteral("THE BATCH UNZIP PROCESS IS COMPLETE.")));
        QVERIFY(!lastText().contains(QStringLiteral("RED CROSS")));
        QVERIFY(!QFileInfo::exists(fx.path(QStringLiteral("z/one/f.bin"))));
        QVERIFY(!QFileInfo::exists(keep + QStringLiteral("/one.zip")));
        for (const QString& z : zips)
            QVERIFY(QFileInfo::exists(z));
        QCOMPARE(fx.names(), QStringList({QStringLiteral("one.zip"), QStringLiteral("two.zip"), QStringLiteral("three.zip")}));
        QCOMPARE(fx.icon(0), fx.icon(1));
        // The next extraction on the window's engine is not cancelled by the STOP.
        QVERIFY(!engine().CancelFlag);
    }

    void passwordAskedOnTheWindowThread()
    {
        const QString src = fx.path(QStringLiteral("secret.txt"));
        testtools::writeFile(src, "hidden words");
        const QString zip = fx.path(QStringLiteral("locked.zip"));
        QProcess p;
        p.setWorkingDirectory(fx.dir->path());
        p.start(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-P"), QStringLiteral("pw"), zip, QStringLiteral("secret.txt")});
        QVERIFY2(p.waitForFinished() && p.exitCode() == 0, "Info-ZIP zip is needed and missing (scripts/setup.sh installs it)");
        QFile::remove(src);
        fx.select({zip});
        fx.answerDestination(QString());
        QThread* gui = QThread::currentThread();
        bool onWindowThread = false;
        fx.prompter.onDialog([&](QDialog& d) {
            onWindowThread = QThread::currentThread() == gui;
            auto* dlg = dynamic_cast<TPasswordDlg*>(&d);
            if (!dlg)
                return int(QDialog::Rejected);
            dlg->PasswordEdit->setText(QStringLiteral("pw"));
            dlg->Buttons[0]->click();
            return dlg->result();
        });
        fx.page->BatchUnzipButton->click();
        fx.waitForEnd();
        QVERIFY(onWindowThread);
        QCOMPARE(testtools::readFile(fx.path(QStringLiteral("locked/secret.txt"))), QByteArray("hidden words"));
        QCOMPARE(fx.rows(), 0);
    }

    // RAR archives chosen on the page run like zips through the archive
    // layer: the row's unzipped size, a folder named without ".rar", and an
    // entry that cannot be unpacked marks the row with the reason.
    void rarArchives()
    {
        const QString samples = QStringLiteral(QUARN_SOURCE_DIR "/tests/rar/data/");
        QVERIFY(QDir().mkpath(fx.path(QStringLiteral("r"))));
        const QString four = fx.path(QStringLiteral("r/four.rar"));
        const QString locked = fx.path(QStringLiteral("r/locked.rar"));
        QVERIFY(QFile::copy(samples + QStringLiteral("test_read_format_rar5_multiple_files.rar"), four));
        QVERIFY(QFile::copy(samples + QStringLiteral("test_read_format_rar4_encrypted.rar"), locked));
        fx.select({four, locked});
        QVERIFY(fx.prompter.fileRequests.last().filter.contains(QStringLiteral("RAR Files (*.rar)")));
        QCOMPARE(fx.names(), (QStringList{QStringLiteral("four.rar"), QStringLiteral("locked.rar")}));
        QCOMPARE(fx.cell(0, 2), QStringLiteral("16,384"));
        QCOMPARE(fx.cell(1, 2), QStringLiteral("72"));
        fx.unzip();
        for (int i = 1; i <= 4; ++i)
            QCOMPARE(testtools::readFile(fx.path(QStringLiteral("r/four/test%1.bin").arg(i))).size(), 4096);
        // The encrypted entry ends that archive's run; what came before stays.
        QCOMPARE(fx.names(), QStringList{QStringLiteral("locked.rar")});
        QCOMPARE(fx.icon(0), int(TBatchPage::FailedIcon));
        const QString why = fx.page->BatchListModel->item(0, 0)->toolTip();
        QVERIFY2(why.contains(QStringLiteral("b.txt is encrypted")), qPrintable(why));
        QCOMPARE(QDir(fx.path(QStringLiteral("r/locked"))).entryList(QDir::Files), QStringList{QStringLiteral("a.txt")});
        QCOMPARE(BatchRules::ExtractFolderName(QStringLiteral("x.part1.rar")), QStringLiteral("x.part1"));

        // A ".rar" that holds a zip is not read as one.
        const QString fake = fx.path(QStringLiteral("r/fake.rar"));
        QVERIFY(QFile::copy(fx.zip(QStringLiteral("r/real.zip")), fake));
        fx.select({fake});
        fx.selectOnly({1});
        fx.unzip();
        QCOMPARE(fx.names(), (QStringList{QStringLiteral("locked.rar"), QStringLiteral("fake.rar")}));
        QVERIFY2(fx.page->BatchListModel->item(1, 0)->toolTip().contains(QStringLiteral("zip")),
                 qPrintable(fx.page->BatchListModel->item(1, 0)->toolTip()));
    }

    void twoHundredZips()
    {
        // Every 25th zip is damaged; the rest hold two entries each.
        QStringList zips;
        QList<int> damaged;
        for (int i = 0; i < 200; ++i) {
            const QString rel = QStringLiteral("many/d%1/z%2.zip").arg(i % 7).arg(i, 3, 10, QLatin1Char('0'));
            if (i % 25 == 3) {
                const QString p = fx.path(rel);
                testtools::writeFile(p, QByteArray("PK\x03\x04", 4) + QByteArray(100 + i, char(i)));
                damaged << i;
                zips << p;
            } else {
                zips << fx.zip(rel, {{QStringLiteral("n.txt"), QByteArray::number(i)},
                                     {QStringLiteral("d/blob.bin"), QByteArray(i * 13, char('a' + i % 26))}});
            }
        }
        fx.scan(fx.path(QStringLiteral("many")));
        QCOMPARE(fx.rows(), 200);

        // The window's thread answers a queued call from the worker's every
        // 20th progress event: the event loop keeps turning during the run.
        QThread* gui = QThread::currentThread();
        std::atomic<int> events{0}, answered{0};
        auto previous = engine().OnProgress;
        QObject* context = fx.page;
        engine().OnProgress = [&, previous, context, gui](TZipEngine& e, TZipEngine::ProgressType t, const QString& f, int32_t s) {
            if (QThread::currentThread() != gui && ++events % 20 == 0)
                QMetaObject::invokeMethod(context, [&answered] { ++answered; }, Qt::BlockingQueuedConnection);
            if (previous)
                previous(e, t, f, s);
        };
        const QString out = fx.path(QStringLiteral("out"));
        fx.unzip(out);
        engine().OnProgress = previous;
        QVERIFY(answered > 10);
        QCOMPARE(answered.load(), events.load() / 20);

        QVERIFY2(lastText().startsWith(QStringLiteral("THE BATCH UNZIP PROCESS IS COMPLETE.\r\r%1 OF THE 200 ZIP FILES "
                                                      "COULD NOT BE UNZIPPED.")
                                           .arg(damaged.size())),
                 qPrintable(lastText()));
        QCOMPARE(fx.rows(), damaged.size());
        for (int r = 0; r < fx.rows(); ++r)
            QCOMPARE(fx.icon(r), int(TBatchPage::FailedIcon));
        for (int i = 0; i < 200; ++i) {
            const QString name = QStringLiteral("z%1").arg(i, 3, 10, QLatin1Char('0'));
            if (damaged.contains(i)) {
                QVERIFY(fx.names().contains(name + QStringLiteral(".zip")));
                continue;
            }
            QCOMPARE(testtools::readFile(out + QLatin1Char('/') + name + QStringLiteral("/n.txt")), QByteArray::number(i));
            QCOMPARE(testtools::readFile(out + QLatin1Char('/') + name + QStringLiteral("/d/blob.bin")),
                     QByteArray(i * 13, char('a' + i % 26)));
        }
    }
};

QTEST_MAIN(TestBatchRun)
#include "test_batch_run.moc"
