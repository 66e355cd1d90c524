// Disk spanning: a zip copied out as numbered parts and joined back, over the
// real compression modules. The layout of the parts (marker, disk numbers,
// headers that never straddle two parts), the set's own name, earlier parts
// given where the last is needed, damaged sets, removable disks (the flag
// injected) and disks without room.
#include "../cli/CliTools.h"
#include "ZipBuilder.h"
#include "platform/Platform.h"
#include "zipengine/TMZipDataList.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/TZipEngineUser.h"

#include <QStorageInfo>
#include <sys/resource.h>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>

using namespace clitools;

namespace {

// Records what the engine shows and asks; answers questions from a queue
// (an empty queue answers Cancel).
class DiskUser : public TZipEngineUser {
public:
    QStringList shown;
    std::deque<PromptButton> answers;
    void ShowMessage(const QString& text) override { shown << text; }
    PromptButton Ask(const QString& text, PromptButtonSet) override
    {
        shown << text;
        if (answers.empty())
            return PromptButton::Cancel;
        const PromptButton b = answers.front();
        answers.pop_front();
        return b;
    }
    int AskPassword(const QString&, const QString&, int, QString&) override { return 2; }
};

uint16_t le16(const QByteArray& b, qsizetype at) { return uint16_t(uchar(b[at]) | uchar(b[at + 1]) << 8); }
uint32_t le32(const QByteArray& b, qsizetype at) { return uint32_t(le16(b, at)) | uint32_t(le16(b, at + 2)) << 16; }

// A stored zip of `count` entries of `size` random bytes each, made by the
// engine over the modules.
QString storedZip(const QString& folder, int count, int size)
{
    const QString src = folder + "/src";
    QDir().mkpath(src);
    QStringList sources;
    for (int i = 0; i < count; ++i) {
        const QString f = QStringLiteral("%1/file%2.bin").arg(src).arg(i);
        testtools::writeFile(f, testtools::randomData(size, quint32(i + 1)));
        sources << f;
    }
    TZipEngine e;
    e.Unattended = true;
    e.SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
    const QString zip = folder + "/whole.zip";
    e.SetZipFileName(zip);
    e.AddCompLevel = 0;
    e.AddOptions = TZipEngine::AddHiddenFiles;
    e.FSpecArgs = sources;
    e.Add();
    return e.SuccessCount == count ? zip : QString();
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// The layout of the set named after `zip` in `count` parts of at most
// `partSize` bytes holding `entries` entries: the marker first, the end
// record last on the last part, and every header where the directory says,
// whole in its part.
void checkSetLayout(const QString& zip, int count, qint64 partSize, int entries)
{
    QList<QByteArray> parts;
    for (int i = 1; i <= count; ++i) {
        parts << testtools::readFile(TZipEngine::PartFileName(zip, i));
        QVERIFY(parts.last().size() <= partSize);
    }
    QCOMPARE(le32(parts[0], 0), 0x08074B50u);
    QCOMPARE(le32(parts[0], 4), 0x04034B50u);
    const int lastDisk = count - 1;
    const QByteArray& last = parts[lastDisk];
    const qsizetype end = last.size() - 22;
    QCOMPARE(le32(last, end), 0x06054B50u);
    QCOMPARE(le16(last, end + 4), uint16_t(lastDisk));
    QCOMPARE(le16(last, end + 10), uint16_t(entries));
    int dirDisk = le16(last, end + 6);
    qsizetype at = le32(last, end + 16);
    QByteArray dir = parts[dirDisk];
    int onLast = 0;
    for (int n = 0; n < entries; ++n) {
        if (at >= dir.size() - (dirDisk == lastDisk ? 22 : 0)) {
            dir = parts[++dirDisk];
            at = 0;
        }
        onLast += dirDisk == lastDisk;
        QCOMPARE(le32(dir, at), 0x02014B50u);
        const int disk = le16(dir, at + 34);
        const uint32_t offset = le32(dir, at + 42);
        const int nameLen = le16(dir, at + 28);
        const QByteArray& part = parts[disk];
        QCOMPARE(le32(part, offset), 0x04034B50u);
        // Header, name and extra field lie whole in the part.
        QVERIFY(offset + 30 + nameLen + le16(part, offset + 28) <= uint32_t(part.size()));
        QCOMPARE(part.mid(offset + 30, nameLen), dir.mid(at + 46, nameLen));
        // The local header's CRC and sizes, patched in after the data, are the directory's.
        QCOMPARE(part.mid(offset + 14, 12), dir.mid(at + 16, 12));
        at += 46 + nameLen + le16(dir, at + 30) + le16(dir, at + 32);
    }
    QCOMPARE(le16(last, end + 8), uint16_t(onLast));
}

} // namespace

class TestZipSpan : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<TZipEngine> e_;
    DiskUser user_;
    QStringList said_;

    QString folder(const QString& name)
    {
        const QString f = dir_.filePath(name);
        QDir().mkpath(f);
        return f;
    }

    // Adds `sources` as a set of parts of at most `partSize` bytes named after `zip`.
    void addSet(const QString& zip, int level, int32_t partSize, const QString& tempDir, const QStringList& sources)
    {
        e_->SetZipFileName(zip);
        e_->AddCompLevel = level;
        e_->AddOptions = TZipEngine::AddHiddenFiles | TZipEngine::AddDiskSpan;
        e_->MaxVolumeSize = partSize;
        e_->TempDir = tempDir;
        e_->FSpecArgs = sources;
        e_->Add();
    }

private slots:
    void init()
    {
        e_ = std::make_unique<TZipEngine>();
        e_->SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
        e_->SetUser(&user_);
        user_ = DiskUser();
        said_.clear();
        e_->OnMessage = [this](TZipEngine&, int32_t, const QString& text) { said_ << text; };
    }
    void cleanup()
    {
        Platform::SetRemovableDriveHook(nullptr);
        Platform::SetFreeOnDiskHook(nullptr);
    }

    void partNames()
    {
        QCOMPARE(TZipEngine::PartFileName("/a/archive.zip", 1), QStringLiteral("/a/archive001.zip"));
        QCOMPARE(TZipEngine::PartFileName("/a.b/backup", 12), QStringLiteral("/a.b/backup012"));
        QCOMPARE(TZipEngine::PartFileName("x.tar.zip", 3), QStringLiteral("x.tar003.zip"));
        QString archive;
        QCOMPARE(TZipEngine::PartNumberOf("/a/archive003.zip", &archive), 3);
        QCOMPARE(archive, QStringLiteral("/a/archive.zip"));
        QCOMPARE(TZipEngine::PartNumberOf("/a/archive.zip"), -1);
        QCOMPARE(TZipEngine::PartNumberOf("/a/arch000.zip"), -1);
        QCOMPARE(TZipEngine::PartNumberOf("/a/001.zip"), -1);
    }

    void dataList()
    {
        TMZipDataList list(2);
        list.At(0).FileName = "Read.ME";
        list.At(0).SourceOffset = 4;
        list.At(1).FileName = "read.me";
        list.At(1).SourceOffset = 100;
        list.IndexSources();
        QCOMPARE(&list.FindName("READ.me"), &list.At(0));
        // Names that differ only in case are told apart by where their headers lie.
        QCOMPARE(&list.FindHeader(0, 100, "read.me"), &list.At(1));
        try {
            list.At(2);
            QFAIL("no exception");
        } catch (const EZipEngine& x) {
            QCOMPARE(x.Message(), QStringLiteral("Index (2) outside range 1..1"));
        }
        try {
            list.FindName("other");
            QFAIL("no exception");
        } catch (const EZipEngine& x) {
            QCOMPARE(x.ResourceId(), 11026);
            QCOMPARE(x.Message(), QStringLiteral("A local header not found in internal structure"));
        }
        QVERIFY_THROWS_EXCEPTION(EZipEngine, list.FindHeader(0, 100, "READ.ME"));
    }

    // A 3.5 MB zip in parts of 1,457,664 bytes: three parts, the archive
    // known by the last, and every header where the directory says.
    void addWritesTheSet()
    {
        const QString f = folder("add");
        QStringList sources;
        for (int i = 0; i < 7; ++i) {
            const QString file = QStringLiteral("%1/f%2.bin").arg(f).arg(i);
            testtools::writeFile(file, testtools::randomData(500 * 1024, quint32(i + 7)));
            sources << file;
        }
        const QString zip = folder("out") + "/archive.zip";
        const QString tempDir = folder("temp");
        QList<int> progressTypes;
        e_->OnProgress = [&](TZipEngine&, TZipEngine::ProgressType t, const QString&, int32_t) { progressTypes << t; };
        addSet(zip, 0, 1457664, tempDir, sources);
        QCOMPARE(e_->ErrCode, 0);
        QCOMPARE(e_->SuccessCount, 7);
        QCOMPARE(filesIn(QFileInfo(zip).path()),
                 (QStringList{"archive001.zip", "archive002.zip", "archive003.zip"}));
        QCOMPARE(e_->ZipFileName(), QFileInfo(zip).path() + "/archive003.zip");
        QVERIFY(filesIn(tempDir).isEmpty());
        QVERIFY(said_.contains("Copying: Central directory"));
        QVERIFY(progressTypes.contains(TZipEngine::ProgressTotalFiles));
        QVERIFY(progressTypes.contains(TZipEngine::ProgressBytes));

        checkSetLayout(zip, 3, 1457664, 7);
        if (QTest::currentTestFailed())
            return;

        // Listed from its last part, and extracted in place.
        e_->SetZipFileName(TZipEngine::PartFileName(zip, 3));
        QCOMPARE(e_->Count, 7);
        QCOMPARE(e_->LastDiskNumber, 2);
        const QString to = folder("extracted");
        e_->ExtrBaseDir = to;
        e_->ExtrOptions = TZipEngine::ExtrOverWrite;
        e_->Extract();
        QCOMPARE(e_->ErrCode, 0);
        QCOMPARE(e_->SuccessCount, 7);
        for (int i = 0; i < 7; ++i)
            QCOMPARE(testtools::readFile(QStringLiteral("%1/f%2.bin").arg(to).arg(i)),
                     testtools::readFile(sources[i]));
        QVERIFY(filesIn(tempDir).isEmpty());
    }

    // Deflated straight into the parts: the noise does not shrink and is
    // written again stored, cutting back over the parts it had filled; the
    // headers are patched in earlier parts. 7z reads the set under the other
    // naming, and it extracts here.
    void addWritesStraightIntoParts()
    {
        QUARN_REQUIRE_PEER("7z");
        const QString f = folder("direct");
        const QStringList sources{f + "/noise.bin", f + "/text.txt", f + "/empty.txt"};
        testtools::writeFile(sources[0], testtools::randomData(300000, 5));
        testtools::writeFile(sources[1], testtools::sampleData(400000, 6));
        testtools::writeFile(sources[2], QByteArray());
        const QString out = folder("direct-out");
        const QString zip = out + "/archive.zip";
        // What an earlier, longer set left under the same name is replaced.
        testtools::writeFile(TZipEngine::PartFileName(zip, 1), "old part");
        int asked = 0;
        e_->OnStatusDisk = [&](TZipEngine&, int32_t, const QString&, int32_t status, int32_t& action) {
            ++asked;
            action = (status & TZipEngine::zdsSameFileName) ? TZipEngine::zdaOk : TZipEngine::zdaCancel;
        };
        const QString tempDir = folder("direct-temp");
        addSet(zip, 8, 65536, tempDir, sources);
        QCOMPARE(e_->ErrCode, 0);
        QCOMPARE(e_->SuccessCount, 3);
        QCOMPARE(asked, 1);
        const int count = e_->CurrentDisk + 1;
        QVERIFY(count >= 6);
        QStringList names;
        for (int i = 1; i <= count; ++i)
            names << QFileInfo(TZipEngine::PartFileName(zip, i)).fileName();
        QCOMPARE(filesIn(out), names);
        QVERIFY(filesIn(tempDir).isEmpty());
        QCOMPARE(e_->ZipFileName(), TZipEngine::PartFileName(zip, count));
        checkSetLayout(zip, count, 65536, 3);
        if (QTest::currentTestFailed())
            return;
        // The noise went in stored, the text deflated.
        const QByteArray first = testtools::readFile(TZipEngine::PartFileName(zip, 1));
        QCOMPARE(le16(first, 4 + 8), uint16_t(0));
        QCOMPARE(le32(first, 4 + 18), 300000u);

        const QString iz = folder("direct-iz");
        for (int i = 1; i <= count; ++i)
            QVERIFY(QFile::copy(TZipEngine::PartFileName(zip, i),
                                i == count ? iz + "/archive.zip" : QStringLiteral("%1/archive.z%2").arg(iz).arg(i, 2, 10, QLatin1Char('0'))));
        const Run r = run("7z", {"t", iz + "/archive.zip"});
        QVERIFY2(r.code == 0 && r.outText().contains("Everything is Ok"), qPrintable(r.outText() + r.errText()));

        const QString to = folder("direct-x");
        e_->ExtrBaseDir = to;
        e_->ExtrOptions = TZipEngine::ExtrOverWrite;
        e_->Extract();
        QCOMPARE(e_->ErrCode, 0);
        QCOMPARE(e_->SuccessCount, 3);
        for (const QString& source : sources)
            QCOMPARE(testtools::readFile(to + "/" + QFileInfo(source).fileName()), testtools::readFile(source));
        QVERIFY(filesIn(tempDir).isEmpty());
    }

    // A set is read in place whatever its number of parts: more parts than
    // the process may hold open at once still extract.
    void manyPartsNeedFewDescriptors()
    {
        const QString f = folder("many");
        const QStringList sources{f + "/a.bin", f + "/b.bin"};
        testtools::writeFile(sources[0], testtools::randomData(150000, 11));
        testtools::writeFile(sources[1], testtools::randomData(150000, 12));
        const QString zip = folder("many-out") + "/archive.zip";
        e_->MinFreeVolumeSize = 4096;
        addSet(zip, 0, 4096, folder("many-temp"), sources);
        QCOMPARE(e_->ErrCode, 0);
        QVERIFY(e_->CurrentDisk + 1 > 64);
        struct rlimit was {};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &was), 0);
        struct rlimit few = was;
        few.rlim_cur = 48;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &few), 0);
        const QString to = folder("many-x");
        e_->ExtrBaseDir = to;
        e_->Extract();
        ::setrlimit(RLIMIT_NOFILE, &was);
        QCOMPARE(e_->ErrCode, 0);
        QCOMPARE(e_->SuccessCount, 2);
        QCOMPARE(testtools::readFile(to + "/b.bin"), testtools::readFile(sources[1]));
    }

    // Dated as its newest entry, a set has every part so dated.
    void partsDatedAsNewestEntry()
    {
        const QString f = folder("dated");
        const QStringList sources{f + "/old.bin", f + "/new.bin"};
        const QDateTime newest(QDate(2001, 5, 6), QTime(7, 8, 10));
        for (int i = 0; i < 2; ++i) {
            testtools::writeFile(sources[i], testtools::randomData(100000, quint32(20 + i)));
            QFile file(sources[i]);
            QVERIFY(file.open(QIODevice::Append));
            QVERIFY(file.setFileTime(newest.addDays(i - 1), QFileDevice::FileModificationTime));
        }
        const QString zip = folder("dated-out") + "/archive.zip";
        e_->SetZipFileName(zip);
        e_->AddOptions = TZipEngine::AddHiddenFiles | TZipEngine::AddDiskSpan | TZipEngine::AddZipTime;
        e_->AddCompLevel = 0;
        e_->MaxVolumeSize = 65536;
        e_->TempDir = folder("dated-temp");
        e_->FSpecArgs = sources;
        e_->Add();
        QCOMPARE(e_->ErrCode, 0);
        QCOMPARE(e_->CurrentDisk, 3);
        for (int i = 1; i <= 4; ++i)
            QCOMPARE(QFileInfo(TZipEngine::PartFileName(zip, i)).lastModified(), newest);
    }

    // Writing straight into the parts stops where the parts cannot be
    // written, says why, and leaves no part behind; a part the user would
    // not have replaced stays.
    void failedAddLeavesNoParts()
    {
        const QString f = folder("failing");
        const QStringList sources{f + "/a.bin", f + "/b.bin"};
        testtools::writeFile(sources[0], testtools::randomData(100000, 8));
        testtools::writeFile(sources[1], testtools::randomData(100000, 9));
        const QString out = folder("failing-out");
        const QString zip = out + "/archive.zip";
        e_->Unattended = true;
        const QString tempDir = folder("failing-temp");
        // The third part finds no room.
        int opened = 0;
        Platform::SetFreeOnDiskHook([&](const QString&) { return ++opened >= 3 ? qint64(1000) : qint64(1) << 30; });
        addSet(zip, 0, 65536, tempDir, sources);
        QCOMPARE(e_->SuccessCount, 0);
        QCOMPARE(e_->ErrCode, 11032);
        QCOMPARE(e_->LastMessage, QStringLiteral("This disk has not enough free space available"));
        QVERIFY(filesIn(out).isEmpty());
        QVERIFY(filesIn(tempDir).isEmpty());
        Platform::SetFreeOnDiskHook(nullptr);

        // The second part's name is taken and the user keeps it.
        testtools::writeFile(TZipEngine::PartFileName(zip, 2), "keep me");
        e_->Unattended = false;
        e_->OnStatusDisk = [](TZipEngine&, int32_t, const QString&, int32_t, int32_t& action) {
            action = TZipEngine::zdaCancel;
        };
        addSet(zip, 0, 65536, tempDir, sources);
        QCOMPARE(e_->SuccessCount, 0);
        QCOMPARE(e_->ErrCode, 11007);
        QCOMPARE(filesIn(out), QStringList{"archive002.zip"});
        QCOMPARE(testtools::readFile(TZipEngine::PartFileName(zip, 2)), QByteArray("keep me"));
    }

    // A set written again over itself: stopped part-way, the old set stays
    // byte for byte with no scratch part beside it; finished with fewer
    // parts, the old set's later parts are gone.
    void setWrittenAgainOverItself()
    {
        const QString f = folder("again");
        QStringList sources;
        for (int i = 0; i < 4; ++i) {
            sources << QStringLiteral("%1/f%2.bin").arg(f).arg(i);
            testtools::writeFile(sources.last(), testtools::randomData(60000, quint32(40 + i)));
        }
        const QString out = folder("again-out");
        const QString zip = out + "/archive.zip";
        e_->OnStatusDisk = [](TZipEngine&, int32_t, const QString&, int32_t status, int32_t& action) {
            action = (status & TZipEngine::zdsSameFileName) ? TZipEngine::zdaOk : TZipEngine::zdaCancel;
        };
        // A file that happens to be numbered on from a new set is no old part.
        testtools::writeFile(TZipEngine::PartFileName(zip, 5), "not a part");
        addSet(zip, 0, 65536, folder("again-temp"), sources);
        QVERIFY2(e_->ErrCode == 0, qPrintable(e_->LastMessage));
        QCOMPARE(e_->CurrentDisk + 1, 4);
        QCOMPARE(testtools::readFile(TZipEngine::PartFileName(zip, 5)), QByteArray("not a part"));
        QVERIFY(QFile::remove(TZipEngine::PartFileName(zip, 5)));
        const auto old = testtools::snapshot(out);

        // Stopped once two parts are written.
        e_->OnProgress = [this](TZipEngine& e, TZipEngine::ProgressType, const QString&, int32_t) {
            if (e.CurrentDisk >= 2)
                e.CancelFlag = true;
        };
        addSet(zip, 0, 65536, folder("again-temp"), sources);
        e_->OnProgress = nullptr;
        QCOMPARE(e_->SuccessCount, 0);
        QVERIFY(e_->ErrCode != 0);
        QVERIFY(testtools::snapshot(out) == old);

        // Two files make a set of two parts: the old third and fourth go.
        e_->ErrCode = 0;
        addSet(zip, 0, 65536, folder("again-temp"), sources.mid(0, 2));
        QCOMPARE(e_->ErrCode, 0);
        QCOMPARE(e_->CurrentDisk + 1, 2);
        QCOMPARE(filesIn(out), (QStringList{"archive001.zip", "archive002.zip"}));
        e_->SetZipFileName(TZipEngine::PartFileName(zip, 2));
        QCOMPARE(e_->Count, 2);
    }

    // A set for removable disks is still written whole first and copied out
    // disk by disk: unattended, it stops at once and leaves nothing behind.
    void addToRemovableDisksStopsUnattended()
    {
        const QString f = folder("add-removable");
        testtools::writeFile(f + "/a.txt", "a");
        Platform::SetRemovableDriveHook([](const QString&) { return true; });
        e_->Unattended = true;
        const QString out = folder("add-removable-out");
        e_->SetZipFileName(out + "/archive.zip");
        e_->AddOptions = TZipEngine::AddDiskSpan;
        const QString tempDir = folder("add-removable-temp");
        e_->TempDir = tempDir;
        e_->FSpecArgs = QStringList{f + "/a.txt"};
        e_->Add();
        QCOMPARE(e_->SuccessCount, 0);
        QCOMPARE(e_->ErrCode, 11025);
        QVERIFY(filesIn(out).isEmpty());
        QVERIFY(filesIn(tempDir).isEmpty());
    }

    // The first entry leaves 10 bytes in the first part: the second local
    // header starts the next one.
    void headerThatDoesNotFitStartsTheNextPart()
    {
        const QString f = folder("fit");
        // 4 marker + 30 header + 9 name + 5 extra + data = 65536 - 10
        ZipBuilder b;
        b.add("file0.bin", testtools::randomData(65536 - 10 - 4 - 30 - 9 - 5, 1)).extra = QByteArray::fromHex("9999010058");
        b.add("file1.bin", "second").extra = QByteArray::fromHex("9999010059");
        const QString zip = f + "/whole.zip";
        QVERIFY(WriteBytes(zip, b.build()));
        e_->MaxVolumeSize = 65536;
        const QString set = f + "/set.zip";
        QCOMPARE(e_->WriteSpan(zip, set), 0);
        const QByteArray first = testtools::readFile(f + "/set001.zip");
        const QByteArray second = testtools::readFile(f + "/set002.zip");
        QCOMPARE(first.size(), 65536 - 10);
        QCOMPARE(le32(second, 0), 0x04034B50u);
        QCOMPARE(second.mid(30, 14), QByteArray("file1.bin") + QByteArray::fromHex("9999010059"));
        QCOMPARE(e_->CurrentDisk, 1);
        // Joined again, it is the zip it was made from, offsets and all.
        e_->SetZipFileName(f + "/set002.zip");
        QCOMPARE(e_->Count, 2);
        QString joined;
        QCOMPARE(e_->ReadSpan(f, joined), 0);
        QCOMPARE(testtools::readFile(joined), testtools::readFile(zip));
        QVERIFY(QFile::remove(joined));
    }

    // Parts of a set given where the last is needed.
    void earlierPartsSayWhichTheyAre()
    {
        const QString f = folder("earlier");
        const QString zip = storedZip(f, 3, 50000);
        e_->MaxVolumeSize = 65536;
        QCOMPARE(e_->WriteSpan(zip, f + "/archive.zip"), 0);
        QCOMPARE(e_->CurrentDisk, 2);
        e_->Unattended = true;
        e_->SetZipFileName(f + "/archive002.zip");
        QCOMPARE(e_->ErrCode, 11038);
        QCOMPARE(e_->LastMessage, QStringLiteral("This is the 2th disk in a backup set,\nplease insert the last disk of this set"));
        e_->SetZipFileName(f + "/archive001.zip");
        QCOMPARE(e_->ErrCode, 11037);
        QCOMPARE(e_->LastMessage, QStringLiteral("This is the first disk in a backup set,\nplease insert the last disk of this set"));
        // Joining from an earlier part says the same on its second pass.
        e_->SetZipFileName(f + "/archive003.zip");
        QCOMPARE(e_->Count, 3);
        const QString temp = folder("earlier-temp");
        QString joined;
        e_->SetZipFileName(f + "/archive002.zip");
        QCOMPARE(e_->ReadSpan(temp, joined), -7);
        QCOMPARE(e_->ErrCode, 11038);
        QVERIFY(filesIn(temp).isEmpty());
    }

    void damagedSetsLeaveNoTemporaryZip_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("part missing") << "missing" << 11001 << "Input file does not exist";
        QTest::newRow("part cut short") << "cut" << 11012 << "Error while reading a local header";
        QTest::newRow("first part's marker gone") << "marker" << 11031 << "Error while reading a Extended Local signature";
        // The second part lost and the last renamed in its place: the part
        // named second says it is the third.
        QTest::newRow("last part renamed") << "renamed" << 11036 << "This archive is not a valid Zip archive";
    }
    void damagedSetsLeaveNoTemporaryZip()
    {
        QFETCH(QString, damage);
        QFETCH(int, id);
        QFETCH(QString, text);
        const QString f = folder("damaged-" + damage);
        const QString zip = storedZip(f, 3, 50000);
        e_->MaxVolumeSize = 65536;
        QCOMPARE(e_->WriteSpan(zip, f + "/archive.zip"), 0);
        if (damage == "missing") {
            QVERIFY(QFile::remove(f + "/archive002.zip"));
        } else if (damage == "renamed") {
            QVERIFY(QFile::remove(f + "/archive002.zip"));
            QVERIFY(QFile::rename(f + "/archive003.zip", f + "/archive002.zip"));
        } else if (damage == "cut") {
            QFile p(f + "/archive002.zip");
            QVERIFY(p.resize(p.size() / 2));
        } else {
            QFile p(f + "/archive001.zip");
            QVERIFY(p.open(QIODevice::ReadWrite));
            p.write("XXXX");
        }
        e_->SetZipFileName(f + (damage == "renamed" ? "/archive002.zip" : "/archive003.zip"));
        QCOMPARE(e_->Count, 3);
        const QString temp = folder("temp-" + damage);
        e_->TempDir = temp;
        e_->ExtrBaseDir = folder("to-" + damage);
        e_->Extract();
        QCOMPARE(e_->ErrCode, id);
        QCOMPARE(e_->LastMessage, text);
        QCOMPARE(user_.shown.last(), text);
        QVERIFY(filesIn(temp).isEmpty());
        QVERIFY(filesIn(e_->ExtrBaseDir).isEmpty());
    }

    // Every part of a set on a removable disk: no one to ask stops at once.
    void unattendedRemovableStops()
    {
        const QString f = folder("removable");
        const QString zip = storedZip(f, 2, 1000);
        Platform::SetRemovableDriveHook([](const QString&) { return true; });
        e_->Unattended = true;
        QCOMPARE(e_->WriteSpan(zip, f + "/disk/archive.zip"), -7);
        QCOMPARE(e_->ErrCode, 11025);
        QCOMPARE(e_->LastMessage, QStringLiteral("Unattended disk spanning not implemented"));
        QVERIFY(!QFileInfo::exists(f + "/disk"));
    }

    // Attended, each disk is asked for, and the label notice comes once.
    void removableDisksAreAskedFor()
    {
        const QString f = folder("asked");
        const QString zip = storedZip(f, 3, 50000);
        Platform::SetRemovableDriveHook([](const QString&) { return true; });
        Platform::SetFreeOnDiskHook([](const QString&) { return qint64(1) << 30; });
        e_->MaxVolumeSize = 65536;
        user_.answers = {PromptButton::Ok, PromptButton::Ok, PromptButton::Ok};
        QCOMPARE(e_->WriteSpan(zip, f + "/archive.zip"), 0);
        const QString drive = QStorageInfo(f).rootPath();
        const QString in = QStringLiteral("\nin drive: ") + drive + (drive.endsWith('/') ? "" : "/");
        QCOMPARE(user_.shown,
                 (QStringList{"Please insert disk volume 1 of 3" + in, "Volume label could not be set",
                              "Please insert disk volume 2 of 3" + in, "Please insert disk volume 3 of 3" + in}));
        QCOMPARE(filesIn(f).filter("archive"), (QStringList{"archive001.zip", "archive002.zip", "archive003.zip"}));
        // Read back, each disk is asked for in turn.
        user_.shown.clear();
        e_->SetZipFileName(f + "/archive003.zip");
        QCOMPARE(e_->Count, 3);
        QCOMPARE(user_.shown, QStringList());
        user_.answers = {PromptButton::Ok, PromptButton::Ok, PromptButton::Ok};
        e_->ExtrBaseDir = folder("asked-out");
        e_->ExtrOptions = 0;
        e_->Extract();
        QCOMPARE(e_->ErrCode, 0);
        QCOMPARE(e_->SuccessCount, 3);
        QCOMPARE(user_.shown, (QStringList{"Please insert disk volume 1 of 3" + in, "Please insert disk volume 2 of 3" + in,
                                           "Please insert disk volume 3 of 3" + in}));
        // Cancelling the prompt stops quietly.
        user_.shown.clear();
        QCOMPARE(e_->WriteSpan(zip, f + "/again.zip"), -7);
        QCOMPARE(e_->ErrCode, 11007);
        QCOMPARE(user_.shown.size(), 1);
    }

    void diskWithoutRoomIsRefused()
    {
        const QString f = folder("full");
        const QString zip = storedZip(f, 1, 1000);
        Platform::SetFreeOnDiskHook([](const QString&) { return qint64(60000); });
        QCOMPARE(e_->WriteSpan(zip, f + "/archive.zip"), -7);
        QCOMPARE(user_.shown, QStringList{"This disk has not enough free space available"});
        QCOMPARE(e_->ErrCode, 11007);
        QVERIFY(!QFileInfo::exists(f + "/archive001.zip"));
        // No one to ask: the room is what is reported.
        e_->Unattended = true;
        QCOMPARE(e_->WriteSpan(zip, f + "/archive.zip"), -7);
        QCOMPARE(e_->ErrCode, 11032);
        QVERIFY(!QFileInfo::exists(f + "/archive001.zip"));
        // What is kept free on the first disk counts against it.
        e_->Unattended = false;
        user_.shown.clear();
        Platform::SetFreeOnDiskHook([](const QString&) { return qint64(100000); });
        e_->KeepFreeOnDisk1 = 40000;
        QCOMPARE(e_->WriteSpan(zip, f + "/archive.zip"), -7);
        QCOMPARE(user_.shown, QStringList{"This disk has not enough free space available"});
        e_->KeepFreeOnDisk1 = 0;
        // 65,536 bytes are enough.
        Platform::SetFreeOnDiskHook([](const QString&) { return qint64(65536); });
        QCOMPARE(e_->WriteSpan(zip, f + "/archive.zip"), 0);
        QVERIFY(QFileInfo::exists(f + "/archive001.zip"));
    }

    // Spanning refuses what it cannot keep whole.
    void refusals()
    {
        const QString f = folder("refused");
        e_->SetZipFileName(f + "/x.exe");
        e_->AddOptions = TZipEngine::AddDiskSpan;
        e_->FSpecArgs = QStringList{f};
        e_->Add();
        QCOMPARE(e_->ErrCode, 11041);
        e_->SetZipFileName(f + "/x.zip");
        e_->AddOptions = TZipEngine::AddDiskSpan | TZipEngine::AddUpdate;
        e_->FSpecArgs = QStringList{f};
        e_->Add();
        QCOMPARE(e_->ErrCode, 10303);
        testtools::writeFile(f + "/not.zip", "not a zip at all, just text");
        QCOMPARE(e_->WriteSpan(f + "/not.zip", f + "/set.zip"), -7);
        QCOMPARE(e_->ErrCode, 11036);
        QCOMPARE(e_->WriteSpan(f + "/missing.zip", f + "/set.zip"), -7);
        QCOMPARE(e_->ErrCode, 11001);
        QVERIFY(!QFileInfo::exists(f + "/set001.zip"));
    }
};

QTEST_GUILESS_MAIN(TestZipSpan)
#include "test_zipspan.moc"
