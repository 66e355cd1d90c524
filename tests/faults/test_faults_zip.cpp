// The fault layer itself; then every file operation of a zip's add, delete
// and update fails in turn: the archive stays byte for byte, no temporary
// file is left, and the failure is reported.

#include "FaultInjection.h"

#include "platform/Platform.h"
#include "zipengine/TZipEngine.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), data.size());
}

// Every name below `folder`, sorted, folders with a trailing slash.
QStringList tree(const QString& folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        names << QDir(folder).relativeFilePath(it.filePath()) + (it.fileInfo().isDir() ? QStringLiteral("/") : QString());
    }
    names.sort();
    return names;
}

} // namespace

class TestFaultsZip : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QStringList said_;

    std::unique_ptr<TZipEngine> engine()
    {
        auto e = std::make_unique<TZipEngine>();
        e->SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
        e->Unattended = true;
        e->OnMessage = [this](TZipEngine&, int32_t code, const QString& text) {
            if (code != 0)
                said_ << text;
        };
        return e;
    }

private slots:
    // The layer itself: it counts what a QSaveFile does below the folder and
    // fails the chosen call, and leaves calls elsewhere alone. Committed the
    // program's way, a failed write keeps the old file (a bare commit() of
    // Qt 6.4 put an empty one in its place).
    void layerCountsAndFailsTheChosenCall()
    {
        const QString d = tmp_.filePath(QStringLiteral("layer"));
        QDir().mkpath(d);
        const QString target = d + QStringLiteral("/kept.txt");
        writeFile(target, "before");
        auto save = [&] {
            QSaveFile f(target);
            return f.open(QIODevice::WriteOnly) && f.write("after") == 5 && Platform::CommitSaveFile(f);
        };
        const long total = faults::everyCall(
            d, [] {}, [&] { save(); },
            [&](long n) {
                QVERIFY2(!faults::failed().isEmpty(), qPrintable(QString::number(n)));
                QCOMPARE(tree(d), QStringList{QStringLiteral("kept.txt")});
                const QByteArray now = readAll(target);
                QVERIFY2(now == "before" || now == "after", qPrintable(QStringLiteral("%1 %2: %3").arg(n).arg(faults::failed(), QString::fromLatin1(now))));
                writeFile(target, "before");
            });
        QVERIFY2(total >= 3, qPrintable(QString::number(total)));  // open, write, rename at least

        // Outside the watched folder nothing is counted.
        faults::watch(d);
        writeFile(tmp_.filePath(QStringLiteral("elsewhere.txt")), "x");
        QCOMPARE(faults::calls(), 0);
        faults::stop();
    }
};

QTEST_GUILESS_MAIN(TestFaultsZip)
#include "test_faults_zip.moc"
