// Tar, tar.gz, tgz and gz archives on the unzip page: the listers chosen by
// OPEN and the command line, the rows, extraction with its replace question,
// names that climb out of the destination, gzip names and failures.

#include "PageFixture.h"

#include "codecs/Gzip.h"
#include "codecs/TarWriter.h"
#include "platform/Numbers.h"
#include "settings/AppState.h"
#include "settings/Settings.h"

#include <QBuffer>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QStandardPaths>

namespace {
struct Member {
    QString name;
    QByteArray data;
    bool folder = false;
};

const QString NoReadable = QStringLiteral("THERE ARE NO FILES IN THE ZIPFILE THAT THIS PROGRAM CAN READ");
const QString FoldersOnly =
    QStringLiteral("THERE WERE NO FILES IN THE TAR ARCHIVE.  THE ARCHIVE WAS EMPTY OR CONTAINED ONLY FOLDERS.");
} // namespace

class TestUnzipTar : public QObject {
    Q_OBJECT
    PageFixture f_;
    const QDateTime when_{QDate(2024, 3, 5), QTime(6, 7, 8), Qt::UTC};

    QString tar(const QString& name, const QList<Member>& members)
    {
        const QString p = f_.path(name);
        TTarWriter w(p);
        for (const Member& m : members) {
            if (m.folder) {
                w.addDirectory(m.name, when_);
                continue;
            }
            QBuffer b;
            b.setData(m.data);
            b.open(QIODevice::ReadOnly);
            w.addStream(b, m.name, when_);
        }
        w.close();
        return p;
    }
    // Gzips `file` into `gzPath` storing the name `stored` ("" for none).
    QString gzip(const QString& file, const QString& gzPath, const QString& stored)
    {
        TGzip gz;
        gz.FileSource = file;
        gz.FileDestination = gzPath;
        gz.GzipHeader = stored.isEmpty() ? 0u : unsigned(TGzip::filename);
        if (gz.compress() != TGzip::Ok)
            qFatal("cannot gzip %s", qPrintable(file));
        if (!stored.isEmpty() && stored != QFileInfo(file).fileName())
            qFatal("the stored name is the source's name");
        return gzPath;
    }
    QList<Member> sample()
    {
        return {{QStringLiteral("docs/"), {}, true},
                {QStringLiteral("docs/readme.txt"), "read me, please"},
                {QStringLiteral("empty.txt"), {}},
                {QStringLiteral("top.bin"), QByteArray(5000, 'z')}};
    }
    QStringList column(int col) const
    {
        QStringList l;
        for (int r = 0; r < f_.page->RowCount(); ++r)
            l << f_.page->UnzipListModel->item(r, col)->text();
        return l;
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

    void listsAndExtractsATar()
    {
        const QString archive = tar(QStringLiteral("sample.tar"), sample());
        f_.open(archive);
        QVERIFY(f_.prompter.messages.isEmpty());
        QCOMPARE(column(0), (QStringList{QStringLiteral("readme.txt"), QStringLiteral("empty.txt"), QStringLiteral("top.bin")}));
        QCOMPARE(column(3), (QStringList{QStringLiteral("docs\\"), QString(), QString()}));
        QCOMPARE(column(1), (QStringList{QStringLiteral("15"), QStringLiteral("0"), QStringLiteral("5,000")}));
        QCOMPARE(column(2).first(), Platform::DateTimeText(when_.toLocalTime()));
        QCOMPARE(f_.page->UnzipListTotal, 5015);
        QCOMPARE(f_.page->UnzipNumFilesEdit->text(), QStringLiteral("3"));
        // The tar kinds show the total with thousands separators.
        QCOMPARE(f_.page->UnzipTotalFileSizeEdit->text(), QStringLiteral("5,015"));
        QCOMPARE(f_.page->UnzipListModel->item(0, 0)->data(TUnzipPage::RowDataRole).toInt(), 1);  // the entry after docs/
        QCOMPARE(f_.form->appState().CurrentArchive, archive);
        QCOMPARE(PageFixture::selected(f_.page->UnzipListView), (QList<int>{0, 1, 2}));
        QVERIFY(f_.page->TreeButton->isEnabled());
        QVERIFY(f_.page->UnzipButton->isEnabled());

        const QString dest = f_.folder(QStringLiteral("out"));
        f_.prompter.answerFolder(dest);
        QTest::mouseClick(f_.page->UnzipButton, Qt::LeftButton);
        QCOMPARE(f_.prompter.texts(), QStringList{success(QStringLiteral("sample.tar"), dest)});
        QCOMPARE(PageFixture::files(dest), (QStringList{QStringLiteral("docs/readme.txt"), QStringLiteral("empty.txt"),
                                                        QStringLiteral("top.bin")}));
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/docs/readme.txt")), QByteArray("read me, please"));
        QCOMPARE(QFileInfo(dest + QStringLiteral("/empty.txt")).size(), 0);
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/top.bin")), QByteArray(5000, 'z'));
        // Folders are made whatever the folder option says; only highlighted rows are written.
        f_.form->settings().ExtractFolderNames = false;
        PageFixture::select(f_.page->UnzipListView, {0});
        const QString one = f_.folder(QStringLiteral("one"));
        f_.form->appState().ShowSuccessMessage = false;
        f_.page->DoUnzip(one);
        QCOMPARE(PageFixture::files(one), QStringList{QStringLiteral("docs/readme.txt")});
    }

    void foldersOnlyAndOtherEntries()
    {
        f_.open(tar(QStringLiteral("folders.tar"), {{QStringLiteral("a/"), {}, true}, {QStringLiteral("a/b/"), {}, true}}));
        QCOMPARE(f_.prompter.texts(), QStringList{FoldersOnly});
        QCOMPARE(f_.page->RowCount(), 0);
        // GNU tar's links and folders are skipped; files list under their real names.
        const QString gnuTar = QStandardPaths::findExecutable(QStringLiteral("tar"));
        QVERIFY2(!gnuTar.isEmpty(), "GNU tar is needed and missing (scripts/setup.sh installs it)");
        const QString src = f_.folder(QStringLiteral("gsrc"));
        const QString longName = QStringLiteral("deep/") + QString(120, QLatin1Char('n')) + QStringLiteral(".txt");
        testtools::writeFile(src + QLatin1Char('/') + longName, "long");
        QVERIFY(QFile::link(QStringLiteral("deep"), src + QStringLiteral("/link")));
        const QString archive = f_.path(QStringLiteral("gnu.tar"));
        QProcess p;
        p.setWorkingDirectory(src);
        p.start(gnuTar, {QStringLiteral("-cf"), archive, QStringLiteral("deep"), QStringLiteral("link")});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        f_.prompter.clear();
        f_.open(archive);
        QCOMPARE(column(0), QStringList{QString(120, QLatin1Char('n')) + QStringLiteral(".txt")});
        QCOMPARE(column(3), QStringList{QStringLiteral("deep\\")});
        QVERIFY(!f_.page->TreeButton->isEnabled());
    }

    void noToAllSkipsExistingFiles()
    {
        f_.open(tar(QStringLiteral("abc.tar"), {{QStringLiteral("a.txt"), "archive a"}, {QStringLiteral("b.txt"), "archive b"},
                                               {QStringLiteral("c.txt"), "archive c"}}));
        const QString dest = f_.folder(QStringLiteral("nta"));
        testtools::writeFile(dest + QStringLiteral("/a.txt"), QByteArray(2048, 'd'));
        testtools::writeFile(dest + QStringLiteral("/c.txt"), "disk c");
        const QString diskDate = Platform::DateTimeText(QFileInfo(dest + QStringLiteral("/a.txt")).lastModified());
        f_.prompter.clear();
        f_.prompter.answer(PromptButton::NoToAll);
        f_.page->DoUnzip(dest);
        QCOMPARE(f_.prompter.messages.size(), 2);
        QCOMPARE(f_.prompter.messages[0].text,
                 QStringLiteral("REPLACE THE FILE \r") + dest + QStringLiteral("/a.txt  2 KB  ") + diskDate +
                     QStringLiteral("\rWITH THE ARCHIVE FILE \ra.txt  0.0087890625 KB  ") +
                     f_.page->UnzipListModel->item(0, 2)->text());
        QCOMPARE(f_.prompter.messages[1].text, success(QStringLiteral("abc.tar"), dest));
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/a.txt")), QByteArray(2048, 'd'));
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/b.txt")), QByteArray("archive b"));
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/c.txt")), QByteArray("disk c"));

        // Yes to All at the first replaces the rest without asking; Yes replaces one.
        f_.prompter.clear();
        f_.prompter.answer(PromptButton::Yes);
        f_.prompter.answer(PromptButton::No);
        f_.prompter.answer(PromptButton::YesToAll);
        f_.page->DoUnzip(dest);
        QCOMPARE(f_.prompter.messages.size(), 4);
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/a.txt")), QByteArray("archive a"));
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/b.txt")), QByteArray("archive b"));
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/c.txt")), QByteArray("archive c"));
    }

    void climbingNamesStayInside()
    {
        const QString base = f_.folder(QStringLiteral("climb"));
        const QString abs = base + QStringLiteral("/abs.txt");
        f_.open(tar(QStringLiteral("evil.tar"), {{QStringLiteral("../../evil.txt"), "evil"},
                                                {abs, "absolute"},
                                                {QStringLiteral("a/../../b.txt"), "b"}}));
        QCOMPARE(column(3).first(), QStringLiteral("..\\..\\"));
        const QString dest = base + QStringLiteral("/in/dest");
        QDir().mkpath(dest);
        f_.prompter.clear();
        f_.form->appState().ShowSuccessMessage = false;
        f_.page->DoUnzip(dest);
        QVERIFY(f_.prompter.messages.isEmpty());
        QStringList inside;
        for (const QString& file : PageFixture::files(base)) {
            QVERIFY2(file.startsWith(QStringLiteral("in/dest/")), qPrintable(file));
            inside << file.mid(8);
        }
        QStringList expected{abs.mid(1), QStringLiteral("a/b.txt"), QStringLiteral("evil.txt")};
        expected.sort();
        QCOMPARE(inside, expected);
        QVERIFY(!QFileInfo::exists(abs));
    }

    void roomRunsOutDuringExtraction()
    {
        f_.open(tar(QStringLiteral("room.tar"), {{QStringLiteral("a.txt"), "a"}, {QStringLiteral("b.txt"), "b"}}));
        const QString dest = f_.folder(QStringLiteral("room"));
        f_.form->appState().ShowSuccessMessage = false;
        f_.freeBytes = 65000;
        f_.page->UnzipTarFile(dest);
        QVERIFY(f_.prompter.messages.isEmpty());
        QCOMPARE(PageFixture::files(dest).size(), 2);
        // Below 65,000 bytes the run stops after the entry just written.
        QDir(dest).removeRecursively();
        QDir().mkpath(dest);
        f_.freeBytes = 64999;
        f_.page->UnzipTarFile(dest);
        QCOMPARE(f_.prompter.lastText(),
                 QStringLiteral("THERE WAS NOT ENOUGH ROOM ON THE DRIVE TO COMPLETE THE CREATION OF THE TAR FILE."));
        QCOMPARE(PageFixture::files(dest), QStringList{QStringLiteral("a.txt")});
    }

    void tgzWithOpenTarInGzipOnAndOff()
    {
        const QString inner = tar(QStringLiteral("data.tar"), sample());
        const QString tgz = gzip(inner, f_.path(QStringLiteral("data.tgz")), QStringLiteral("data.tar"));
        f_.open(tgz);
        QVERIFY(f_.prompter.messages.isEmpty());
        QCOMPARE(f_.page->RowCount(), 3);
        // Read as it is decompressed: the page works on the gzip file, no tar is left anywhere.
        QCOMPARE(f_.form->appState().CurrentArchive, tgz);
        QVERIFY(!QFileInfo::exists(f_.form->appState().TempFolder() + QStringLiteral("/data.tar")));
        QVERIFY(f_.page->UnzipButton->isEnabled());
        const QString dest = f_.folder(QStringLiteral("tgzout"));
        f_.form->appState().ShowSuccessMessage = true;
        PageFixture::select(f_.page->UnzipListView, {0, 2});
        f_.page->DoUnzip(dest);
        QCOMPARE(f_.prompter.lastText(), success(QStringLiteral("data.tgz"), dest));
        QCOMPARE(PageFixture::files(dest), (QStringList{QStringLiteral("docs/readme.txt"), QStringLiteral("top.bin")}));
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/docs/readme.txt")), QByteArray("read me, please"));
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/top.bin")), QByteArray(5000, 'z'));

        // Off: one row named by the stored name, with the gzip file's own size and time.
        f_.form->settings().OpenTarInGzip = false;
        f_.prompter.answer(PromptButton::Yes);
        f_.open(tgz);
        QCOMPARE(column(0), QStringList{QStringLiteral("data.tar")});
        const QFileInfo fi(tgz);
        QCOMPARE(column(1), QStringList{QString::number(fi.size())});
        QCOMPARE(column(2), QStringList{Platform::DateTimeText(fi.lastModified())});
        QCOMPARE(f_.page->UnzipListTotal, int32_t(fi.size() * 3));
        QCOMPARE(f_.page->UnzipTotalFileSizeEdit->text(), QString::number(fi.size()));
        QCOMPARE(f_.form->appState().CurrentArchive, tgz);
        QVERIFY(!f_.page->TreeButton->isEnabled());
        QCOMPARE(PageFixture::selected(f_.page->UnzipListView), QList<int>{0});
        const QString plain = f_.folder(QStringLiteral("gzout"));
        f_.page->DoUnzip(plain);
        QCOMPARE(f_.prompter.lastText(), success(QStringLiteral("data.tgz"), plain));
        QCOMPARE(testtools::readFile(plain + QStringLiteral("/data.tar")), testtools::readFile(inner));
        // The file is there now: the question, and No keeps it.
        testtools::writeFile(plain + QStringLiteral("/data.tar"), "kept");
        f_.prompter.clear();
        f_.prompter.answer(PromptButton::No);
        f_.page->DoUnzip(plain);
        QCOMPARE(f_.prompter.texts(), QStringList{QStringLiteral("THE FILE data.tar ALREADY EXISTS.  REPLACE THE FILE?")});
        QCOMPARE(testtools::readFile(plain + QStringLiteral("/data.tar")), QByteArray("kept"));
    }

    void tarGzNeedsNoScratchRoom()
    {
        const QString inner = tar(QStringLiteral("big.tar"), sample());
        const QString tgz = gzip(inner, f_.path(QStringLiteral("big.tgz")), QStringLiteral("big.tar"));
        f_.freeBytes = 10;  // no drive has room for a temporary tar: none is needed
        f_.open(tgz);
        QVERIFY(f_.prompter.messages.isEmpty());
        QCOMPARE(f_.page->RowCount(), 3);
        QVERIFY(!QFileInfo::exists(f_.form->appState().TempFolder() + QStringLiteral("/big.tar")));

        // A gzipped tar cut short keeps the rows read before the damage and says so.
        QByteArray bytes = testtools::readFile(tgz);
        bytes.chop(30);
        const QString cut = f_.path(QStringLiteral("cut.tar.gz"));
        testtools::writeFile(cut, bytes);
        f_.prompter.answer(PromptButton::Yes);
        f_.open(cut);
        QCOMPARE(f_.prompter.messages.size(), 2);
        QCOMPARE(f_.prompter.messages[1].kind, PromptKind::Error);
        QVERIFY2(f_.prompter.lastText().contains(QStringLiteral("damaged")), qPrintable(f_.prompter.lastText()));
        QVERIFY(f_.page->RowCount() >= 1);
    }

    // OPEN checks what a file holds against its ending before listing it.
    void contentMustMatchTheEnding()
    {
        const QString file = f_.path(QStringLiteral("src/plain.txt"));
        testtools::writeFile(file, "plain text");
        const QString fake = gzip(file, f_.path(QStringLiteral("fake.zip")), QStringLiteral("plain.txt"));
        f_.open(fake);
        QCOMPARE(f_.prompter.messages.size(), 1);
        QCOMPARE(f_.prompter.messages[0].kind, PromptKind::Error);
        QCOMPARE(f_.prompter.lastText(), QStringLiteral("fake.zip is not a zip file: it holds gzip data"));
        QCOMPARE(f_.page->RowCount(), 0);
        QVERIFY(!f_.page->UnzipButton->isEnabled());
        // A zip named as a tar.
        const QString zipNamedTar = f_.path(QStringLiteral("really-zip.tar"));
        QVERIFY(QFile::copy(f_.zip(QStringLiteral("z.zip"), {{QStringLiteral("a.txt"), "1"}}), zipNamedTar));
        f_.prompter.clear();
        f_.open(zipNamedTar);
        QCOMPARE(f_.prompter.texts(), QStringList{QStringLiteral("really-zip.tar is not a tar file: it holds zip data")});
        QCOMPARE(f_.page->RowCount(), 0);
    }

    void storedNameDecidesTarInGzip()
    {
        const QString upper = f_.path(QStringLiteral("src/notes.TAR"));
        testtools::writeFile(upper, "not really a tar");
        const QString notes = gzip(upper, f_.path(QStringLiteral("notes.gz")), QStringLiteral("notes.TAR"));
        QVERIFY(!f_.page->IsaGzippedTarBall(notes));
        const QString inner = tar(QStringLiteral("real.tar"), sample());
        QVERIFY(f_.page->IsaGzippedTarBall(gzip(inner, f_.path(QStringLiteral("real.gz")), QStringLiteral("real.tar"))));
        f_.open(notes);
        QCOMPARE(column(0), QStringList{QStringLiteral("notes.TAR")});
        // A gz holding a tar by its stored name is opened as a tar.
        f_.prompter.answer(PromptButton::Yes);
        f_.open(f_.path(QStringLiteral("real.gz")));
        QCOMPARE(f_.page->RowCount(), 3);
    }

    void gzipWithoutStoredName()
    {
        // tar -z and gzip -c write no name: the file's own name is used.
        const QString inner = tar(QStringLiteral("pipe.tar"), sample());
        const QString targz = gzip(inner, f_.path(QStringLiteral("backup.tar.gz")), QString());
        f_.open(targz);
        QVERIFY(f_.prompter.messages.isEmpty());
        QCOMPARE(f_.page->RowCount(), 3);
        QCOMPARE(f_.page->UnzipTotalFileSizeEdit->text(), QStringLiteral("5,015"));
        QCOMPARE(f_.form->appState().CurrentArchive, targz);
        f_.form->settings().OpenTarInGzip = false;
        f_.prompter.answer(PromptButton::Yes);
        f_.open(gzip(inner, f_.path(QStringLiteral("plain.tgz")), QString()));
        QCOMPARE(column(0), QStringList{QStringLiteral("plain.tar")});
        // Something that is no gzip file cannot be opened.
        const QString junk = f_.path(QStringLiteral("junk.gz"));
        testtools::writeFile(junk, "no gzip here");
        f_.prompter.clear();
        f_.prompter.answer(PromptButton::Yes);
        f_.open(junk);
        QCOMPARE(f_.prompter.lastText(), NoReadable);
        QVERIFY(f_.page->OpenUnzipButton->isEnabled());
        f_.form->settings().OpenTarInGzip = true;
        testtools::writeFile(f_.path(QStringLiteral("junk.tar.gz")), "no gzip here");
        f_.prompter.clear();
        f_.open(f_.path(QStringLiteral("junk.tar.gz")));
        QCOMPARE(f_.prompter.lastText(), NoReadable);
        QCOMPARE(f_.page->RowCount(), 0);
    }

    void storedNamesCannotClimb()
    {
        // A stored name with folders is written as a plain name inside the destination.
        const QString file = f_.path(QStringLiteral("src/x.txt"));
        testtools::writeFile(file, "x data");
        const QString gz = gzip(file, f_.path(QStringLiteral("x.gz")), QStringLiteral("x.txt"));
        QFile raw(gz);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QByteArray bytes = raw.readAll();
        raw.close();
        const qsizetype at = bytes.indexOf(QByteArray("x.txt\0", 6));
        QCOMPARE(at, qsizetype(10));
        bytes.replace(at, 5, QByteArray("../../../up.txt"));
        const QString climbing = f_.path(QStringLiteral("climb.gz"));
        testtools::writeFile(climbing, bytes);
        f_.form->settings().OpenTarInGzip = false;
        f_.open(climbing);
        QCOMPARE(column(0), QStringList{QStringLiteral("up.txt")});
        const QString dest = f_.folder(QStringLiteral("gzin/dest"));
        f_.page->DoUnzip(dest);
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/up.txt")), QByteArray("x data"));
        QVERIFY(PageFixture::files(f_.path(QStringLiteral("gzin"))).size() == 1);
    }

    void destinationThatCannotBeWritten()
    {
        const QString file = f_.path(QStringLiteral("src/full"));
        testtools::writeFile(file, QByteArray(200000, 'f'));
        const QString gz = gzip(file, f_.path(QStringLiteral("full.gz")), QStringLiteral("full"));
        f_.form->settings().OpenTarInGzip = false;
        f_.open(gz);
        f_.prompter.clear();
        f_.form->appState().ShowSuccessMessage = true;
        // A folder below a plain file cannot be made (as root too).
        f_.page->UnzipGZFile(file + QStringLiteral("/dest"));
        QCOMPARE(f_.prompter.messages.size(), 1);
        QCOMPARE(f_.prompter.messages[0].kind, PromptKind::Error);
        QVERIFY(f_.prompter.messages[0].text.contains(file));
        QCOMPARE(f_.page->UnzipProgressBar->value(), 0);
        QCOMPARE(testtools::readFile(file), QByteArray(200000, 'f'));
    }

    // The gzip file and the tar go through the one extraction policy: a
    // damaged gzip file leaves the file it would replace alone, and nothing
    // is written through a link already in the destination.
    void damagedGzipAndPlantedLinks()
    {
        const QString file = f_.path(QStringLiteral("src/keep.txt"));
        testtools::writeFile(file, QByteArray(50000, 'k'));
        QString gz = gzip(file, f_.path(QStringLiteral("keep.txt.gz")), QStringLiteral("keep.txt"));
        QByteArray bytes = testtools::readFile(gz);
        bytes.chop(40);
        testtools::writeFile(gz, bytes);
        const QString dest = f_.folder(QStringLiteral("dmg"));
        testtools::writeFile(dest + QStringLiteral("/keep.txt"), "mine");
        f_.form->settings().OpenTarInGzip = false;
        f_.open(gz);
        f_.prompter.clear();
        f_.prompter.answer(PromptButton::Yes);
        f_.page->UnzipGZFile(dest);
        QCOMPARE(f_.prompter.messages.size(), 2);
        QCOMPARE(f_.prompter.messages[1].kind, PromptKind::Error);
        QCOMPARE(testtools::readFile(dest + QStringLiteral("/keep.txt")), QByteArray("mine"));
        QCOMPARE(PageFixture::files(dest), QStringList{QStringLiteral("keep.txt")});

        const QString outside = f_.folder(QStringLiteral("outside"));
        testtools::writeFile(outside + QStringLiteral("/readme.txt"), "outside");
        const QString planted = f_.folder(QStringLiteral("planted"));
        QVERIFY(QFile::link(outside, planted + QStringLiteral("/docs")));
        f_.prompter.answer(PromptButton::Yes);
        f_.open(tar(QStringLiteral("planted.tar"), sample()));
        f_.prompter.clear();
        f_.page->UnzipTarFile(planted);
        QCOMPARE(testtools::readFile(outside + QStringLiteral("/readme.txt")), QByteArray("outside"));
        QCOMPARE(testtools::readFile(planted + QStringLiteral("/top.bin")), QByteArray(5000, 'z'));
        QCOMPARE(f_.prompter.messages.size(), 1);
        QCOMPARE(f_.prompter.messages[0].kind, PromptKind::Error);
        QVERIFY(f_.prompter.messages[0].text.contains(QStringLiteral("link")));
    }

    void commandLine()
    {
        const QString archive = tar(QStringLiteral("cmd.tar"), sample());
        f_.form.reset();
        f_.form = std::make_unique<TForm1>(f_.prompter, QStringList{archive});
        f_.page = f_.form->UnzipPage;
        QCOMPARE(f_.page->RowCount(), 3);
        QVERIFY(f_.page->UnzipButton->isEnabled());
        const QString inner = tar(QStringLiteral("cmd2.tar"), sample());
        const QString targz = gzip(inner, f_.path(QStringLiteral("cmd2.tar.gz")), QStringLiteral("cmd2.tar"));
        f_.form.reset();
        f_.form = std::make_unique<TForm1>(f_.prompter, QStringList{targz});
        f_.page = f_.form->UnzipPage;
        QCOMPARE(f_.page->RowCount(), 3);
        QCOMPARE(f_.form->appState().CurrentArchive, targz);
        // A ".tgz" opens from the command line too: the program is its opener.
        const QString tgz = gzip(inner, f_.path(QStringLiteral("cmd3.tgz")), QStringLiteral("cmd2.tar"));
        f_.form.reset();
        f_.form = std::make_unique<TForm1>(f_.prompter, QStringList{tgz});
        f_.page = f_.form->UnzipPage;
        QCOMPARE(f_.page->RowCount(), 3);
        QCOMPARE(f_.form->appState().CurrentArchive, tgz);
        QVERIFY(f_.page->UnzipButton->isEnabled());
    }
};

QTEST_MAIN(TestUnzipTar)
#include "test_unzip_tar.moc"
