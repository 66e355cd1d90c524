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

// What a check says on failure: the call failed and what the user was told.
inline QString describe(long n, const QStringList& said)
{
    return QStringLiteral("call %1 (%2) said [%3]").arg(n).arg(faults::failed(), said.join(QStringLiteral(" | ")));
}

} // namespace faultchecks
