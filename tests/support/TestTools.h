#pragma once
// File, data and process helpers shared by the tests: files and trees on
// disk, sample bytes, and running programs (the peer tools among them).

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace testtools {

// Writes `data` to `path`, making its folders.
inline void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(data), qint64(data.size()));
}

// The bytes of `path`, or "<missing>" when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

// Text that compresses, with a sprinkling of random bytes.
inline QByteArray sampleData(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray out;
    out.reserve(size);
    static const char* words[] = {"archive ", "entry ", "deflate\n", "stored ", "zip ", "crc\n", "4711 "};
    while (out.size() < size) {
        if (rng.bounded(8) == 0)
            out.append(char(rng.bounded(256)));
        else
            out.append(words[rng.bounded(7)]);
    }
    out.truncate(size);
    return out;
}

inline QByteArray randomData(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = char(rng.bounded(256));
    return out;
}

// A program's exit code (-1: it did not start, -2: it crashed, -3: it did not
// finish in time and was killed) and output.
struct Run {
    int code = -1;
    QByteArray out, err;
    QString outText() const { return QString::fromUtf8(out); }
    QString errText() const { return QString::fromUtf8(err); }
};

inline Run run(const QString& program, const QStringList& args, const QString& cwd = QString(),
               const QByteArray& input = QByteArray())
{
    Run r;
    QProcess p;
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    p.start(program, args);
    if (!p.waitForStarted(20000)) {
        r.err = "cannot start " + program.toUtf8();
        return r;
    }
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished(5000);
        r.code = -3;
        r.err = p.readAllStandardError() + "\n" + program.toUtf8() + " did not finish in time";
        r.out = p.readAllStandardOutput();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

inline Run python(const QString& script, const QStringList& args = {}, const QString& cwd = QString())
{
    return run("python3", QStringList{"-c", script} + args, cwd);
}

// What python's zipfile says of `zip`: "True" when every file entry has the
// data-descriptor flag (sizes and CRC after the data).
inline QString descriptorFlags(const QString& zip)
{
    return python("import sys, zipfile\nprint(all(i.flag_bits & 8 for i in zipfile.ZipFile(sys.argv[1]).infolist() "
                  "if not i.is_dir()))",
                  {zip})
        .outText()
        .trimmed();
}

// Runs `program` as a user who is not root: as "nobody" (through setpriv)
// when the tests themselves run as root.
inline Run runAsUser(const QString& program, const QStringList& args, const QByteArray& input = QByteArray())
{
    if (::geteuid() != 0)
        return run(program, args, QString(), input);
    return run(QStringLiteral("setpriv"),
               QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                           QStringLiteral("--clear-groups"), QStringLiteral("--"), program} +
                   args,
               QStringLiteral("/"), input);
}

// A new folder below `parent` that the user of runAsUser may write in (the
// folders above it are opened for passing through).
inline QString folderForUser(const QString& parent, const QString& name)
{
    const QString d = parent + QLatin1Char('/') + name;
    QDir().mkpath(d);
    const auto pass = QFileDevice::ExeOther | QFileDevice::ExeGroup;
    QFile::setPermissions(parent, QFile::permissions(parent) | pass);
    QFile::setPermissions(d, QFile::permissions(d) | pass | QFileDevice::WriteOther | QFileDevice::ReadOther |
                                 QFileDevice::WriteGroup | QFileDevice::ReadGroup);
    return d;
}

inline bool havePeer(const QString& name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

// A test that needs a peer tool fails when it is missing (scripts/setup.sh
// installs the peers); it never passes by skipping.
#define QUARN_REQUIRE_PEER(name)                                                                                      \
    QVERIFY2(testtools::havePeer(name),                                                                                \
             qPrintable(QStringLiteral("%1 is needed and missing (scripts/setup.sh installs it)").arg(name)))

// A temporary folder that hands out a new, empty subfolder for each case.
struct FreshFolders : QTemporaryDir {
    int serial = 0;
    QString fresh()
    {
        const QString d = filePath(QString::number(++serial));
        QDir().mkpath(d);
        return d;
    }
};

// Every entry below `root`, links not followed: relative path -> "folder",
// "link <target as stored>" or "file <bytes in hex>" ("other" for the rest).
inline QMap<QString, QString> treeWithLinks(const QString& root)
{
    QMap<QString, QString> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const QString rel = QDir(root).relativeFilePath(p);
        struct stat st;
        if (::lstat(QFile::encodeName(p).constData(), &st) != 0) {
            tree[rel] = QStringLiteral("gone");
        } else if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink(QFile::encodeName(p).constData(), target, sizeof target);
            tree[rel] = QStringLiteral("link ") + QFile::decodeName(QByteArray(target, int(qMax<ssize_t>(0, n))));
        } else if (S_ISDIR(st.st_mode)) {
            tree[rel] = QStringLiteral("folder");
        } else if (S_ISREG(st.st_mode)) {
            tree[rel] = QStringLiteral("file ") + QString::fromLatin1(readFile(p).toHex());
        } else {
            tree[rel] = QStringLiteral("other");
        }
    }
    return tree;
}

// Every file and folder below `root`: relative path -> contents (folders map
// to "<dir>").
inline QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> m;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const QString rel = QDir(root).relativeFilePath(p);
        m.insert(rel, it.fileInfo().isDir() ? QByteArray("<dir>") : readFile(p));
    }
    return m;
}

// Every file below `want` is below `got` with the same bytes, and no other
// file is; folders only where `got` has them (not every tool stores empty ones).
inline void sameFiles(const QString& want, const QString& got)
{
    const auto w = snapshot(want);
    const auto g = snapshot(got);
    for (auto it = w.begin(); it != w.end(); ++it) {
        if (it.value() == "<dir>" && !g.contains(it.key()))
            continue;
        QVERIFY2(g.contains(it.key()), qPrintable(it.key()));
        QVERIFY2(g.value(it.key()) == it.value(), qPrintable(it.key()));
    }
    int files = 0;
    for (auto it = g.begin(); it != g.end(); ++it)
        files += it.value() != "<dir>";
    int wanted = 0;
    for (auto it = w.begin(); it != w.end(); ++it)
        wanted += it.value() != "<dir>";
    QCOMPARE(files, wanted);
}

// Files (not folders) below `root`.
inline QStringList filesBelow(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    return out;
}

// A small tree with the awkward cases: empty file, empty folder, hidden
// file, non-ASCII names, one larger file of random bytes.
inline void makeTree(const QString& root)
{
    writeFile(root + "/docs/readme.txt", sampleData(5000, 1));
    writeFile(root + "/docs/zero.txt", QByteArray());
    writeFile(root + "/docs/.hidden", "h");
    writeFile(root + QString::fromUtf8("/Grüße/Ünïcødé ✓.txt"), sampleData(700, 2));
    writeFile(root + "/noise.bin", randomData(150000, 3));
    writeFile(root + "/text.txt", sampleData(120000, 4));
    QDir().mkpath(root + "/docs/empty");
}

} // namespace testtools
