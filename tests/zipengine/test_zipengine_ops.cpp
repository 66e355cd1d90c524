// The engine's Add, Delete and Extract over the real compression modules:
// library loading and versions, what the blocks carry, the callback replies,
// the password requests, unattended runs, and archives that must survive a
// cancelled or failing add byte for byte.

#include "../cli/CliTools.h"

#include "zipengine/TZipEngine.h"
#include "zipengine/TZipEngineUser.h"
#include "../../modules/common/ZipLibApi.h"
#include "FileSizeLimit.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <deque>
#include <utime.h>

using namespace clitools;

namespace {

// Records what the engine shows and answers password dialogs from a queue
// (an empty queue answers Cancel).
class ScriptZipUser : public TZipEngineUser {
public:
    struct Answer {
        int result;
        QString entry;
    };
    QStringList shown;
    QStringList prompts; // "title|prompt|buttons"
    std::deque<Answer> answers;

    void ShowMessage(const QString& text) override { shown << text; }
    PromptButton Ask(const QString& text, PromptButtonSet) override
    {
        shown << text;
        return PromptButton::Cancel;
    }
    int AskPassword(const QString& title, const QString& prompt, int buttons, QString& entry) override
    {
        prompts << QStringLiteral("%1|%2|%3").arg(title, prompt).arg(buttons);
        if (answers.empty())
            return 2;
        const Answer a = answers.front();
        answers.pop_front();
        entry = a.entry;
        return a.result;
    }
};

struct Said {
    int32_t code;
    QString text;
};

// A callback record as a module would send it.
QzCallbackRecord record(TZipEngine& e, int code, int32_t err, int32_t size, const char* text = "", bool zip = false)
{
    QzCallbackRecord r;
    std::memset(&r, 0, sizeof r);
    r.engine = &e;
    r.isZipAction = zip ? 1 : 0;
    r.actionCode = code;
    r.errorCode = err;
    r.size = size;
    std::strncpy(r.text, text, sizeof r.text - 1);
    return r;
}

void setAge(const QString& path, int secondsFromNow)
{
    struct utimbuf t;
    t.actime = t.modtime = time(nullptr) + secondsFromNow;
    QVERIFY(::utime(QFile::encodeName(path).constData(), &t) == 0);
}

} // namespace

class TestZipEngineOps : public QObject {
    Q_OBJECT
    FreshFolders tmp;
    ScriptZipUser user;
    QList<Said> said;

    QString fresh() { return tmp.fresh(); }

    // An engine over the modules beside the test, with a user and a message log.
    std::unique_ptr<TZipEngine> engine()
    {
        auto e = std::make_unique<TZipEngine>();
        e->SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
        e->SetUser(&user);
        e->OnMessage = [this](TZipEngine&, int32_t code, const QString& text) { said << Said{code, text}; };
        return e;
    }

    bool saidText(const QString& text) const
    {
        for (const Said& s : said)
            if (s.text == text)
                return true;
        return false;
    }

    QString saidAll() const
    {
        QStringList l;
        for (const Said& s : said)
            l << QString::number(s.code) + ": " + s.text;
        return l.join('\n');
    }

    // Adds `names` (relative to `root`) to `zip`; the engine's directory is
    // read afterwards.
    static void addFiles(TZipEngine& e, const QString& zip, const QString& root, const QStringList& names,
                         uint16_t options = TZipEngine::AddDirNames)
    {
        e.SetZipFileName(zip);
        e.AddOptions = options;
        e.RootDir = root;
        e.FSpecArgs = names;
        e.Add();
    }

    static const ZipDirEntry* entry(const TZipEngine& e, const QString& name)
    {
        for (const ZipDirEntry& d : e.Entries)
            if (d.FileName == name)
                return &d;
        return nullptr;
    }

    // Names in a folder, hidden ones included.
    static QStringList listing(const QString& dir)
    {
        return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    }

    // The key=value lines a probe module sent back, all messages merged.
    QMap<QString, QString> probed() const
    {
        QMap<QString, QString> m;
        for (const Said& s : said)
            for (const QString& line : s.text.split('\n', Qt::SkipEmptyParts)) {
                const qsizetype eq = line.indexOf('=');
                if (eq > 0)
                    m.insert(line.left(eq), line.mid(eq + 1));
            }
        return m;
    }

    // An engine over the probe modules of `variant`.
    std::unique_ptr<TZipEngine> probeEngine(const char* variant = "probe")
    {
        auto e = engine();
        e->SetDLLDirectory(QStringLiteral(QUARN_TEST_MODULES "/") + variant);
        return e;
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }

    void init()
    {
        user = ScriptZipUser();
        said.clear();
    }

    // ---- loading and versions ----------------------------------------------

    void minimumVersionsHaveAFloor()
    {
        auto e = engine();
        e->SetMinZipLibVers(100);
        e->SetMinUnzLibVers(100);
        QCOMPARE(e->MinZipLibVers(), 170);
        QCOMPARE(e->MinUnzLibVers(), 170);

        // A minimum above the modules' 170: the old-library message, no work.
        const QString d = fresh();
        writeFile(d + "/in/a.txt", "a");
        e->SetMinZipLibVers(171);
        addFiles(*e, d + "/a.zip", d + "/in", {"a.txt"});
        QCOMPARE(e->ErrCode, 10605);
        QCOMPARE(e->LastMessage, "Attempted to load old ZipLib from " + QStringLiteral(QUARN_BIN_DIR "/libziplib.so"));
        QCOMPARE(user.shown, QStringList{e->LastMessage});
        QVERIFY(!QFileInfo::exists(d + "/a.zip"));
        QCOMPARE(e->ZipLibVersion(), 0);

        e->SetMinZipLibVers(170);
        addFiles(*e, d + "/a.zip", d + "/in", {"a.txt"});
        QCOMPARE(e->SuccessCount, 1);
        e->SetMinUnzLibVers(200);
        e->ExtrBaseDir = d + "/out";
        e->FSpecArgs = QStringList{"*.*"};
        e->Extract();
        QCOMPARE(e->ErrCode, 10705);
        QVERIFY(e->LastMessage.startsWith("Attempted to load old UnzLib from /"));
        QVERIFY(!QFileInfo::exists(d + "/out/a.txt"));
        QVERIFY(e->FSpecArgs.isEmpty());
    }

    void missingModules()
    {
        const QString d = fresh();
        auto e = engine();
        e->SetDLLDirectory(d);
        QCOMPARE(e->LoadZipLibrary(), 0);
        QCOMPARE(e->ErrCode, 10604);
        QCOMPARE(e->LastMessage, QString("ZIPLIB.DLL not found!"));
        QCOMPARE(e->LoadUnzipLibrary(), 0);
        QCOMPARE(e->ErrCode, 10704);
        QCOMPARE(e->LastMessage, QString("UNZLIB.DLL not found!"));
        QCOMPARE(user.shown, (QStringList{"ZIPLIB.DLL not found!", "UNZLIB.DLL not found!"}));

        // An operation that finds no module says so and writes nothing.
        writeFile(d + "/in/a.txt", "a");
        addFiles(*e, d + "/a.zip", d + "/in", {"a.txt"});
        QCOMPARE(e->ErrCode, 10604);
        QCOMPARE(e->SuccessCount, 0);
        QVERIFY(!QFileInfo::exists(d + "/a.zip"));
        QVERIFY(!e->ZipBusy());
        e->FSpecArgs = QStringList{"*.*"};
        e->Extract();
        QCOMPARE(e->ErrCode, 10704);
        QVERIFY(!e->UnzipBusy());
    }

    void loadedLibrariesStayLoaded()
    {
        auto e = engine();
        e->Trace = true;
        QCOMPARE(e->LoadZipLibrary(), 170);
        QVERIFY(saidText("ZIP LIB Loaded " + QStringLiteral(QUARN_BIN_DIR "/libziplib.so")));
        QCOMPARE(e->LoadUnzipLibrary(), 170);
        QVERIFY(saidText("UNZLIB Loaded! " + QStringLiteral(QUARN_BIN_DIR "/libunzlib.so")));
        const QString d = fresh();
        writeFile(d + "/in/a.txt", "a");
        e->Trace = false;
        e->Verbose = true;
        said.clear();
        addFiles(*e, d + "/a.zip", d + "/in", {"a.txt"});
        QCOMPARE(e->SuccessCount, 1);
        // The version note goes to OnMessage only.
        QVERIFY2(saidText("Loaded ZipLib ver: 170 from " + QStringLiteral(QUARN_BIN_DIR "/libziplib.so")), qPrintable(saidAll()));
        QVERIFY(!user.shown.contains("Loaded ZipLib ver: 170 from " + QStringLiteral(QUARN_BIN_DIR "/libziplib.so")));
        // Loaded before the operation: still loaded after it.
        QCOMPARE(e->ZipLibVersion(), 170);
        e->UnloadZipLibrary();
        e->UnloadUnzipLibrary();
        QCOMPARE(e->ZipLibVersion(), 0);
        QCOMPARE(e->UnzLibVersion(), 0);
    }

    // ---- what the blocks carry ---------------------------------------------

    void addBlock()
    {
        const QString d = fresh();
        auto e = probeEngine();
        e->SetZipFileName(d + "/p.zip");
        e->AddOptions = TZipEngine::AddDirNames | TZipEngine::AddRecurseDirs | TZipEngine::AddFreshen
                        | TZipEngine::AddUpdate | TZipEngine::AddEncrypt | TZipEngine::AddFromDate;
        e->Password = QString(100, 'p');
        e->AddFrom = QDate(2024, 3, 7);
        e->AddStoreSuffixes = 0;
        e->RootDir = d;
        e->TempDir = "/t";
        e->FSpecArgs = QStringList{">a*.txt", "|b.txt<pw2", "c.txt<", "d.txt"};
        e->FSpecArgsExcl = QStringList{"*.bak"};
        e->Add();
        const auto b = probed();
        QCOMPARE(b.value("owner"), QString("1"));
        QCOMPARE(b.value("password"), QString(81, 'p'));
        QCOMPARE(b.value("suffixes"), QString("(null)"));
        QCOMPARE(b.value("encrypt"), QString("-1"));
        QCOMPARE(b.value("hidden"), QString("0"));
        QCOMPARE(b.value("noDirEntries"), QString("-1"));
        QCOMPARE(b.value("junkDirs"), QString("0"));
        QCOMPARE(b.value("recurse"), QString("-1"));
        QCOMPARE(b.value("grow"), QString("-1"));
        QCOMPARE(b.value("delete"), QString("0"));
        QCOMPARE(b.value("update"), QString("-1"));
        QCOMPARE(b.value("freshen"), QString("0")); // cleared by update
        QCOMPARE(b.value("date"), QString("03 07 24"));
        QCOMPARE(b.value("tempDir"), QString("/t"));
        QCOMPARE(b.value("allowUndo"), QString("-1"));
        QCOMPARE(b.value("seven"), QString("7"));
        QCOMPARE(b.value("patternCount"), QString("4"));
        const QString root = d;
        const QStringList rows{
            "a*.txt|(null)|-1|-1", "b.txt|pw2|65535|0", "c.txt|(null)|0|-1", "d.txt|(null)|-1|-1"};
        for (int i = 0; i < 4; ++i) {
            const QString k = QString::number(i);
            QCOMPARE(QStringList({b.value("pattern" + k), b.value("pw" + k), b.value("enc" + k), b.value("rec" + k)}).join('|'),
                     rows[i]);
            QCOMPARE(b.value("root" + k), root);
        }
        QCOMPARE(b.value("excl0"), QString("*.bak"));
        QVERIFY(e->FSpecArgs.isEmpty());
        QVERIFY(e->FSpecArgsExcl.isEmpty());

        said.clear();
        e->Unattended = true;
        e->AddOptions = TZipEngine::AddFreshen | TZipEngine::AddHiddenFiles;
        e->Password.clear();
        e->AddStoreSuffixes = TZipEngine::assZIP;
        e->AddFrom = QDate();
        e->FSpecArgs = QStringList{"x"};
        e->Add();
        const auto u = probed();
        QCOMPARE(u.value("owner"), QString("0"));
        QCOMPARE(u.value("password"), QString("(null)"));
        QCOMPARE(u.value("suffixes"), QString(".zip"));
        QCOMPARE(u.value("freshen"), QString("-1"));
        QCOMPARE(u.value("update"), QString("0"));
        QCOMPARE(u.value("junkDirs"), QString("-1"));
        QCOMPARE(u.value("hidden"), QString("-1"));
        QCOMPARE(u.value("date"), QString("        "));
        QCOMPARE(u.value("enc0"), QString("0"));
    }

    void deleteBlock()
    {
        const QString d = fresh();
        writeFile(d + "/in/a.txt", "a");
        writeFile(d + "/in/b.txt", "b");
        auto real = engine();
        addFiles(*real, d + "/del.zip", d + "/in", {"a.txt", "b.txt"});
        QCOMPARE(real->SuccessCount, 2);

        auto e = probeEngine();
        e->SetZipFileName(d + "/del.zip");
        e->AddOptions = TZipEngine::AddRecurseDirs | TZipEngine::AddMove | TZipEngine::AddUpdate | TZipEngine::AddEncrypt;
        e->Password = "pw";
        e->FSpecArgs = QStringList{"a.txt"};
        e->Delete();
        const auto b = probed();
        for (const char* k : {"encrypt", "junkDirs", "recurse", "move", "update", "freshen", "grow"})
            QVERIFY2(b.value(k) == "0", k);
        QCOMPARE(b.value("delete"), QString("-1"));
        QCOMPARE(b.value("patternCount"), QString("1"));
        QCOMPARE(b.value("pattern0") + "|" + b.value("pw0") + "|" + b.value("enc0"), QString("a.txt|(null)|0"));
        QVERIFY(e->FSpecArgs.isEmpty());
    }

    void unzipBlock()
    {
        const QString d = fresh();
        auto e = probeEngine();
        e->SetZipFileName(d + "/u.zip");
        e->FSpecArgs = QStringList{"*.*", "ignored"};
        e->ExtrOptions = TZipEngine::ExtrFreshen | TZipEngine::ExtrUpdate | TZipEngine::ExtrTest;
        e->SetPasswordReqCount(20);
        e->Extract();
        auto b = probed();
        QCOMPARE(b.value("patternCount"), QString("0"));
        QCOMPARE(b.value("password"), QString("")); // an empty text, not null
        QCOMPARE(b.value("update"), QString("-1"));
        QCOMPARE(b.value("freshen"), QString("0"));
        QCOMPARE(b.value("test"), QString("-1"));
        QCOMPARE(b.value("dirNames"), QString("0"));
        QCOMPARE(b.value("baseDir"), QString("(null)"));
        QCOMPARE(b.value("passwordReqCount"), QString("15"));
        QCOMPARE(b.value("seven"), QString("7"));

        said.clear();
        e->FSpecArgs = QStringList{"a.txt", "sub/*"};
        e->ExtrOptions = TZipEngine::ExtrDirNames | TZipEngine::ExtrOverWrite | TZipEngine::ExtrFreshen;
        e->ExtrBaseDir = "/out";
        e->Unattended = true; // no password, no handler: no requests
        e->Extract();
        b = probed();
        QCOMPARE(b.value("patternCount"), QString("2"));
        QCOMPARE(b.value("pattern0"), QString("a.txt"));
        QCOMPARE(b.value("pattern1"), QString("sub/*"));
        QCOMPARE(b.value("freshen"), QString("-1"));
        QCOMPARE(b.value("overwrite"), QString("-1"));
        QCOMPARE(b.value("owner"), QString("0"));
        QCOMPARE(b.value("baseDir"), QString("/out"));
        QCOMPARE(b.value("passwordReqCount"), QString("0"));
        QCOMPARE(e->PasswordReqCount(), 15);
    }

    void oldAndIncompleteModules()
    {
        auto e = probeEngine("old");
        const QString old = QStringLiteral(QUARN_TEST_MODULES "/old");
        QCOMPARE(e->LoadZipLibrary(), 160);
        e->SetZipFileName(fresh() + "/o.zip");
        e->FSpecArgs = QStringList{"x"};
        e->Add();
        QCOMPARE(e->ErrCode, 10605);
        QCOMPARE(e->LastMessage, "Attempted to load old ZipLib from " + old + "/libziplib.so");
        QVERIFY(probed().isEmpty()); // never called
        QCOMPARE(e->ZipLibVersion(), 0);
        e->FSpecArgs = QStringList{"x"};
        e->Extract();
        QCOMPARE(e->LastMessage, "Attempted to load old UnzLib from " + old + "/libunzlib.so");

        auto n = probeEngine("noexec");
        user.shown.clear();
        QCOMPARE(n->LoadZipLibrary(), 0);
        QCOMPARE(n->LoadUnzipLibrary(), 0);
        QCOMPARE(user.shown, (QStringList{"ZipLibExec function not found in ZIPLIB.DLL!", "ZIPLIB.DLL not found! unloaded",
                                          "UnzLibExec function not found in UNZLIB.DLL!", "UNZLIB.DLL not found! unloaded"}));
        QCOMPARE(n->ErrCode, 10704);
        QCOMPARE(n->ZipLibVersion(), 0);
    }

    void storeSuffixes()
    {
        auto e = engine();
        QCOMPARE(e->StoreSuffixList(),
                 QByteArray(".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha:.rar:.ace:.cab:.gz:.gzip:.jar"));
        e->AddStoreSuffixes = 0;
        QCOMPARE(e->StoreSuffixList(), QByteArray());
        e->AddStoreSuffixes = TZipEngine::assEXE | TZipEngine::assGIF;
        QCOMPARE(e->StoreSuffixList(), QByteArray(".gif:.exe"));

        // What the module makes of them: listed endings are stored, in any case.
        const QString d = fresh();
        const QByteArray text = sampleData(20000, 7);
        for (const char* n : {"pic.gif", "PIC2.GIF", "doc.txt", "tool.exe", "pack.tgz"})
            writeFile(d + "/in/" + n, text);
        const QStringList names{"pic.gif", "PIC2.GIF", "doc.txt", "tool.exe", "pack.tgz"};
        e->AddStoreSuffixes = TZipEngine::AllStoreSuffixesButExe;
        addFiles(*e, d + "/default.zip", d + "/in", names);
        QCOMPARE(e->SuccessCount, 5);
        QCOMPARE(entry(*e, "pic.gif")->Method, uint16_t(0));
        QCOMPARE(entry(*e, "PIC2.GIF")->Method, uint16_t(0));
        QCOMPARE(entry(*e, "pack.tgz")->Method, uint16_t(0));
        QCOMPARE(entry(*e, "doc.txt")->Method, uint16_t(8));
        QCOMPARE(entry(*e, "tool.exe")->Method, uint16_t(8));

        e->AddStoreSuffixes = 0;
        addFiles(*e, d + "/none.zip", d + "/in", names);
        for (const ZipDirEntry& x : e->Entries)
            QVERIFY2(x.Method == 8, qPrintable(x.FileName));

        e->AddStoreSuffixes = TZipEngine::assEXE;
        addFiles(*e, d + "/exe.zip", d + "/in", names);
        QCOMPARE(entry(*e, "tool.exe")->Method, uint16_t(0));
        QCOMPARE(entry(*e, "pic.gif")->Method, uint16_t(8));
    }

    void starDotStarMeansEveryEntry()
    {
        const QString d = fresh();
        writeFile(d + "/in/README", "no dot");
        writeFile(d + "/in/sub/notes.txt", "notes");
        writeFile(d + "/in/sub/deeper/data.bin", "bin");
        auto e = engine();
        addFiles(*e, d + "/t.zip", d, {"in"}, TZipEngine::AddDirNames | TZipEngine::AddRecurseDirs);
        QCOMPARE(e->SuccessCount, 3);

        e->ExtrBaseDir = d + "/all";
        e->FSpecArgs = QStringList{"*.*"};
        e->Extract();
        QCOMPARE(e->LastUnzBlockSpecCount, 0);
        QCOMPARE(e->SuccessCount, 3);
        QVERIFY(e->FSpecArgs.isEmpty());
        QCOMPARE(filesBelow(d + "/all").size(), 3);
        QCOMPARE(readFile(d + "/all/in/README"), QByteArray("no dot"));

        e->ExtrBaseDir = d + "/some";
        e->FSpecArgs = QStringList{"*.txt"};
        e->Extract();
        QCOMPARE(e->LastUnzBlockSpecCount, 1);
        QCOMPARE(filesBelow(d + "/some"), QStringList{"in/sub/notes.txt"});
    }

    void freshenAndUpdate_data()
    {
        QTest::addColumn<uint16_t>("mode");
        QTest::addColumn<bool>("newFileAdded");
        QTest::newRow("freshen") << uint16_t(TZipEngine::AddFreshen) << false;
        QTest::newRow("update") << uint16_t(TZipEngine::AddUpdate) << true;
        // Both: only update reaches the module.
        QTest::newRow("freshen+update") << uint16_t(TZipEngine::AddFreshen | TZipEngine::AddUpdate) << true;
    }

    void freshenAndUpdate()
    {
        QFETCH(uint16_t, mode);
        QFETCH(bool, newFileAdded);
        const QString d = fresh();
        writeFile(d + "/in/newer.txt", "old newer");
        writeFile(d + "/in/older.txt", "old older");
        setAge(d + "/in/newer.txt", -7200);
        setAge(d + "/in/older.txt", -7200);
        auto e = engine();
        addFiles(*e, d + "/f.zip", d + "/in", {"newer.txt", "older.txt"});
        QCOMPARE(e->SuccessCount, 2);

        writeFile(d + "/in/newer.txt", "replaced: newer on disk");
        writeFile(d + "/in/older.txt", "changed, but older on disk");
        writeFile(d + "/in/brand-new.txt", "not in the archive");
        setAge(d + "/in/older.txt", -4 * 86400);
        addFiles(*e, d + "/f.zip", d + "/in", {"newer.txt", "older.txt", "brand-new.txt"},
                 uint16_t(TZipEngine::AddDirNames | mode));
        QCOMPARE(e->SuccessCount, newFileAdded ? 2 : 1);
        QCOMPARE(entry(*e, "newer.txt")->UncompressedSize, uint32_t(23));
        QCOMPARE(entry(*e, "older.txt")->UncompressedSize, uint32_t(9));
        QCOMPARE(entry(*e, "brand-new.txt") != nullptr, newFileAdded);
    }

    // This file system tells "a.txt" from "A.txt": both go in, and adding one
    // replaces only its own entry. Names forced to DOS form that collide are
    // reported, not silently dropped.
    void namesKeepTheirCase()
    {
        const QString d = fresh();
        writeFile(d + "/in/Read.me", "upper");
        writeFile(d + "/in/read.me", "lower");
        auto e = engine();
        addFiles(*e, d + "/c.zip", d + "/in", {"Read.me", "read.me"});
        QCOMPARE(e->SuccessCount, 2);
        QCOMPARE(e->Count, 2);
        writeFile(d + "/in/read.me", "lower, changed");
        addFiles(*e, d + "/c.zip", d + "/in", {"read.me"});
        QCOMPARE(e->SuccessCount, 1);
        QCOMPARE(e->Count, 2);
        QCOMPARE(entry(*e, "Read.me")->UncompressedSize, uint32_t(5));
        QCOMPARE(entry(*e, "read.me")->UncompressedSize, uint32_t(14));

        said.clear();
        addFiles(*e, d + "/dos.zip", d + "/in", {"Read.me", "read.me"}, TZipEngine::AddDirNames | TZipEngine::AddForceDOS);
        QCOMPARE(e->SuccessCount, 1);
        QCOMPARE(e->Count, 1);
        QCOMPARE(e->Entries.at(0).FileName, QString("READ.ME"));
        QVERIFY2(said.size() == 1 && said.first().code == 1 && said.first().text.contains("would be stored as READ.ME"),
                 qPrintable(saidAll()));
    }

    // A link back up the tree is not followed round and round.
    void folderLoopsAreCutOff()
    {
        const QString d = fresh();
        writeFile(d + "/in/tree/a.txt", "a");
        writeFile(d + "/in/tree/sub/b.txt", "b");
        QVERIFY(QFile::link(".", d + "/in/tree/sub/self"));
        QVERIFY(QFile::link("../..", d + "/in/tree/sub/up"));
        auto e = engine();
        addFiles(*e, d + "/loop.zip", d + "/in", {"tree"}, TZipEngine::AddDirNames | TZipEngine::AddRecurseDirs);
        QStringList names;
        for (const ZipDirEntry& x : e->Entries)
            names << x.FileName;
        names.sort();
        QCOMPARE(names, (QStringList{"tree\\a.txt", "tree\\sub\\b.txt"}));
        int loops = 0;
        for (const Said& s : said)
            loops += s.text.contains("leads back to a folder above it");
        QCOMPARE(loops, 2);
    }

    // ---- callback replies --------------------------------------------------

    void passwordRequestReplies()
    {
        auto e = engine();
        // Extract password: one dialog with three buttons, the repeat count capped.
        user.answers = {{1, "open sesame"}};
        QzCallbackRecord r = record(*e, 8, 0, 20, "secret.txt");
        QCOMPARE(TZipEngine::LibraryCallback(&r), 0);
        QCOMPARE(user.prompts, QStringList{"Password|Enter Password |3"});
        QCOMPARE(QByteArray(r.text), QByteArray("open sesame"));
        QCOMPARE(r.errorCode, 1);
        QCOMPARE(r.size, 15);
        QCOMPARE(r.actionCode, 8);
        QVERIFY(e->Password.isEmpty());

        // OK with nothing typed: no password, no more requests.
        user.answers = {{1, ""}};
        r = record(*e, 8, 0, 3, "secret.txt");
        TZipEngine::LibraryCallback(&r);
        QCOMPARE(r.errorCode, 0);
        QCOMPARE(r.size, 0);

        // Cancel all: the action code is cleared (no further requests).
        user.answers = {{9, "ignored"}};
        r = record(*e, 8, 0, 5, "secret.txt");
        QCOMPARE(TZipEngine::LibraryCallback(&r), 0);
        QCOMPARE(r.actionCode, 0);
        QCOMPARE(r.errorCode, 0);
        QCOMPARE(e->PasswordDialogResult, 9);

        // Abort: this very callback tells the module to stop.
        user.answers = {{3, ""}};
        r = record(*e, 8, 0, 5, "secret.txt");
        QCOMPARE(TZipEngine::LibraryCallback(&r), 1);
        QVERIFY(e->CancelFlag);
        e->CancelFlag = false;

        // Bit 0 of the error field: the add password, asked twice with two buttons.
        user.prompts.clear();
        user.answers = {{1, "Same"}, {1, "Same"}};
        r = record(*e, 8, 1, 1, "", true);
        TZipEngine::LibraryCallback(&r);
        QCOMPARE(user.prompts, (QStringList{"Password|Enter Password |2", "Password|Confirm Password |2"}));
        QCOMPARE(QByteArray(r.text), QByteArray("Same"));
        QCOMPARE(r.errorCode, 1);

        // A handler replaces the dialogs; it learns whether a zip action asks.
        bool sawZip = false;
        e->OnPasswordError = [&](TZipEngine&, bool isZip, QString& pw, const QString& forFile, uint32_t& repeat,
                                 TZipEngine::TPasswordButton& action) {
            sawZip = isZip;
            QCOMPARE(forFile, QString("dir\\file.txt"));
            QCOMPARE(repeat, 40u);
            pw = "from handler";
            repeat = 2;
            action = TZipEngine::pwbOk;
        };
        user.prompts.clear();
        r = record(*e, 8, 0, 40, "dir/file.txt   ", true);
        TZipEngine::LibraryCallback(&r);
        QVERIFY(sawZip);
        QVERIFY(user.prompts.isEmpty());
        QCOMPARE(QByteArray(r.text), QByteArray("from handler"));
        QCOMPARE(r.size, 2);
        e->OnPasswordError = [](TZipEngine&, bool, QString& pw, const QString&, uint32_t&, TZipEngine::TPasswordButton& a) {
            pw = "dropped";
            a = TZipEngine::pwbCancelAll;
        };
        r = record(*e, 8, 0, 4, "x");
        TZipEngine::LibraryCallback(&r);
        QCOMPARE(r.errorCode, 0);
        QCOMPARE(r.size, 0);
        QCOMPARE(r.actionCode, 0);
    }

    void crcAndOverwriteReplies()
    {
        auto e = engine();
        QzCallbackRecord r = record(*e, 9, 0x1234, 0x5678, "f.txt");
        TZipEngine::LibraryCallback(&r);
        QCOMPARE(r.errorCode, 2); // no handler

        uint32_t found = 0, expected = 0;
        bool answer = false;
        e->OnCRC32Error = [&](TZipEngine&, const QString&, uint32_t f, uint32_t x, bool& doExtract) {
            found = f;
            expected = x;
            QVERIFY(doExtract); // starts true
            doExtract = answer;
        };
        r = record(*e, 9, int32_t(0xDEADBEEF), 0x5678, "f.txt");
        TZipEngine::LibraryCallback(&r);
        QCOMPARE(found, 0xDEADBEEFu);
        QCOMPARE(expected, 0x5678u);
        QCOMPARE(r.errorCode, 0);
        answer = true;
        r = record(*e, 9, 1, 2, "f.txt");
        TZipEngine::LibraryCallback(&r);
        QCOMPARE(r.errorCode, 1);

        // Code 10 without a handler leaves the module's default answer.
        r = record(*e, 10, 0x10003, 1, "/out/f.txt");
        TZipEngine::LibraryCallback(&r);
        QCOMPARE(r.size, 1);
        r = record(*e, 10, 0x10003, 0, "/out/f.txt");
        TZipEngine::LibraryCallback(&r);
        QCOMPARE(r.size, 0);

        QString file;
        bool older = false, started = false;
        int32_t index = -1;
        e->OnExtractOverwrite = [&](TZipEngine&, const QString& f, bool isOlder, bool& doOverwrite, int32_t dirIndex) {
            file = f;
            older = isOlder;
            started = doOverwrite;
            index = dirIndex;
            doOverwrite = !doOverwrite;
        };
        r = record(*e, 10, 0x10007, 0x101, "/out/f.txt");
        TZipEngine::LibraryCallback(&r);
        QCOMPARE(file, QString("/out/f.txt"));
        QVERIFY(older);
        QVERIFY(started); // the size field's low byte
        QCOMPARE(index, 7);
        QCOMPARE(r.size, 0);
        r = record(*e, 10, 2, 0x100, "f.txt");
        TZipEngine::LibraryCallback(&r);
        QVERIFY(!older);
        QVERIFY(!started);
        QCOMPARE(index, 2);
        QCOMPARE(r.size, 1);
    }

    // The replies as the module acts on them: a CRC error kept or dropped,
    // an existing file kept.
    void modulesFollowTheReplies()
    {
        const QString d = fresh();
        writeFile(d + "/in/a.txt", "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
        writeFile(d + "/in/b.txt", "bbbb");
        auto e = engine();
        e->AddCompLevel = 0;
        addFiles(*e, d + "/crc.zip", d + "/in", {"a.txt", "b.txt"});
        QCOMPARE(e->SuccessCount, 2);
        // Change one stored byte of a.txt's data.
        QByteArray bytes = readFile(d + "/crc.zip");
        const int at = bytes.indexOf("AAAA");
        QVERIFY(at > 0);
        bytes[at] = 'B';
        writeFile(d + "/crc.zip", bytes);

        e->SetZipFileName(d + "/crc.zip");
        e->ExtrBaseDir = d + "/no-handler";
        e->FSpecArgs = QStringList{"*.*"};
        e->Extract();
        QCOMPARE(e->SuccessCount, 1);
        QVERIFY(!QFileInfo::exists(d + "/no-handler/a.txt"));
        QCOMPARE(e->ErrCode, 2);
        QCOMPARE(listing(d + "/no-handler"), QStringList{"b.txt"});

        int asked = 0;
        e->OnCRC32Error = [&](TZipEngine&, const QString& f, uint32_t, uint32_t, bool& doExtract) {
            ++asked;
            QCOMPARE(f, QString("a.txt"));
            doExtract = true;
        };
        e->ExtrBaseDir = d + "/kept";
        e->FSpecArgs = QStringList{"a.txt"};
        e->Extract();
        QCOMPARE(asked, 1);
        QCOMPARE(e->SuccessCount, 1);
        QVERIFY(readFile(d + "/kept/a.txt").startsWith("BAAA"));

        // An existing file, newer than the entry: the handler says keep it.
        writeFile(d + "/kept/b.txt", "mine");
        e->ExtrOptions = TZipEngine::ExtrDirNames | TZipEngine::ExtrOverWrite;
        bool olderSeen = true;
        int32_t indexSeen = -1;
        e->OnExtractOverwrite = [&](TZipEngine&, const QString&, bool isOlder, bool& doOverwrite, int32_t dirIndex) {
            olderSeen = isOlder;
            indexSeen = dirIndex;
            QVERIFY(doOverwrite); // ExtrOverWrite is the default answer
            doOverwrite = false;
        };
        e->FSpecArgs = QStringList{"b.txt"};
        e->Extract();
        QVERIFY(!olderSeen);
        QCOMPARE(indexSeen, 1);
        QCOMPARE(readFile(d + "/kept/b.txt"), QByteArray("mine"));
    }

    // ---- passwords and unattended runs --------------------------------------

    void addPasswordsMustMatch()
    {
        const QString d = fresh();
        writeFile(d + "/in/a.txt", "secret");
        auto e = engine();
        user.answers = {{1, "Secret"}, {1, "secret"}};
        addFiles(*e, d + "/pw.zip", d + "/in", {"a.txt"}, TZipEngine::AddDirNames | TZipEngine::AddEncrypt);
        QCOMPARE(user.prompts.size(), 2);
        const QString mismatch("Error - passwords do NOT match\nPassword ignored");
        QVERIFY(user.shown.contains(mismatch));
        QVERIFY(saidText(mismatch));
        QCOMPARE(e->SuccessCount, 0);
        // The module got no password and wrote nothing.
        QVERIFY(!QFileInfo::exists(d + "/pw.zip"));
        QCOMPARE(listing(d), QStringList{"in"});

        // Cancel at the confirmation: no password either, and no mismatch message.
        user = ScriptZipUser();
        user.answers = {{1, "Secret"}, {2, ""}};
        addFiles(*e, d + "/pw.zip", d + "/in", {"a.txt"}, TZipEngine::AddDirNames | TZipEngine::AddEncrypt);
        QVERIFY(!user.shown.contains(mismatch));
        QVERIFY(!QFileInfo::exists(d + "/pw.zip"));
    }

    void unattendedSilencesBoxesOnly()
    {
        const QString d = fresh();
        auto e = engine();
        e->Unattended = true;
        e->SetZipFileName(d + "/u.zip");
        e->Add(); // no specs
        QCOMPARE(e->ErrCode, 10301);
        QVERIFY(saidText("Error - no files to zip!"));
        QCOMPARE(said.last().code, 0);

        writeFile(d + "/in/a.txt", "a");
        addFiles(*e, d + "/u.zip", d + "/in", {"a.txt"}, TZipEngine::AddDirNames | TZipEngine::AddEncrypt);
        QCOMPARE(e->ErrCode, 10302);
        QVERIFY(saidText("Unattended action not possible without a password"));
        QVERIFY(!QFileInfo::exists(d + "/u.zip"));

        // The password requests of an unattended run are refused with a message.
        e->Password = "given";
        addFiles(*e, d + "/u.zip", d + "/in", {"a.txt"}, TZipEngine::AddDirNames | TZipEngine::AddEncrypt);
        QCOMPARE(e->SuccessCount, 1);
        e->Password.clear();
        e->ExtrBaseDir = d + "/out";
        e->FSpecArgs = QStringList{"*.*"};
        e->Extract();
        QVERIFY(saidText("Warning - Unattended Extract: possible not all files extracted"));
        QCOMPARE(e->SuccessCount, 0);
        QVERIFY(!QFileInfo::exists(d + "/out/a.txt"));
        QCOMPARE(e->PasswordReqCount(), 1); // restored after the call
        QVERIFY(user.prompts.isEmpty());
        QVERIFY2(user.shown.isEmpty(), qPrintable(user.shown.join(" / ")));

        // The same first message with a person at the screen is shown too.
        e->Unattended = false;
        e->SetZipFileName(d + "/u.zip");
        e->Add();
        QCOMPARE(user.shown, QStringList{"Error - no files to zip!"});
    }

    // ---- the archive survives failures ------------------------------------

    void cancelledAddLeavesArchiveUnchanged()
    {
        const QString d = fresh();
        writeFile(d + "/in/first.txt", sampleData(30000, 11));
        auto e = engine();
        addFiles(*e, d + "/keep.zip", d + "/in", {"first.txt"});
        QCOMPARE(e->SuccessCount, 1);
        const QByteArray before = readFile(d + "/keep.zip");
        writeFile(d + "/in/big.bin", randomData(3 << 20, 12));
        writeFile(d + "/in/after.txt", "after");

        int bytesReports = 0;
        e->OnProgress = [&](TZipEngine& eng, TZipEngine::ProgressType t, const QString&, int32_t) {
            if (t == TZipEngine::ProgressBytes && ++bytesReports == 4)
                eng.CancelFlag = true;
        };
        addFiles(*e, d + "/keep.zip", d + "/in", {"big.bin", "after.txt", "first.txt"});
        QVERIFY(bytesReports >= 4);
        QCOMPARE(e->SuccessCount, 0);
        QCOMPARE(e->ErrCode, 80);
        QVERIFY(!e->CancelFlag);
        QVERIFY(!e->ZipBusy());
        QCOMPARE(readFile(d + "/keep.zip"), before);
        QCOMPARE(listing(d), (QStringList{"in", "keep.zip"}));
        QCOMPARE(e->Count, 1);
    }

    void addIntoAFullDiskLeavesArchiveUnchanged_data()
    {
        QTest::addColumn<bool>("ownTempDir");
        QTest::newRow("beside the archive") << false;
        QTest::newRow("in TempDir") << true;
    }

    void addIntoAFullDiskLeavesArchiveUnchanged()
    {
        QFETCH(bool, ownTempDir);
        const QString d = fresh();
        writeFile(d + "/in/first.txt", sampleData(30000, 21));
        auto e = engine();
        addFiles(*e, d + "/full.zip", d + "/in", {"first.txt"});
        QCOMPARE(e->SuccessCount, 1);
        const QByteArray before = readFile(d + "/full.zip");
        writeFile(d + "/in/big.bin", randomData(2 << 20, 22));
        if (ownTempDir) {
            QDir().mkpath(d + "/scratch");
            e->TempDir = d + "/scratch";
        }
        // Files may not grow past 1 MiB: the new archive cannot be written.
        QVERIFY(WithFileSizeLimit(1 << 20, [&] { addFiles(*e, d + "/full.zip", d + "/in", {"big.bin"}); }));
        QCOMPARE(e->SuccessCount, 0);
        QCOMPARE(e->ErrCode, 50);
        QVERIFY2(e->LastMessage.contains("left unchanged"), qPrintable(e->LastMessage));
        QCOMPARE(readFile(d + "/full.zip"), before);
        QCOMPARE(listing(d), ownTempDir ? (QStringList{"full.zip", "in", "scratch"}) : (QStringList{"full.zip", "in"}));
        if (ownTempDir)
            QCOMPARE(listing(d + "/scratch"), QStringList{});
    }

    // An extraction that cannot write reports it and leaves no partial file.
    void extractIntoAFullDiskReportsIt()
    {
        const QString d = fresh();
        writeFile(d + "/in/big.bin", randomData(2 << 20, 31));
        writeFile(d + "/in/small.txt", "small");
        auto e = engine();
        addFiles(*e, d + "/x.zip", d + "/in", {"big.bin", "small.txt"});
        QCOMPARE(e->SuccessCount, 2);
        QDir().mkpath(d + "/out");
        e->ExtrBaseDir = d + "/out";
        e->FSpecArgs = QStringList{"*.*"};
        QVERIFY(WithFileSizeLimit(1 << 20, [&] { e->Extract(); }));
        QCOMPARE(e->SuccessCount, 1);
        QVERIFY2(e->ErrCode == 50 || e->ErrCode == 2, qPrintable(saidAll()));
        QCOMPARE(listing(d + "/out"), QStringList{"small.txt"});
    }

    // ---- peers' archives ---------------------------------------------------

    void peerArchivesExtractIdentically_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("password");
        QTest::newRow("zip -e") << "zip" << "peer pw";
        QTest::newRow("zip streamed") << "zip-stream" << "";
        QTest::newRow("zip streamed -e") << "zip-stream" << "str3am";
        QTest::newRow("python streamed") << "python-stream" << "";
        QTest::newRow("7z ZipCrypto") << "7z" << "seven";
    }

    void peerArchivesExtractIdentically()
    {
        QFETCH(QString, kind);
        QFETCH(QString, password);
        const QString d = fresh();
        makeTree(d + "/src/tree");
        const QString zip = d + "/peer.zip";
        const QStringList pw = password.isEmpty() ? QStringList{} : QStringList{"-P", password};
        Run r;
        if (kind == "zip") {
            r = run("zip", QStringList{"-r", "-q"} + pw + QStringList{zip, "tree"}, d + "/src");
        } else if (kind == "zip-stream") {
            r = run("sh", {"-c", "zip -q -r " + (password.isEmpty() ? QString() : "-P '" + password + "' ")
                                            + "- tree | cat > '" + zip + "'"},
                           d + "/src");
        } else if (kind == "python-stream") {
            // Written to a stream that cannot seek: sizes and CRCs follow the data.
            r = python("import os, sys, zipfile\n"
                       "class Pipe:\n"
                       "    def __init__(self, f): self.f = f\n"
                       "    def write(self, b): return self.f.write(b)\n"
                       "    def flush(self): self.f.flush()\n"
                       "with open(sys.argv[1], 'wb') as out:\n"
                       "    with zipfile.ZipFile(Pipe(out), 'w', zipfile.ZIP_DEFLATED) as z:\n"
                       "        for base, dirs, files in os.walk('tree'):\n"
                       "            for n in files:\n"
                       "                p = os.path.join(base, n)\n"
                       "                with open(p, 'rb') as f, z.open(p, 'w') as w: w.write(f.read())\n",
                       {zip}, d + "/src");
        } else if (kind == "7z") {
            QUARN_REQUIRE_PEER("7z");
            r = run("7z", {"a", "-tzip", "-bd", "-mem=ZipCrypto", "-p" + password, zip, "tree"}, d + "/src");
        }
        QVERIFY2(r.code == 0, qPrintable(kind + ": " + r.outText() + r.errText()));
        if (kind.endsWith("stream")) {
            QCOMPARE(descriptorFlags(zip), QString("True"));
        }
        auto e = engine();
        e->SetZipFileName(zip);
        QCOMPARE(e->ErrCode, 0);
        // The password comes from the dialog, asked once and then reused.
        if (!password.isEmpty())
            user.answers = {{1, password}};
        e->ExtrBaseDir = d + "/out";
        e->FSpecArgs = QStringList{"*.*"};
        e->Extract();
        QCOMPARE(user.prompts.size(), password.isEmpty() ? 0 : 1);
        QCOMPARE(e->SuccessCount, int32_t(filesBelow(d + "/src/tree").size()));
        sameFiles(d + "/src/tree", d + "/out/tree");

        // Test-only runs check every CRC and write nothing.
        if (!password.isEmpty())
            e->Password = password;
        e->ExtrOptions = TZipEngine::ExtrTest | TZipEngine::ExtrDirNames;
        e->ExtrBaseDir = d + "/tested";
        e->FSpecArgs = QStringList{"*.*"};
        said.clear();
        e->Extract();
        QVERIFY2(saidText("No errors detected in compressed data of " + zip), qPrintable(saidAll()));
        QVERIFY(!QFileInfo::exists(d + "/tested"));
    }
};

QTEST_GUILESS_MAIN(TestZipEngineOps)
#include "test_zipengine_ops.moc"
