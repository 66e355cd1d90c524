#pragma once
// What the fault tests check after a run with one failed call: the files
// below a folder before and after, and what a zip holds as read by python's
// zipfile (a peer, so a zip our own reader would accept wrongly is caught).

#include "FaultInjection.h"
#include "TestTools.h"

#include <QCryptographicHash>
#include <QMap>
#include <QString>

namespace faultchecks {

// Every file and folder below `root` with its bytes, without the one at `except`.
inline QMap<QString, QByteArray> filesBut(const QString& root, const QString& except = QString())
{
    QMap<QString, QByteArray> m = testtools::snapshot(root);
    if (!except.isEmpty())
        m.remove(QDir(root).relativeFilePath(except));
    return m;
}

// Empties `folder` (making it when missing) and writes `files` (relative
// name -> bytes) into it.
inline void refill(const QString& folder, const QMap<QString, QByteArray>& files)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (auto it = files.begin(); it != files.end(); ++it)
        testtools::writeFile(folder + QLatin1Char('/') + it.key(), it.value());
}

inline QString md5(const QByteArray& b) { return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Md5).toHex()); }

// The files of `zip` (name -> md5 of the data), every entry's CRC checked;
// "" -> the failure when python cannot read it whole.
inline QMap<QString, QString> zipContents(const QString& zip, const QString& password = QString())
{
    const testtools::Run r = testtools::python(
        "import sys, zipfile, hashlib\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "if sys.argv[2]: z.setpassword(sys.argv[2].encode())\n"
        "for i in z.infolist():\n"
        "    if not i.is_dir(): print(hashlib.md5(z.read(i)).hexdigest(), i.filename)\n",
        {zip, password});
    QMap<QString, QString> m;
    if (r.code != 0) {
        m.insert(QString(), r.errText().trimmed().section(QLatin1Char('\n'), -1));
        return m;
    }
    for (const QString& line : r.outText().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        m.insert(line.mid(33), line.left(32));
    return m;
}

// name -> md5 of the bytes, the form zipContents gives.
inline QMap<QString, QString> digests(const QMap<QString, QByteArray>& files)
{
    QMap<QString, QString> m;
    for (auto it = files.begin(); it != files.end(); ++it)
        m.insert(it.key(), md5(it.value()));
    return m;
}

// Writes an archive at `out` with python: `body` fills `files`, a dict of
// name -> bytes (text(n, seed) gives compressible bytes), and writes `out`
// (sys.argv[1]) from it. Returns what it holds (name -> bytes) as the
// script had it; empty when the script failed.
inline QMap<QString, QByteArray> makeArchive(const QString& out, const QString& body)
{
    static const char* const head = R"(
import sys, io, os, zipfile, tarfile, gzip, stat
out = sys.argv[1]
files = {}
def text(n, seed):
    words = [b'archive ', b'entry ', b'deflate\n', b'stored ', b'zip ', b'crc\n', b'4711 ']
    b = bytearray()
    while len(b) < n:
        seed = (seed * 1103515245 + 12345) & 0x7fffffff
        b += words[seed % 7]
    return bytes(b[:n])
)";
    const testtools::Run r = testtools::python(
        QString::fromLatin1(head) + body + QStringLiteral("\nfor k in sorted(files): print(k + '\\t' + files[k].hex())\n"),
        {out});
    QMap<QString, QByteArray> files;
    if (r.code != 0) {
        qWarning("%s", r.err.constData());
        return files;
    }
    for (const QByteArray& line : r.out.split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab > 0)
            files.insert(QString::fromUtf8(line.left(tab)), QByteArray::fromHex(line.mid(tab + 1)));
    }
    return files;
}

// A 7z archive at `archive` made by the 7z peer from two files written in
// `source`; what it holds (name -> bytes), empty when 7z failed.
inline QMap<QString, QByteArray> makeSevenZip(const QString& archive, const QString& source)
{
    const QMap<QString, QByteArray> files{{QStringLiteral("a.txt"), testtools::sampleData(30000, 1)},
                                          {QStringLiteral("sub/b.txt"), testtools::sampleData(20000, 2)}};
    for (auto it = files.begin(); it != files.end(); ++it)
        testtools::writeFile(source + QLatin1Char('/') + it.key(), it.value());
    const testtools::Run r = testtools::run(QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-bd"), archive, QStringLiteral(".")}, source);
    return r.code == 0 ? files : QMap<QString, QByteArray>();
}

// After an extraction with one failed call: every file below `dest` is a
// complete entry of `want` or was there before (`before`) untouched; no
// other file (a part, a temporary one) is there, and no folder but those of
// the entries. A symbolic link (`links`: name -> target) is made whole in one
// step, also when its target was not extracted. Entries of `want` not on
// disk were said (`said`).
inline void checkExtracted(const QString& which, const QString& dest, const QMap<QString, QByteArray>& want,
                           const QMap<QString, QByteArray>& before, const QMap<QString, QString>& links, bool said)
{
    const QMap<QString, QByteArray> now = testtools::snapshot(dest);
    for (auto it = now.begin(); it != now.end(); ++it) {
        if (it.value() == "<dir>") {
            const QString prefix = it.key() + QLatin1Char('/');
            bool holds = false;
            for (auto w = want.begin(); w != want.end() && !holds; ++w)
                holds = w.key().startsWith(prefix);
            for (auto w = before.begin(); w != before.end() && !holds; ++w)
                holds = w.key().startsWith(prefix);
            QVERIFY2(holds, qPrintable(which + QStringLiteral(": folder ") + it.key()));
            continue;
        }
        const QFileInfo info(dest + QLatin1Char('/') + it.key());
        if (info.isSymLink()) {
            QVERIFY2(links.contains(it.key()) &&
                         QFile::symLinkTarget(info.filePath()) == info.dir().filePath(links.value(it.key())),
                     qPrintable(which + QStringLiteral(": link ") + it.key()));
            continue;
        }
        const bool untouched = before.contains(it.key()) && before.value(it.key()) == it.value();
        const bool whole = want.contains(it.key()) && want.value(it.key()) == it.value();
        QVERIFY2(untouched || whole, qPrintable(which + QStringLiteral(": ") + it.key()));
    }
    bool complete = true;
    for (auto it = want.begin(); it != want.end(); ++it)
        complete = complete && now.value(it.key()) == it.value();
    QVERIFY2(complete || said, qPrintable(which + QStringLiteral(": not everything extracted, nothing said")));
}

// What a check says on failure: the call failed and what the user was told.
inline QString describe(long n, const QStringList& said)
{
    return QStringLiteral("call %1 (%2) said [%3]").arg(n).arg(faults::failed(), said.join(QStringLiteral(" | ")));
}

} // namespace faultchecks
