// The stub's reading code, built for this machine: where its image ends, the
// option block, the directory of the zip behind it, extraction with and
// without a password, and the names it will write.

#include "TestTools.h"

#include "SfxFormat.h"
#include "zipengine/TZipEngine.h"

#include <QtTest>

using namespace testtools;

namespace {

class BytesReader : public sfx::Reader {
public:
    explicit BytesReader(QByteArray b) : b_(std::move(b)) {}
    int64_t size() const override { return b_.size(); }
    bool readAt(int64_t offset, void* dst, size_t n) override
    {
        if (offset < 0 || offset + int64_t(n) > b_.size())
            return false;
        std::memcpy(dst, b_.constData() + offset, n);
        return true;
    }

private:
    QByteArray b_;
};

QString stubPath() { return QStringLiteral(QUARN_BIN_DIR "/sfxstub.bin"); }

// Everything `e` holds, or the failure.
QByteArray extractAll(BytesReader& r, const sfx::Entry& e, const std::string& pw, sfx::Result& result)
{
    QByteArray out;
    result = sfx::Extract(r, e, pw, [&](const void* p, size_t n) {
        out.append(static_cast<const char*>(p), qsizetype(n));
        return true;
    });
    return out;
}

const sfx::Entry* find(const std::vector<sfx::Entry>& all, const std::string& name)
{
    for (const sfx::Entry& e : all)
        if (e.name == name)
            return &e;
    return nullptr;
}

} // namespace

class TestStubFormat : public QObject {
    Q_OBJECT
private:
    FreshFolders tmp;

    // A program made by the engine from a zip of `files` (some encrypted).
    QByteArray program(const QString& dir, const QString& options = QString())
    {
        writeFile(dir + "/src/plain.txt", sampleData(30000, 1));
        writeFile(dir + "/src/sub/stored.bin", randomData(3000, 2));
        writeFile(dir + "/src/locked.txt", sampleData(5000, 3));
        const QString zip = dir + "/p.zip";
        Run a = run("zip", {"-qr", zip, "plain.txt", "sub"}, dir + "/src");
        Run b = run("zip", {"-q", "-P", "sesame", zip, "locked.txt"}, dir + "/src");
        if (a.code != 0 || b.code != 0)
            return QByteArray();
        TZipEngine e;
        e.Unattended = true;
        e.HowToDelete = TZipEngine::htdFinal;
        e.SetZipFileName(zip);
        e.SFXPath = stubPath();
        e.SFXCaption = options;
        e.SFXMessage = QString(QChar(2)) + "Sure?";
        e.SFXOptions = TZipEngine::SFXAskFiles;
        if (e.MakeSelfExtracting() != 0)
            return QByteArray();
        return readFile(dir + "/p.exe");
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(stubPath()).isFile(), "sfxstub.bin is not built");
        QVERIFY2(havePeer("zip"), "zip");
    }

    // The stub finds its block right after its own image, and the zip after it.
    void findsBlockAndZip()
    {
        const QString dir = tmp.fresh();
        BytesReader r(program(dir, "Caption"));
        QVERIFY(r.size() > 0);
        QCOMPARE(sfx::PeImageEnd(r), QFileInfo(stubPath()).size());
        sfx::Options o;
        QVERIFY(sfx::ReadOptions(r, sfx::PeImageEnd(r), o));
        QCOMPARE(o.caption, std::string("Caption"));
        QCOMPARE(o.message, std::string("\x02Sure?"));
        QVERIFY(o.has(sfx::AskFiles));
        QVERIFY(o.has(sfx::NoSizeCheck));
        QVERIFY(!o.has(sfx::AutoRun));
        QVERIFY(!sfx::ReadOptions(r, sfx::PeImageEnd(r) + 1, o));

        std::vector<sfx::Entry> entries;
        QCOMPARE(sfx::ReadDirectory(r, entries), std::string());
        QCOMPARE(int(entries.size()), 4); // plain.txt, sub/, sub/stored.bin, locked.txt
        sfx::Result res;
        QCOMPARE(extractAll(r, *find(entries, "plain.txt"), "", res), sampleData(30000, 1));
        QCOMPARE(res, sfx::Result::Ok);
        QCOMPARE(extractAll(r, *find(entries, "sub/stored.bin"), "", res), randomData(3000, 2));
        QCOMPARE(res, sfx::Result::Ok);

        // The encrypted entry: the check byte refuses a wrong password.
        const sfx::Entry& locked = *find(entries, "locked.txt");
        QVERIFY(locked.encrypted());
        QVERIFY(!sfx::PasswordFits(r, locked, "wrong"));
        QVERIFY(sfx::PasswordFits(r, locked, "sesame"));
        extractAll(r, locked, "wrong", res);
        QCOMPARE(res, sfx::Result::BadPassword);
        QCOMPARE(extractAll(r, locked, "sesame", res), sampleData(5000, 3));
        QCOMPARE(res, sfx::Result::Ok);
    }

    // A program whose offsets were never adjusted still reads: the stub goes
    // by where the directory really is.
    void unadjustedProgram()
    {
        const QString dir = tmp.fresh();
        writeFile(dir + "/a.txt", sampleData(2000, 9));
        QCOMPARE(run("zip", {"-q", dir + "/z.zip", "a.txt"}, dir).code, 0);
        BytesReader r(readFile(stubPath()) + QByteArray("MPV\0\0\1\x0c\0\0\0\0\0", 12) + readFile(dir + "/z.zip"));
        std::vector<sfx::Entry> entries;
        QCOMPARE(sfx::ReadDirectory(r, entries), std::string());
        sfx::Result res;
        QCOMPARE(extractAll(r, entries.at(0), "", res), sampleData(2000, 9));
        QCOMPARE(res, sfx::Result::Ok);
    }

    // Damaged data is reported, never passed off as a file.
    void damage()
    {
        const QString dir = tmp.fresh();
        QByteArray p = program(dir);
        BytesReader good(p);
        std::vector<sfx::Entry> entries;
        QCOMPARE(sfx::ReadDirectory(good, entries), std::string());
        const sfx::Entry plain = *find(entries, "plain.txt");
        QByteArray bad = p;
        bad[int(plain.localHeader) + 30 + 9 + 200] = char(bad[int(plain.localHeader) + 30 + 9 + 200] ^ 0x55);
        BytesReader r(bad);
        sfx::Result res;
        extractAll(r, plain, "", res);
        QVERIFY(res == sfx::Result::CrcError || res == sfx::Result::Damaged);
        // Cut short: no end record, or entries past the end.
        BytesReader cut(p.left(p.size() - 30));
        QVERIFY(!sfx::ReadDirectory(cut, entries).empty());
        BytesReader tiny(QByteArray("MZ"));
        QCOMPARE(sfx::PeImageEnd(tiny), int64_t(-1));
        // A sink that cannot write stops the extraction.
        res = sfx::Extract(good, plain, "", [](const void*, size_t) { return false; });
        QCOMPARE(res, sfx::Result::WriteError);
    }

    // Names never leave the chosen folder and are names Windows can hold.
    void safeNames_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain") << "a/b.txt" << "a/b.txt";
        QTest::newRow("backslashes") << "a\\b.txt" << "a/b.txt";
        QTest::newRow("parent parts") << "../../etc/passwd" << "etc/passwd";
        QTest::newRow("inner parent") << "a/../../b" << "a/b";
        QTest::newRow("absolute") << "/etc/x" << "etc/x";
        QTest::newRow("drive") << "C:\\Windows\\x.dll" << "Windows/x.dll";
        QTest::newRow("drive after slash") << "\\\\c:/x" << "x";
        QTest::newRow("stream") << "a.txt:evil" << "a.txt_evil";
        QTest::newRow("dots") << ".../x" << "x";
        QTest::newRow("trailing dot") << "a./b " << "a/b";
        QTest::newRow("only dots") << "../.." << "";
        QTest::newRow("wild") << "a?b*c<d>|\"" << "a_b_c_d___";
    }
    void safeNames()
    {
        QFETCH(QString, stored);
        QFETCH(QString, written);
        QCOMPARE(QString::fromStdString(sfx::SafeRelativeName(stored.toStdString())), written);
    }

    // Names without the UTF-8 flag: code page 437 from DOS writers, otherwise
    // UTF-8 when valid, else Windows-1252.
    void oemNames()
    {
        sfx::Entry e;
        e.name = "\x81" "ber.txt";
        QCOMPARE(QString::fromStdString(sfx::NameUtf8(e)), QString::fromUtf8("über.txt"));
        // From a Unix writer: UTF-8 when valid, else Windows-1252.
        e.hostSystem = 3;
        QCOMPARE(QString::fromStdString(sfx::NameUtf8(e)), QString::fromUtf8("\u0081ber.txt"));
        e.name = "\x80" "uro \xe9t\xe9";
        QCOMPARE(QString::fromStdString(sfx::NameUtf8(e)), QString::fromUtf8("€uro été"));
        e.name = "Gr\xc3\xbc\xc3\x9f" "e";
        QCOMPARE(QString::fromStdString(sfx::NameUtf8(e)), QString::fromUtf8("Grüße"));
        e.utf8 = true;
        e.name = "Grüße";
        QCOMPARE(QString::fromStdString(sfx::NameUtf8(e)), QString::fromUtf8("Grüße"));
    }
};

QTEST_GUILESS_MAIN(TestStubFormat)
#include "test_stub_format.moc"
