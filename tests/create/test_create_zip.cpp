// The ZIP button: archive type, save dialog, room checks, the final name, the
// two zip runs through the engine and its libraries, and the options they set.

#include "CreateFixture.h"

#include "create/TZipTypeForm.h"
#include "zipengine/TZipEngine.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSpinBox>

#include <csignal>
#include <sys/fsuid.h>
#include <unistd.h>
#include <sys/resource.h>

using namespace CreateFixture;

class TestCreateZip : public QObject {
    Q_OBJECT

    Scratch dir_;
    Window w_;

    QString file(const QString& rel, const QByteArray& data = "hello, world\n") { return dir_.file(rel, data); }
    QString out(const QString& name) const { return dir_.out(name); }
    // The stored names expected for `path` with the folder kept and no root.
    static QString absoluteStored(const QString& path) { return path.mid(1); }
    QString successText(const QString& finalName)
    {
        return QStringLiteral("THE ARCHIVE FILE ") + QFileInfo(finalName).fileName() +
               QStringLiteral("\rWAS CREATED IN THE FOLDER ") + dir_.filePath(QStringLiteral("out"));
    }

    // ZIP into `zip` while the files `unreadable` cannot be read: their
    // permissions say so, and root's file access drops to nobody's meanwhile.
    void zipWithoutReading(const QStringList& unreadable, const QString& zip)
    {
        const auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                         QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                         QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QVERIFY(QFile::setPermissions(dir_.path(), all));
        QVERIFY(QFile::setPermissions(dir_.filePath(QStringLiteral("out")), all));
        for (const QString& f : unreadable)
            QVERIFY(QFile::setPermissions(f, QFileDevice::Permissions()));
        const bool root = ::geteuid() == 0;
        if (root)
            ::setfsuid(65534);
        w_.zip(zip);
        if (root)
            ::setfsuid(0);
    }

private slots:
    void init()
    {
        QVERIFY(dir_.isValid());
        dir_.reset();
        w_.open();
        QVERIFY2(w_.form->ZipEngine->ZipLibVersion() > 0, "the zip library is not loaded");
        w_.settings().DefaultArchiveType = 1;
    }
    void cleanup()
    {
        Platform::SetFreeOnDiskHook({});
        w_.closeWindow();
    }

    void emptyListAndCancelledDialog()
    {
        w_.page->ZipButtonClick();
        QCOMPARE(w_.prompter.texts(), QStringList{QStringLiteral("YOU HAVE NOT SELECTED ANY FILES TO ADD TO THIS ZIP FILE")});
        w_.addFiles({file(QStringLiteral("a.txt"))});
        w_.prompter.clear();
        w_.zip(QString());
        QVERIFY(w_.prompter.messages.isEmpty());
        QCOMPARE(w_.prompter.fileRequests.last().title, QStringLiteral("Choose a name for your zip file "));
        QCOMPARE(w_.prompter.fileRequests.last().filter, QStringLiteral("ZIP Files (*.zip)"));
        QCOMPARE(w_.historyButtons(), QList<bool>({true, true, true}));
    }

    void relativePathsStoreThePathCells()
    {
        const QString a = file(QStringLiteral("data/photos/2001/a.jpg"), "jpeg");
        const QString top = file(QStringLiteral("data/photos/top.txt"));
        const QString bare = file(QStringLiteral("bare.txt"));
        w_.settings().RelativePaths = true;
        w_.addFolder(dir_.filePath(QStringLiteral("data/photos")));
        w_.settings().SaveFolders = false;
        w_.addFiles({bare});
        w_.settings().SaveFolders = true;
        QVERIFY(w_.column(TCreatePage::PathColumn).contains(QStringLiteral("photos\\2001")));
        w_.zip(out(QStringLiteral("rel")));
        const QString zip = out(QStringLiteral("rel.zip"));
        QCOMPARE(w_.prompter.lastText(), successText(zip));
        QVERIFY(ZipTests(zip));
        QStringList names = ZipNames(zip);
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("bare.txt"), QStringLiteral("photos/2001/a.jpg"),
                                     QStringLiteral("photos/top.txt")}));
        QCOMPARE(w_.form->appState().CurrentArchive, zip);
        QCOMPARE(w_.form->ZipEngine->ZipFileName(), zip);
        QCOMPARE(w_.settings().LastSaveFolder, dir_.filePath(QStringLiteral("out")));
        // The list stays as it was and can be written again.
        QCOMPARE(w_.page->RowCount(), 3);
        QCOMPARE(w_.historyButtons(), QList<bool>({true, true, true}));
        QCOMPARE(w_.page->ZipProgressBar->value(), 0);
        Q_UNUSED(a);
        Q_UNUSED(top);
    }

    void wholeListStoresFolderPaths_data()
    {
        QTest::addColumn<bool>("saveFolders");
        QTest::addColumn<bool>("longNames");
        QTest::newRow("folders") << true << true;
        QTest::newRow("no folders") << false << true;
        QTest::newRow("short names") << true << false;
    }
    void wholeListStoresFolderPaths()
    {
        QFETCH(bool, saveFolders);
        QFETCH(bool, longNames);
        const QString a = file(QStringLiteral("docs/readme.txt"));
        const QString b = file(QStringLiteral("docs/sub/LongerName.text"), QByteArray(100000, 'q'));
        w_.settings().RelativePaths = false;
        w_.settings().SaveFolders = saveFolders;
        w_.settings().LongNames = longNames;
        w_.addFiles({a, b});
        w_.zip(out(QStringLiteral("whole.zip")));
        const QString zip = out(QStringLiteral("whole.zip"));
        QCOMPARE(w_.prompter.lastText(), successText(zip));
        QVERIFY(ZipTests(zip));
        const quint16 o = w_.form->ZipEngine->AddOptions;
        QCOMPARE(bool(o & TZipEngine::AddDirNames), saveFolders);
        QCOMPARE(bool(o & TZipEngine::AddForceDOS), !longNames);
        QVERIFY(o & TZipEngine::AddHiddenFiles);
        QVERIFY(!(o & (TZipEngine::AddRecurseDirs | TZipEngine::AddDiskSpan | TZipEngine::AddEncrypt)));
        QStringList names = ZipNames(zip);
        names.sort();
        QStringList expected;
        if (!saveFolders)
            expected = {QStringLiteral("LongerName.text"), QStringLiteral("readme.txt")};
        else if (longNames)
            expected = {absoluteStored(a), absoluteStored(b)};
        if (!expected.isEmpty()) {
            expected.sort();
            QCOMPARE(names, expected);
        } else {
            // Short names: every part at most 8 characters and a 3-character ending.
            QCOMPARE(names.size(), 2);
            for (const QString& n : names)
                for (const QString& part : n.split('/')) {
                    QVERIFY2(part.section('.', 0, 0).size() <= 8 && part.section('.', 1).size() <= 3, qPrintable(n));
                    QCOMPARE(part, part.toUpper());
                }
        }
    }

    void passwordAndZipTime()
    {
        const QString a = file(QStringLiteral("a.txt"), "secret text");
        const QString b = file(QStringLiteral("b.txt"), "more");
        const QDateTime newest(QDate(2019, 3, 4), QTime(5, 6, 8));
        {
            QFile f(b);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(newest, QFileDevice::FileModificationTime));
            QFile g(a);
            QVERIFY(g.open(QIODevice::ReadWrite));
            QVERIFY(g.setFileTime(newest.addDays(-30), QFileDevice::FileModificationTime));
        }
        w_.settings().PasswordProtect = true;
        w_.settings().SetZipTime = true;
        w_.form->ZipEngine->Password = QStringLiteral("pw123");
        w_.addFiles({a, b});
        w_.zip(out(QStringLiteral("locked.zip")));
        const QString zip = out(QStringLiteral("locked.zip"));
        QCOMPARE(w_.prompter.lastText(), successText(zip));
        QVERIFY(ZipTests(zip, QStringLiteral("pw123")));
        QVERIFY(!ZipTests(zip, QStringLiteral("wrong")));
        QCOMPARE(QFileInfo(zip).lastModified(), newest);
        w_.form->ZipEngine->Password.clear();
    }

    // With the AES option the entries get AES-256, which 7z reads with the
    // password only; the traditional default is the case above.
    void aesEncryption()
    {
        const QString a = file(QStringLiteral("a.txt"), "secret text, kept in AES");
        w_.settings().PasswordProtect = true;
        w_.settings().AesEncryption = true;
        w_.form->ZipEngine->Password = QStringLiteral("pw123");
        w_.addFiles({a});
        w_.zip(out(QStringLiteral("aes.zip")));
        const QString zip = out(QStringLiteral("aes.zip"));
        QCOMPARE(w_.prompter.lastText(), successText(zip));
        QCOMPARE(python("import sys, zipfile\nprint([i.compress_type for i in zipfile.ZipFile(sys.argv[1]).infolist()])", {zip})
                     .outText().trimmed(), QStringLiteral("[99]"));
        QUARN_REQUIRE_PEER("7z");
        QCOMPARE(run(QStringLiteral("7z"), {QStringLiteral("t"), QStringLiteral("-ppw123"), zip}).code, 0);
        QVERIFY(run(QStringLiteral("7z"), {QStringLiteral("t"), QStringLiteral("-pwrong"), zip}).code != 0);
        w_.settings().PasswordProtect = false;
        w_.settings().AesEncryption = false;
        w_.form->ZipEngine->Password.clear();
    }

    // The password step: the first of the two password dialogs offers AES-256,
    // ticked as the options say; what is chosen there is what the zip gets.
    void aesChosenOnThePasswordStep_data()
    {
        QTest::addColumn<bool>("option");
        QTest::addColumn<int>("click"); // 0 leave the box, 1 click it
        QTest::addColumn<bool>("aes");
        QTest::newRow("default left alone") << false << 0 << false;
        QTest::newRow("ticked on the step") << false << 1 << true;
        QTest::newRow("option left alone") << true << 0 << true;
        QTest::newRow("option unticked on the step") << true << 1 << false;
    }
    void aesChosenOnThePasswordStep()
    {
        QFETCH(bool, option);
        QFETCH(int, click);
        QFETCH(bool, aes);
        const QString a = file(QStringLiteral("a.txt"), QByteArray("secret text, asked for on the step\n").repeated(50));
        w_.settings().PasswordProtect = true;
        w_.settings().AesEncryption = option;
        w_.form->ZipEngine->Password.clear();
        QList<bool> offered; // per dialog: whether the box is there, and ticked
        const auto step = [&](bool clickBox) {
            return [&, clickBox](QDialog& d) {
                auto* box = d.findChild<QCheckBox*>(QStringLiteral("PasswordAesCheckBox"));
                offered << (box != nullptr);
                if (box) {
                    offered << box->isChecked();
                    if (box->text() != QStringLiteral("Encrypt with AES-256"))
                        return 0;
                    if (clickBox)
                        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
                }
                QTest::keyClicks(d.findChild<QLineEdit*>(QStringLiteral("PasswordEdit")), QStringLiteral("pw 77"));
                d.findChild<QPushButton*>(QStringLiteral("OkButton"))->click();
                return d.result();
            };
        };
        w_.prompter.onDialog(step(click == 1));
        w_.prompter.onDialog(step(false));
        w_.addFiles({a});
        w_.zip(out(QStringLiteral("step.zip")));
        const QString zip = out(QStringLiteral("step.zip"));
        QCOMPARE(w_.prompter.lastText(), successText(zip));
        // Enter (with the box, ticked as the options say), then Confirm (without).
        QCOMPARE(offered, (QList<bool>{true, option, false}));
        QCOMPARE(python("import sys, zipfile\nprint([(i.compress_type, i.flag_bits & 1) for i in zipfile.ZipFile(sys.argv[1]).infolist()])",
                        {zip}).outText().trimmed(), aes ? QStringLiteral("[(99, 1)]") : QStringLiteral("[(8, 1)]"));
        if (aes) {
            QUARN_REQUIRE_PEER("7z");
            QCOMPARE(run(QStringLiteral("7z"), {QStringLiteral("t"), QStringLiteral("-ppw 77"), zip}).code, 0);
            QVERIFY(run(QStringLiteral("7z"), {QStringLiteral("t"), QStringLiteral("-p"), zip}, QString(), "\n").code != 0);
        } else {
            QVERIFY(ZipTests(zip, QStringLiteral("pw 77")));
            QVERIFY(!ZipTests(zip, QStringLiteral("pw 78")));
        }
        // The choice holds for that run only; the options keep theirs.
        QCOMPARE(w_.settings().AesEncryption, option);
        QCOMPARE(w_.form->ZipEngine->AddAes, option);
        w_.settings().PasswordProtect = false;
        w_.settings().AesEncryption = false;
    }

    void typeRules()
    {
        const QString a = file(QStringLiteral("a.txt"));
        const QString b = file(QStringLiteral("b.txt"));
        // Two rows with the default type gz give a zip.
        w_.settings().DefaultArchiveType = 4;
        w_.addFiles({a, b});
        w_.zip(out(QStringLiteral("pair")));
        QCOMPARE(w_.prompter.fileRequests.last().filter, QStringLiteral("ZIP Files (*.zip)"));
        QVERIFY(ZipTests(out(QStringLiteral("pair.zip"))));
        // Asked: the gz item only for one row; the default box stores the choice.
        w_.settings().DefaultArchiveType = 0;
        int items = -1;
        w_.prompter.onDialog([&items](QDialog& d) {
            auto& f = static_cast<TZipTypeForm&>(d);
            items = int(f.Items.size());
            f.Items[2]->setChecked(true);
            f.CheckBox1->setChecked(true);
            QTest::mouseClick(f.Button1, Qt::LeftButton);
            return d.result();
        });
        w_.zip(QString());
        QCOMPARE(items, 3);
        QCOMPARE(w_.prompter.dialogTitles.last(), QStringLiteral("Select the File type to create..."));
        QCOMPARE(w_.prompter.fileRequests.last().filter, QStringLiteral("TAR Files (*.tar)"));
        QCOMPARE(w_.settings().DefaultArchiveType, 3);
        w_.page->ZipResetButtonClick();
        w_.addFiles({a});
        w_.settings().DefaultArchiveType = 0;
        w_.prompter.onDialog([&items](QDialog& d) {
            auto& f = static_cast<TZipTypeForm&>(d);
            items = f.Items[0]->isChecked() ? int(f.Items.size()) : -1;
            QTest::mouseClick(f.Button1, Qt::LeftButton);
            return d.result();
        });
        w_.zip(QString());
        QCOMPARE(items, 4);
        QCOMPARE(w_.settings().DefaultArchiveType, 0);
        QCOMPARE(w_.prompter.fileRequests.last().filter, QStringLiteral("ZIP Files (*.zip)"));
    }

    void finalNameRule()
    {
        w_.addFiles({file(QStringLiteral("a.txt"))});
        w_.zip(out(QStringLiteral("backup.zip.old")));
        QVERIFY(ZipTests(out(QStringLiteral("backup.zip.old"))));
        QVERIFY(!QFileInfo::exists(out(QStringLiteral("backup.zip.old.zip"))));
        w_.zip(out(QStringLiteral("Upper.ZIP")));
        QVERIFY(QFileInfo::exists(out(QStringLiteral("Upper.ZIP"))));
        // Nothing but the archives is left in the folder.
        QStringList left = QDir(dir_.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden);
        left.sort();
        QCOMPARE(left, (QStringList{QStringLiteral("Upper.ZIP"), QStringLiteral("backup.zip.old")}));
    }

    void unreadableFilesAreLeftOutOfAKeptArchive_data()
    {
        QTest::addColumn<bool>("relative");
        QTest::newRow("whole list") << false;
        QTest::newRow("per file") << true;
    }
    void unreadableFilesAreLeftOutOfAKeptArchive()
    {
        QFETCH(bool, relative);
        w_.settings().RelativePaths = relative;
        w_.settings().SaveFolders = false;
        const QString a = file(QStringLiteral("a.txt"));
        const QString b = file(QStringLiteral("b.txt"));
        const QString c = file(QStringLiteral("c.txt"));
        w_.addFiles({a, b, c});
        const QString zip = out(QStringLiteral("kept.zip"));
        zipWithoutReading({b}, zip);
        // The other files are in the archive, which is whole.
        QVERIFY2(ZipTests(zip), qPrintable(w_.prompter.texts().join(QLatin1Char('|'))));
        QStringList names = ZipNames(zip);
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("a.txt"), QStringLiteral("c.txt")}));
        // The library's warning, then the result naming what was left out.
        const QStringList texts = w_.prompter.texts();
        QVERIFY2(texts.size() >= 2, qPrintable(texts.join(QLatin1Char('|'))));
        QVERIFY(texts.first().startsWith(QStringLiteral("ERROR : ")));
        QVERIFY(texts.first().contains(b));
        QVERIFY(texts.last().startsWith(successText(zip) + QStringLiteral("\r\rTHESE FILES WERE LEFT OUT OF IT:\r")));
        QVERIFY(texts.last().contains(b));
        QVERIFY(!texts.last().contains(a));
        // No message names the scratch file the archive was written under.
        QVERIFY2(!texts.join(QLatin1Char('|')).contains(QStringLiteral(".quarn-")), qPrintable(texts.join(QLatin1Char('|'))));
        QCOMPARE(w_.form->ZipEngine->ZipFileName(), zip);
        // With nothing readable no archive is written.
        w_.prompter.clear();
        w_.page->ZipResetButtonClick();
        const QString locked = file(QStringLiteral("locked.txt"));
        w_.addFiles({locked});
        zipWithoutReading({locked}, out(QStringLiteral("none.zip")));
        QVERIFY(!QFileInfo::exists(out(QStringLiteral("none.zip"))));
        QVERIFY(w_.prompter.texts().filter(QStringLiteral("WAS CREATED")).isEmpty());
        QVERIFY(!w_.prompter.messages.isEmpty());
    }

    void replacingAnExistingArchive()
    {
        w_.addFiles({file(QStringLiteral("a.txt"))});
        // A name typed without its ending takes the dialog's default ending,
        // so the dialog's own overwrite question names the real file.
        w_.zip(out(QStringLiteral("backup")));
        QCOMPARE(w_.prompter.fileRequests.last().defaultSuffix, QStringLiteral("zip"));
        QVERIFY(ZipTests(out(QStringLiteral("backup.zip"))));
        // A name whose ending the page adds afterwards was never asked about:
        // the page asks, and No keeps the earlier file untouched.
        writeFile(out(QStringLiteral("notes.v2.zip")), "keep me");
        w_.prompter.clear();
        w_.prompter.answer(PromptButton::No);
        w_.zip(out(QStringLiteral("notes.v2")));
        QCOMPARE(w_.prompter.texts(), QStringList{QStringLiteral("THE FILE ") + out(QStringLiteral("notes.v2.zip")) +
                                                  QStringLiteral(" ALREADY EXISTS.\rDO YOU WANT TO REPLACE IT?")});
        QCOMPARE(readFile(out(QStringLiteral("notes.v2.zip"))), QByteArray("keep me"));
        QCOMPARE(w_.historyButtons(), (QList<bool>{true, true, true}));
        w_.prompter.answer(PromptButton::Yes);
        w_.zip(out(QStringLiteral("notes.v2")));
        QVERIFY(ZipTests(out(QStringLiteral("notes.v2.zip"))));
        // The tar kinds ask the same way.
        w_.settings().DefaultArchiveType = 2;
        writeFile(out(QStringLiteral("notes.v2.tar.gz")), "keep me too");
        w_.prompter.clear();
        w_.prompter.answer(PromptButton::No);
        w_.zip(out(QStringLiteral("notes.v2")));
        QCOMPARE(w_.prompter.fileRequests.last().defaultSuffix, QStringLiteral("tar.gz"));
        QCOMPARE(w_.prompter.messages.size(), 1);
        QCOMPARE(readFile(out(QStringLiteral("notes.v2.tar.gz"))), QByteArray("keep me too"));
    }

    void roomCheck()
    {
        // 15 bytes need 7 (a tenth, times seven).
        w_.addFiles({file(QStringLiteral("fifteen.txt"), QByteArray(15, 'z'))});
        Platform::SetFreeOnDiskHook([](const QString&) { return qint64(7); });
        w_.zip(out(QStringLiteral("fits.zip")));
        QCOMPARE(w_.prompter.lastText(), successText(out(QStringLiteral("fits.zip"))));
        Platform::SetFreeOnDiskHook([](const QString&) { return qint64(6); });
        w_.prompter.answer(PromptButton::Cancel);
        w_.zip(out(QStringLiteral("tight.zip")));
        QCOMPARE(w_.prompter.messages.last().kind, PromptKind::Warning);
        QCOMPARE(w_.prompter.lastText(),
                 QStringLiteral("THERE MAY NOT BE ENOUGH ROOM ON THE DISK\rTO SAVE THIS ZIP FILE.  CHOOSE CANCEL TO "
                                "SELECT A NEW DRIVE\rATTEMPT TO SAVE THIS ZIP FILE ON THE SELECTED DRIVE?"));
        QVERIFY(!QFileInfo::exists(out(QStringLiteral("tight.zip"))));
        // Unknown free space counts as too little; Yes goes on.
        Platform::SetFreeOnDiskHook([](const QString&) { return qint64(-1); });
        w_.prompter.answer(PromptButton::Yes);
        w_.zip(out(QStringLiteral("tight.zip")));
        QVERIFY(ZipTests(out(QStringLiteral("tight.zip"))));
    }

    void spanDialogOncePerRun()
    {
        w_.settings().SpanDisks = true;
        w_.settings().RelativePaths = true;
        w_.addFiles({file(QStringLiteral("a.txt")), file(QStringLiteral("b.txt"))});
        qint64 offered = 0;
        w_.prompter.onDialog([&offered](QDialog& d) {
            auto& f = static_cast<TSpanSizeForm&>(d);
            if (f.CustomSizeEdit->isVisible())
                return -1;
            f.Items[TSpanSizeForm::CustomItem]->click();
            if (!f.CustomSizeEdit->isVisible() || f.CustomSizeEdit->value() != 65536)
                return -1;
            f.CustomSizeEdit->setValue(100000);
            offered = f.ChosenSize();
            QTest::mouseClick(f.Button1, Qt::LeftButton);
            return d.result();
        });
        w_.zip(out(QStringLiteral("span.zip")));
        QCOMPARE(w_.prompter.dialogTitles, QStringList{QStringLiteral("Choose the maximuim size for each segment of the zip file ")});
        QCOMPARE(offered, qint64(100000));
        QCOMPARE(w_.page->MaxVolumeSize, qint64(100000));
        QCOMPARE(w_.form->ZipEngine->MaxVolumeSize, 100000);
        // Two small files make a set of one part, which the page now knows the archive by.
        QVERIFY(!QFileInfo::exists(out(QStringLiteral("span.zip"))));
        const QString last = out(QStringLiteral("span001.zip"));
        QCOMPARE(w_.form->ZipEngine->ZipFileName(), last);
        QCOMPARE(w_.page->FinalArchiveName, last);
        QCOMPARE(w_.form->ZipEngine->Count, 2);
        QCOMPARE(testtools::readFile(last).left(4), QByteArray("PK\x07\x08"));
    }

    // The whole-list run into parts of 65,536 bytes: the set is known by its
    // last part, no scratch zip stays, and the set reads back whole.
    void spannedRunWritesTheSet()
    {
        w_.settings().SpanDisks = true;
        w_.addFiles({file(QStringLiteral("noise.bin"), testtools::randomData(200000, 5)), file(QStringLiteral("a.txt"))});
        w_.prompter.onDialog([](QDialog& d) {
            auto& f = static_cast<TSpanSizeForm&>(d);
            f.Items[TSpanSizeForm::CustomItem]->click();
            f.CustomSizeEdit->setValue(65536);
            QTest::mouseClick(f.Button1, Qt::LeftButton);
            return d.result();
        });
        w_.zip(out(QStringLiteral("parts")));
        const QString last = out(QStringLiteral("parts004.zip"));
        QCOMPARE(w_.prompter.lastText(), successText(last));
        QCOMPARE(QDir(dir_.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"parts001.zip", "parts002.zip", "parts003.zip", "parts004.zip"}));
        for (int i = 1; i <= 4; ++i)
            QVERIFY(QFileInfo(out(QStringLiteral("parts00%1.zip").arg(i))).size() <= 65536);
        TZipEngine& e = *w_.form->ZipEngine;
        QCOMPARE(e.ZipFileName(), last);
        QCOMPARE(e.Count, 2);
        const QString to = dir_.filePath(QStringLiteral("back"));
        QDir().mkpath(to);
        e.ExtrBaseDir = to;
        e.ExtrOptions = 0;
        e.Extract();
        QCOMPARE(e.ErrCode, 0);
        QCOMPARE(testtools::readFile(to + "/noise.bin"), testtools::randomData(200000, 5));
    }

    void failedRunKeepsTheOldArchive_data()
    {
        QTest::addColumn<bool>("relative");
        QTest::newRow("whole list") << false;
        QTest::newRow("per file") << true;
    }
    void failedRunKeepsTheOldArchive()
    {
        QFETCH(bool, relative);
        w_.settings().RelativePaths = relative;
        w_.addFiles({file(QStringLiteral("small.txt"))});
        const QString zip = out(QStringLiteral("keep.zip"));
        w_.zip(zip);
        const QByteArray before = readFile(zip);
        QVERIFY(!before.isEmpty());
        QByteArray noise(2 << 20, Qt::Uninitialized);
        QRandomGenerator random(42);
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char(random.generate() & 0xff);
        w_.addFiles({file(QStringLiteral("big.bin"), noise)});
        w_.prompter.clear();
        // Files may not grow past 1 MiB: the new archive cannot be written.
        struct rlimit old;
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        struct rlimit small = old;
        small.rlim_cur = 1 << 20;
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        w_.zip(zip);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(w_.form->ZipEngine->ErrCode != 0);
        QVERIFY(!w_.prompter.texts().contains(successText(zip)));
        QCOMPARE(readFile(zip), before);
        QCOMPARE(QDir(dir_.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("keep.zip")});
        // The next run that succeeds replaces it.
        w_.zip(zip);
        QStringList names = ZipNames(zip);
        for (QString& n : names)
            n = n.section('/', -1);
        QCOMPARE(names, (QStringList{QStringLiteral("small.txt"), QStringLiteral("big.bin")}));
        QVERIFY(ZipTests(zip));
    }
};

QTEST_MAIN(TestCreateZip)
#include "test_create_zip.moc"
