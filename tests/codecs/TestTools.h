#pragma once
// Small helpers shared by the codec tests: files, bytes and peer programs.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QtTest>

namespace testtools {

inline void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(data), qint64(data.size()));
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

// Bytes that compress a little: words from a seeded generator.
inline QByteArray sampleData(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray out;
    out.reserve(size);
    static const char* words[] = {"alpha ", "beta ", "gamma\n", "delta ", "tar ", "gzip\n", "0123 "};
    while (out.size() < size) {
        if (rng.bounded(8) == 0)
            out.append(char(rng.bounded(256)));
        else
            out.append(words[rng.bounded(7)]);
    }
    out.truncate(size);
    return out;
}

struct Run {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

inline Run run(const QString& program, const QStringList& args, const QString& cwd = QString(),
               const QByteArray& input = QByteArray())
{
    QProcess p;
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(10000))
        return r;
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(120000);
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

inline bool havePeer(const QString& name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

} // namespace testtools
