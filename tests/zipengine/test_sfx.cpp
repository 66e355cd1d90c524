// Self-extracting conversion: the option block, the shifted copy and its size
// checks, the stub icon, recovering the zip, and what the peers say of the result.

#include "TestTools.h"

#include "zipengine/SfxParts.h"
#include "zipengine/SfxRequest.h"
#include "zipengine/TZipEngine.h"

#include <QtTest>

using namespace testtools;

namespace {

QString stubPath() { return QStringLiteral(QUARN_BIN_DIR "/sfxstub.bin"); }

// A stored zip of exactly `size` bytes (its comment pads it), made by python.
void makeZipOfSize(const QString& path, int size)
{
    const Run r = python(R"(import io, sys, zipfile
def build(comment):
    b = io.BytesIO()
    with zipfile.ZipFile(b, 'w', zipfile.ZIP_STORED) as z:
        z.writestr('a.txt', 'x' * 100)
        z.writestr('dir/b.txt', 'y' * 200)
        z.comment = comment
    return b.getvalue()
n = len(build(b''))
open(sys.argv[1], 'wb').write(build(b'c' * (int(sys.argv[2]) - n)))
)",
                         {path, QString::number(size)});
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(QFileInfo(path).size(), qint64(size));
}

// A deflated zip of a small tree, made by Info-ZIP's zip.
void makeTreeZip(const QString& folder, const QString& zip)
{
    makeTree(folder + "/tree");
    const Run r = run("zip", {"-qr", zip, "."}, folder + "/tree");
    QVERIFY2(r.code == 0, r.err.constData());
}

uint32_t firstLocalOffset(const QByteArray& archive)
{
    const int cd = archive.lastIndexOf(QByteArray("PK\x01\x02", 4));
    const auto* p = reinterpret_cast<const unsigned char*>(archive.constData());
    // The directory's first header is the one the end record names.
    const int eocd = archive.lastIndexOf(QByteArray("PK\x05\x06", 4));
    Q_UNUSED(cd);
    const uint32_t dirAt = GetLE32(p + eocd + 16);
    return GetLE32(p + dirAt + 42);
}

struct Engine {
    TZipEngine e;
    QStringList said;
    Engine()
    {
        e.Unattended = true;
        e.HowToDelete = TZipEngine::htdFinal;
        e.OnMessage = [this](TZipEngine&, int32_t, const QString& text) { said << text; };
    }
};

// The option block of a program made from a zip (the bytes between the stub
// and the zip).
QByteArray blockOf(const QByteArray& program, qint64 stubSize, qint64 zipSize)
{
    return program.mid(stubSize, program.size() - stubSize - zipSize);
}

} // namespace

class TestSfx : public QObject {
    Q_OBJECT
private:
    FreshFolders tmp;

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(stubPath()).isFile(), "sfxstub.bin is not built");
        for (const char* peer : {"zip", "unzip", "7z", "python3", "unzipsfx"})
            QVERIFY2(havePeer(peer), peer);
    }

    // The block: 12 bytes for four empty texts, 32 for a 20-character caption;
    // every flag at its place; read back in both forms.
    void optionBlockLayout()
    {
        SfxOptionBlock b;
        QCOMPARE(b.Encode().size(), 12);
        QCOMPARE(b.Encode(), QByteArray("MPV\0\0\1\x0c\0\0\0\0\0", 12));
        b.Caption = QByteArray(20, 'T');
        const QByteArray v = b.Encode();
        QCOMPARE(v.size(), 32);
        QCOMPARE(v.at(6), char(32));
        QCOMPARE(v.at(8), char(20));
        QCOMPARE(v.mid(9, 20), QByteArray(20, 'T'));
        b.Caption = "abc";
        b.Message = "hello";
        QCOMPARE(b.Encode().size(), 20); // 12 + 8 rounded up to 4

        SfxOptionBlock back;
        b.Flags = 0xA5;
        b.DefaultDir = "><";
        b.CommandLine = "><run.bat";
        const QByteArray enc = b.Encode();
        QVERIFY(back.Decode(reinterpret_cast<const unsigned char*>(enc.constData()), enc.size()));
        QCOMPARE(back.Flags, uint8_t(0xA5));
        QCOMPARE(back.Caption, QByteArray("abc"));
        QCOMPARE(back.DefaultDir, QByteArray("><"));
        QCOMPARE(back.CommandLine, QByteArray("><run.bat"));
        QCOMPARE(back.Message, QByteArray("hello"));
        // A length byte running past the bytes given is refused.
        QVERIFY(!back.Decode(reinterpret_cast<const unsigned char*>(enc.constData()), 10));

        // The older form: lengths at 4, 5 and 6, no message, bit 7 not read.
        const QByteArray u = QByteArray("MPU\xff\x02\x01\x03", 7) + "ab" + "d" + "cmd";
        QVERIFY(back.Decode(reinterpret_cast<const unsigned char*>(u.constData()), u.size()));
        QCOMPARE(back.Flags, uint8_t(0x7F));
        QCOMPARE(back.Caption, QByteArray("ab"));
        QCOMPARE(back.DefaultDir, QByteArray("d"));
        QCOMPARE(back.CommandLine, QByteArray("cmd"));
        QVERIFY(back.Message.isEmpty());
    }

    // The page's choices become the block's texts and flags: message kind 3
    // is 0x02 + the text, kind 1 with no text stores nothing, auto-run drops
    // the folder and the message.
    void requestToProperties()
    {
        TZipEngine e;
        SfxRequest r;
        r.MessageKind = 3;
        r.Message = "Go on?";
        r.FolderChoice = 1;
        r.AskFiles = true;
        r.AutoStart = "docs\\read.txt";
        r.ApplyTo(e);
        QCOMPARE(e.SFXMessage, QString(QChar(2)) + "Go on?");
        QCOMPARE(e.SFXDefaultDir, QString("><"));
        QCOMPARE(e.SFXCommandLine, QString("><docs\\read.txt"));
        QCOMPARE(e.SFXCaption, QString("Self Extracting Zip File"));
        QCOMPARE(int(e.SFXOptions), int(TZipEngine::SFXCheckSize | TZipEngine::SFXAskFiles));
        const SfxRequest back = SfxRequest::ReadFrom(e);
        QCOMPARE(back.MessageKind, 3);
        QCOMPARE(back.Message, QString("Go on?"));
        QCOMPARE(back.FolderChoice, 1);
        QCOMPARE(back.AutoStart, QString("docs\\read.txt"));

        r.MessageKind = 1;
        r.Message.clear();
        r.ApplyTo(e);
        QVERIFY(e.SFXMessage.isEmpty());

        r.AutoRun = true;
        r.MessageKind = 2;
        r.Message = "x";
        r.FolderChoice = 2;
        r.Folder = "C:\\x";
        r.ApplyTo(e);
        QVERIFY(e.SFXMessage.isEmpty());
        QVERIFY(e.SFXDefaultDir.isEmpty());
        QCOMPARE(int(e.SFXOptions),
                 int(TZipEngine::SFXCheckSize | TZipEngine::SFXAutoRun | TZipEngine::SFXHideOverWriteBox));
    }

    // A 1,000-byte zip behind a 40,000-byte stub with a 20-character caption:
    // 41,032 bytes, offsets 40,032 higher, and the same 1,000 bytes back.
    void shiftedCopyAndBack()
    {
        const QString dir = tmp.fresh();
        const QString stub = dir + "/stub.bin", zip = dir + "/t.zip";
        writeFile(stub, "NOTPE" + sampleData(40000 - 5, 7));
        makeZipOfSize(zip, 1000);
        const QByteArray original = readFile(zip);

        Engine x;
        x.e.SetZipFileName(zip);
        x.e.SFXPath = stub;
        x.e.SFXIcon.clear();
        x.e.SFXCaption = QString(20, 'C');
        QCOMPARE(x.e.MakeSelfExtracting(), 0);
        const QString exe = dir + "/t.exe";
        QCOMPARE(x.e.ZipFileName(), exe);
        QVERIFY(!QFileInfo::exists(zip));
        const QByteArray program = readFile(exe);
        QCOMPARE(program.size(), 41032);
        QCOMPARE(program.left(40000), readFile(stub));
        QCOMPARE(program.mid(40000, 3), QByteArray("MPV"));
        QCOMPARE(firstLocalOffset(program), firstLocalOffset(original) + 40032);
        QCOMPARE(x.e.DataStart, qint64(40032));
        QVERIFY(x.said.isEmpty());

        // Another engine reads the program back, options included.
        Engine y;
        y.e.SetZipFileName(exe);
        QCOMPARE(y.e.MakePlainZip(), 0);
        QCOMPARE(y.e.ZipFileName(), zip);
        QVERIFY(!QFileInfo::exists(exe));
        QCOMPARE(readFile(zip), original);
        QCOMPARE(y.e.SFXCaption, QString(20, 'C'));
    }

    // Every option survives the trip through a program.
    void optionsReadBack()
    {
        const QString dir = tmp.fresh();
        const QString zip = dir + "/t.zip";
        makeZipOfSize(zip, 600);
        Engine x;
        x.e.SetZipFileName(zip);
        x.e.SFXPath = stubPath();
        x.e.SFXCaption = "Title é";
        x.e.SFXDefaultDir = "C:\\Program Files\\x";
        x.e.SFXCommandLine = "><setup.exe";
        x.e.SFXMessage = QString(QChar(1)) + "Install?";
        x.e.SFXOptions = TZipEngine::SFXAskCmdLine | TZipEngine::SFXAskFiles | TZipEngine::SFXHideOverWriteBox
                         | TZipEngine::SFXNoSuccessMsg;
        x.e.SFXOverWriteMode = TZipEngine::OvrNever;
        QCOMPARE(x.e.MakeSelfExtracting(), 0);
        const QByteArray program = readFile(dir + "/t.exe");
        const qint64 stubSize = QFileInfo(stubPath()).size();
        const QByteArray block = blockOf(program, stubSize, 600);
        // Flags: ask command, ask files, hide box, never, no size check, no success message.
        QCOMPARE(uint8_t(block.at(3)), uint8_t(0x01 | 0x02 | 0x04 | 0x10 | 0x20 | 0x80));
        QCOMPARE(block.size() % 4, 0);

        Engine y;
        y.e.SetZipFileName(dir + "/t.exe");
        y.e.SFXIcon.clear();
        QCOMPARE(y.e.MakePlainZip(), 0);
        QCOMPARE(y.e.SFXCaption, x.e.SFXCaption);
        QCOMPARE(y.e.SFXDefaultDir, x.e.SFXDefaultDir);
        QCOMPARE(y.e.SFXCommandLine, x.e.SFXCommandLine);
        QCOMPARE(y.e.SFXMessage, x.e.SFXMessage);
        QCOMPARE(int(y.e.SFXOptions), int(x.e.SFXOptions));
        QCOMPARE(y.e.SFXOverWriteMode, TZipEngine::OvrNever);
        // The icon comes back from the program's resources.
        QCOMPARE(y.e.SFXIcon, SfxIconImage::BuiltIn());
    }

    // The longest block (four texts of 255 characters) is found and read back.
    void longestBlock()
    {
        const QString dir = tmp.fresh();
        makeZipOfSize(dir + "/t.zip", 700);
        Engine x;
        x.e.SetZipFileName(dir + "/t.zip");
        x.e.SFXPath = stubPath();
        x.e.SFXCaption = QString(255, 'a');
        x.e.SFXDefaultDir = QString(255, 'b');
        x.e.SFXCommandLine = QString(255, 'c');
        x.e.SFXMessage = QString(255, 'd');
        QCOMPARE(x.e.MakeSelfExtracting(), 0);
        QCOMPARE(QFileInfo(dir + "/t.exe").size(), QFileInfo(stubPath()).size() + 1032 + 700);
        Engine y;
        y.e.SetZipFileName(dir + "/t.exe");
        QCOMPARE(y.e.MakePlainZip(), 0);
        QCOMPARE(y.e.SFXCaption, QString(255, 'a'));
        QCOMPARE(y.e.SFXMessage, QString(255, 'd'));
    }

    // With the real stub: the icon goes into the stub's resources, and the
    // program is still a zip to unzip, 7z and the engine.
    void realStubPassesThePeers()
    {
        const QString dir = tmp.fresh();
        const QString zip = dir + "/tree.zip";
        makeTreeZip(dir, zip);
        QByteArray icon = SfxIconImage::BuiltIn();
        for (int i = 26 + 40; i < 26 + 40 + 64; i += 4)
            icon[i - 4] = char(0x11 * (i & 0xF)); // another palette
        Engine x;
        x.e.SetZipFileName(zip);
        x.e.SFXIcon = icon;
        x.e.SFXPath = QStringLiteral("no-such-stub.bin");
        x.e.SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
        QCOMPARE(x.e.MakeSelfExtracting(), 0);
        // Found by the search, under its name in any case.
        QCOMPARE(QFileInfo(x.e.SFXPath).canonicalFilePath(), QFileInfo(stubPath()).canonicalFilePath());
        const QString exe = dir + "/tree.exe";
        const QByteArray program = readFile(exe);
        const qint64 at = SfxIconImage::FindStubIconImage(program.left(QFileInfo(stubPath()).size()));
        QVERIFY(at > 0);
        QCOMPARE(program.mid(at, SfxIconImage::ImageSize), icon.mid(22));
        QVERIFY(readFile(stubPath()).mid(at, SfxIconImage::ImageSize) != icon.mid(22));

        Run u = run("unzip", {"-t", exe});
        QVERIFY2(u.code == 0, u.out.constData());
        Run s = run("7z", {"t", exe});
        QVERIFY2(s.code == 0 && s.out.contains("Everything is Ok"), s.out.constData());
        Engine y;
        y.e.SetZipFileName(exe);
        QVERIFY(y.said.isEmpty());
        QCOMPARE(y.e.Count, 6);
        QCOMPARE(y.e.MakePlainZip(), 0);
        QCOMPARE(y.e.SFXIcon, icon);
        QCOMPARE(run("unzip", {"-t", dir + "/tree.zip"}).code, 0);
    }

    // Icons the stub cannot take, and stubs without an icon: nothing is left
    // behind and the zip stays.
    void iconFailures()
    {
        const QString dir = tmp.fresh();
        const QString zip = dir + "/t.zip";
        makeZipOfSize(zip, 700);
        // Two images (not 766 bytes): -12.
        QByteArray two = SfxIconImage::BuiltIn();
        two[4] = 2;
        two.insert(22, QByteArray(16, '\0'));
        two += two.mid(38, SfxIconImage::ImageSize);
        Engine x;
        x.e.SetZipFileName(zip);
        x.e.SFXPath = stubPath();
        x.e.SFXIcon = two;
        QCOMPARE(x.e.MakeSelfExtracting(), SfxResult::IconSize);
        QVERIFY(!QFileInfo::exists(dir + "/t.exe"));
        QCOMPARE(QFileInfo(zip).size(), qint64(700));
        QCOMPARE(x.e.ZipFileName(), zip);
        // 766 bytes that are not one 32x32 16-colour image: -12 as well.
        QByteArray wide = SfxIconImage::BuiltIn();
        wide[6] = 48;
        x.e.SFXIcon = wide;
        QCOMPARE(x.e.MakeSelfExtracting(), SfxResult::IconSize);
        QVERIFY(!QFileInfo::exists(dir + "/t.exe"));
        // A stub without the icon: -10.
        writeFile(dir + "/plain.bin", QByteArray(4000, 'Z'));
        x.e.SFXPath = dir + "/plain.bin";
        x.e.SFXIcon = SfxIconImage::BuiltIn();
        QCOMPARE(x.e.MakeSelfExtracting(), SfxResult::IconNotFound);
        QVERIFY(!QFileInfo::exists(dir + "/t.exe"));
        QVERIFY(QFileInfo::exists(zip));
    }

    // Garbage after the comment is left out, and the size check passes.
    void garbageAfterComment()
    {
        const QString dir = tmp.fresh();
        const QString zip = dir + "/g.zip";
        makeZipOfSize(zip, 800);
        const QByteArray clean = readFile(zip);
        writeFile(zip, clean + "GARBAGE!garbage");
        Engine x;
        x.e.SetZipFileName(zip);
        x.e.SFXPath = stubPath();
        QCOMPARE(x.e.MakeSelfExtracting(), 0);
        const QByteArray program = readFile(dir + "/g.exe");
        QVERIFY(!program.contains("GARBAGE"));
        QCOMPARE(run("unzip", {"-t", dir + "/g.exe"}).code, 0);
        Engine y;
        y.e.SetZipFileName(dir + "/g.exe");
        QCOMPARE(y.e.MakePlainZip(), 0);
        QCOMPARE(readFile(zip), clean);
    }

    // Info-ZIP's own stub with a zip behind it, offsets adjusted by zip -A:
    // the zip comes back intact.
    void zipFromAnotherToolsProgram()
    {
        const QString dir = tmp.fresh();
        const QString zip = dir + "/tree.zip";
        makeTreeZip(dir, zip);
        const QByteArray original = readFile(zip);
        const QString exe = dir + "/other.exe";
        writeFile(exe, readFile(QStandardPaths::findExecutable("unzipsfx")) + original);
        QCOMPARE(run("zip", {"-A", exe}).code, 0);
        Engine y;
        y.e.SetZipFileName(exe);
        QVERIFY(y.e.DataStart > 0);
        QCOMPARE(y.e.MakePlainZip(), 0);
        QCOMPARE(readFile(dir + "/other.zip"), original);
    }

    // Adding to a program that does not exist yet writes the stub, the block
    // and an empty archive, then adds; the program keeps its stub.
    void addToMissingProgram()
    {
        const QString dir = tmp.fresh();
        makeTree(dir + "/tree");
        Engine x;
        x.e.SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
        x.e.SFXPath = stubPath();
        const QString exe = dir + "/new.exe";
        x.e.SetZipFileName(exe);
        x.e.RootDir = dir + "/tree";
        x.e.AddOptions |= TZipEngine::AddRecurseDirs;
        x.e.FSpecArgs = QStringList{dir + "/tree"};
        x.e.Add();
        QVERIFY2(x.e.SuccessCount > 0, qPrintable(x.said.join('\n')));
        const QByteArray program = readFile(exe);
        const qint64 stubSize = QFileInfo(stubPath()).size();
        QCOMPARE(program.left(2), QByteArray("MZ"));
        QCOMPARE(program.mid(stubSize, 3), QByteArray("MPV"));
        QVERIFY(x.e.DataStart >= stubSize + 12);
        Run u = run("unzip", {"-t", exe});
        QVERIFY2(u.code == 0, u.out.constData());
    }

    // With undo allowed the converted source goes to the trash, not away.
    void sourceToTheTrash()
    {
        const QString dir = tmp.fresh();
        const QString home = tmp.fresh();
        const bool hadData = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(home));
        const QString zip = dir + "/t.zip";
        makeZipOfSize(zip, 900);
        Engine x;
        x.e.HowToDelete = TZipEngine::htdAllowUndo;
        x.e.SetZipFileName(zip);
        x.e.SFXPath = stubPath();
        const int32_t made = x.e.MakeSelfExtracting();
        if (hadData)
            qputenv("XDG_DATA_HOME", oldData);
        else
            qunsetenv("XDG_DATA_HOME");
        QCOMPARE(made, 0);
        QVERIFY(!QFileInfo::exists(zip));
        QCOMPARE(QFileInfo(home + "/Trash/files/t.zip").size(), qint64(900));
    }

    // The checks before any copy, with their messages.
    void refusals()
    {
        const QString dir = tmp.fresh();
        Engine x;
        x.e.SetZipFileName(dir + "/missing.zip");
        QCOMPARE(x.e.MakeSelfExtracting(), SfxResult::General);
        QCOMPARE(x.said.last(), QString("Error - no zip file specified!"));

        const QString zip = dir + "/t.zip";
        makeZipOfSize(zip, 650);
        x.e.SetZipFileName(zip);
        x.e.SFXPath = stubPath();
        x.e.SFXMessage = QString(256, 'm');
        QCOMPARE(x.e.MakeSelfExtracting(), SfxResult::General);
        QVERIFY(x.said.last().startsWith("Error - On or more of the 4 property strings"));
        QVERIFY(x.said.last().endsWith("SFXCaption + SFXDefaultDir + SFXCommandLine + SFXMessage = 292"));
        x.e.SFXMessage.clear();

        QFile::copy(zip, dir + "/t.dat");
        x.e.SetZipFileName(dir + "/t.dat");
        QCOMPARE(x.e.MakeSelfExtracting(), SfxResult::General);
        QCOMPARE(x.said.last(), QString("Error: input file is not a zip file"));

        // Back to a zip: no file, not an .exe, no data start.
        x.e.SetZipFileName(dir + "/none.exe");
        QCOMPARE(x.e.MakePlainZip(), SfxResult::SourceFailed);
        QCOMPARE(x.said.last(), QString("Error - no .EXE file specified"));
        x.e.SetZipFileName(zip);
        QCOMPARE(x.e.MakePlainZip(), SfxResult::SourceFailed);
        QCOMPARE(x.said.last(), QString("Error: input file is not an .EXE file"));
        QFile::copy(zip, dir + "/plain.exe");
        x.e.SetZipFileName(dir + "/plain.exe");
        QCOMPARE(x.e.MakePlainZip(), SfxResult::General);
        QCOMPARE(x.said.last(), QString("Error determining the type of SFX archive"));
        QVERIFY(!QFileInfo::exists(dir + "/plain.zip"));
        QVERIFY(QFileInfo::exists(dir + "/plain.exe"));
    }

    // A damaged resource tree (entries pointing anywhere) never reads outside
    // the image: the icon is simply not found.
    void hostileResources()
    {
        QByteArray image = readFile(stubPath());
        QVERIFY(SfxIconImage::FindStubIconImage(image) > 0);
        const qint64 at = SfxIconImage::FindStubIconImage(image);
        for (int cut : {64, 200, 1000, int(at), int(at) + 100}) {
            const QByteArray part = image.left(cut);
            QVERIFY(SfxIconImage::FindStubIconImage(part) < 0 || cut > at);
            SfxIconImage::FirstIcon(part);
        }
        // Every byte of the resource section overwritten in turn with 0xFF.
        const int rsrc = image.indexOf(QByteArray(".rsrc\0\0\0", 8));
        QVERIFY(rsrc > 0);
        const uint32_t rawAt = GetLE32(reinterpret_cast<const unsigned char*>(image.constData()) + rsrc + 20);
        for (int i = 0; i < 200; ++i) {
            QByteArray bad = image;
            bad[int(rawAt) + i] = char(0xFF);
            SfxIconImage::FindStubIconImage(bad);
            SfxIconImage::FirstIcon(bad);
        }
    }
};

QTEST_GUILESS_MAIN(TestSfx)
#include "test_sfx.moc"
