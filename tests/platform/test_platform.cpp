#include "platform/Controls.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>

using namespace Platform;

namespace {
void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}
} // namespace

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void dataFolderRule()
    {
        QTemporaryDir dir;
        const QByteArray saved = qgetenv("QUARN_DATA_DIR");
        qputenv("QUARN_DATA_DIR", (dir.path() + "/sub/").toUtf8());
        QCOMPARE(DataFolder(), dir.path() + "/sub");
        QVERIFY(EnsureDataFolder());
        QVERIFY(QFileInfo(dir.path() + "/sub").isDir());
        qunsetenv("QUARN_DATA_DIR");
        // The test binary's folder is writable (the build tree): data lives beside it.
        QCOMPARE(DataFolder(), ProgramFolder());
        qputenv("QUARN_DATA_DIR", saved);
        QVERIFY(QFileInfo(ProgramPath()).isExecutable());
        QCOMPARE(QFileInfo(ProgramPath()).path(), ProgramFolder());
        QVERIFY(HelpPagePath(QStringLiteral("unzip.html")).endsWith(QStringLiteral("/help/unzip.html")));
    }

    void programFilesOfEachLayout()
    {
        QTemporaryDir dir;
        const QString bin = dir.path() + "/usr/bin";
        QDir().mkpath(bin);
        // Installed: the modules and help below the prefix, nothing beside the program.
        touch(dir.path() + "/usr/lib/quarn/libziplib.so");
        touch(dir.path() + "/usr/share/quarn/help/unzip.html");
        QVERIFY(IsInstalledLayout(bin));
        QCOMPARE(ProgramFilesFolderFor(bin, ProgramFiles::Modules), dir.path() + "/usr/lib/quarn");
        QCOMPARE(ProgramFilesFolderFor(bin, ProgramFiles::Help), dir.path() + "/usr/share/quarn/help");
        // A portable copy beside it: everything beside the program wins.
        touch(bin + "/libziplib.so");
        touch(bin + "/help/unzip.html");
        QVERIFY(!IsInstalledLayout(bin));
        QCOMPARE(ProgramFilesFolderFor(bin, ProgramFiles::Modules), bin);
        QCOMPARE(ProgramFilesFolderFor(bin, ProgramFiles::Help), bin + "/help");
        // Neither: the program's own folder (the engine then reports the missing module).
        const QString bare = dir.path() + "/bare";
        QDir().mkpath(bare);
        QCOMPARE(ProgramFilesFolderFor(bare, ProgramFiles::Modules), bare);
        QCOMPARE(ProgramFilesFolderFor(bare, ProgramFiles::Help), bare + "/help");
        // The build tree is a portable layout.
        QVERIFY(!IsInstalledLayout(ProgramFolder()));
        QCOMPARE(ProgramFilesFolder(ProgramFiles::Modules), ProgramFolder());
    }

    void freeOnDiskUsesNearestParent()
    {
        QTemporaryDir dir;
        const qint64 here = FreeOnDisk(dir.path());
        QVERIFY(here > 0);
        const qint64 deeper = FreeOnDisk(dir.path() + "/not/yet/made");
        QVERIFY(deeper > 0);
        QVERIFY(qAbs(deeper - here) < 64 * 1024 * 1024);
        SetFreeOnDiskHook([](const QString& p) { return p.size() == 3 ? qint64(7) : qint64(-1); });
        QCOMPARE(FreeOnDisk(QStringLiteral("/ab")), qint64(7));
        QCOMPARE(FreeOnDisk(QStringLiteral("/abc")), qint64(-1));
        SetFreeOnDiskHook({});
        QVERIFY(FreeOnDisk(dir.path()) > 0);
        QVERIFY(IsOnSystemFileSystem(QStringLiteral("/")));
        QVERIFY(IsOnSystemFileSystem(QStringLiteral("/no/such/folder")));
    }

    void emptyFolderRemovesEverythingBelowButNotLinkTargets()
    {
        QTemporaryDir dir, outside;
        const QString temp = dir.path() + "/temp";
        touch(temp + "/a.txt");
        touch(temp + "/.hidden");
        touch(temp + "/img/b.png");
        touch(temp + "/img/deep/er/c");
        touch(outside.path() + "/precious");
        QVERIFY(QFile::link(outside.path(), temp + "/img/link"));
        QFile::setPermissions(temp + "/a.txt", QFileDevice::ReadOwner);
        QVERIFY(EmptyFolder(temp));
        QVERIFY(QFileInfo(temp).isDir());
        QVERIFY(QDir(temp).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty());
        QVERIFY(QFile::exists(outside.path() + "/precious"));
        touch(temp + "/x/y");
        QVERIFY(RemoveFolderTree(temp));
        QVERIFY(!QFileInfo::exists(temp));
        QVERIFY(RemoveFolderTree(temp));  // already gone
    }

    void busyCursorNests()
    {
        QCOMPARE(BusyCursor::depth(), 0);
        {
            BusyCursor a;
            {
                BusyCursor b;
                QCOMPARE(BusyCursor::depth(), 2);
                QVERIFY(QApplication::overrideCursor());
            }
            QCOMPARE(BusyCursor::depth(), 1);
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QCOMPARE(BusyCursor::depth(), 0);
        QVERIFY(!QApplication::overrideCursor());
    }

    void openUrlGoesThroughTheHook()
    {
        QString seen;
        SetOpenUrlHook([&](const QString& u) { seen = u; return true; });
        QVERIFY(OpenHelpPage(QStringLiteral("batch.html")));
        QCOMPARE(seen, ProgramFolder() + "/help/batch.html");
        SetOpenUrlHook({});
    }

    void joinPath()
    {
        QCOMPARE(JoinPath(QStringLiteral("/a"), QStringLiteral("b")), QStringLiteral("/a/b"));
        QCOMPARE(JoinPath(QStringLiteral("/"), QStringLiteral("b")), QStringLiteral("/b"));
        QCOMPARE(JoinPath(QString(), QStringLiteral("b")), QStringLiteral("b"));
    }

    void reportListsDrawGridLines()
    {
        QStandardItemModel* model = nullptr;
        std::unique_ptr<QTreeView> v(Controls::ReportView(nullptr, "List", {QStringLiteral("A"), QStringLiteral("B")},
                                                          {60, 60}, &model));
        model->appendRow({new QStandardItem(QStringLiteral("x")), new QStandardItem(QStringLiteral("y"))});
        v->resize(200, 100);
        auto lineAt = [&v, model] {
            const QImage img = v->viewport()->grab().toImage();
            const QRect r = v->visualRect(model->index(0, 0));
            const QRgb mid = v->palette().color(QPalette::Mid).rgb();
            return img.pixel(r.right(), r.center().y()) == mid && img.pixel(r.center().x(), r.bottom()) == mid;
        };
        QVERIFY(!lineAt());
        Controls::ShowGridLines(v.get());
        QVERIFY(lineAt());
    }
};

QTEST_MAIN(TestPlatform)
#include "test_platform.moc"
