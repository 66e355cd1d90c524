#pragma once
// What the benchmarks share: the generated corpus (about 300 MB: prose,
// source code, already-compressed data, many small files and a few large
// ones, made once and deterministically, then reused), timing of one step in
// wall and CPU seconds (children included), shell steps and result rows.

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace bench {

struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
    uint32_t below(uint32_t n) { return uint32_t(next() % n); }
};

inline const char* const Words[] = {"the", "archive", "of", "and", "a", "file", "to", "is", "compression", "in",
                             "data", "that", "with", "folder", "for", "entry", "header", "block", "by",
                             "stream", "which", "time", "name", "size", "user", "when", "every", "from",
                             "window", "table", "zero", "bytes", "length", "as", "this", "program"};
inline const char* const Code[] = {"if (", "return ", "for (int i = 0; i < n; ++i) {", "}", "const auto ", " = ",
                            "std::vector<int> ", "QString ", "void ", "(", ")", ";\n", "    ", "// ",
                            "nullptr", "->", "++", "while (", "else {", "#include <", ">\n", "0x", "struct "};

inline QByteArray prose(Rng& r, qint64 n)
{
    QByteArray b;
    b.reserve(n + 32);
    int col = 0;
    while (b.size() < n) {
        const char* w = Words[r.below(sizeof Words / sizeof *Words)];
        b.append(w);
        col += int(strlen(w)) + 1;
        if (col > 70) {
            b.append(r.below(6) == 0 ? ".\n" : "\n");
            col = 0;
        } else {
            b.append(' ');
        }
    }
    b.truncate(n);
    return b;
}

inline QByteArray code(Rng& r, qint64 n)
{
    QByteArray b;
    b.reserve(n + 64);
    while (b.size() < n) {
        b.append(Code[r.below(sizeof Code / sizeof *Code)]);
        if (r.below(4) == 0)
            b.append(Words[r.below(sizeof Words / sizeof *Words)]);
        if (r.below(5) == 0)
            b.append(QByteArray::number(r.below(100000)));
    }
    b.truncate(n);
    return b;
}

inline QByteArray noise(Rng& r, qint64 n)
{
    QByteArray b(n, '\0');
    auto* p = reinterpret_cast<unsigned char*>(b.data());
    for (qint64 i = 0; i < n; ++i)
        p[i] = uchar(r.next() >> 56);
    return b;
}

inline void put(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) {
        fprintf(stderr, "cannot write %s\n", qPrintable(path));
        exit(1);
    }
}

inline void makeCorpus(const QString& root)
{
    if (QFile::exists(root + "/.complete"))
        return;
    QDir(root).removeRecursively();
    printf("generating corpus in %s ...\n", qPrintable(root));
    fflush(stdout);
    Rng r(2026);
    for (int i = 0; i < 12; ++i) // prose: 60 MB
        put(QString("%1/text/book%2.txt").arg(root).arg(i), prose(r, 5 << 20));
    for (int i = 0; i < 4000; ++i) // source code: 40 MB
        put(QString("%1/src/mod%2/file%3.cpp").arg(root).arg(i / 100).arg(i), code(r, 5000 + r.below(10000)));
    for (int i = 0; i < 6; ++i) // already compressed: 60 MB
        put(QString("%1/media/clip%2.bin").arg(root).arg(i), noise(r, 10 << 20));
    for (int i = 0; i < 20000; ++i) // many small files: about 20 MB
        put(QString("%1/small/d%2/s%3.txt").arg(root).arg(i / 500).arg(i), prose(r, 200 + r.below(1800)));
    for (int i = 0; i < 2; ++i) { // a few large files: 120 MB, mixed
        QByteArray big;
        for (int k = 0; k < 12; ++k)
            big += (k % 3 == 2) ? noise(r, 5 << 20) : prose(r, 5 << 20);
        put(QString("%1/large/big%2.dat").arg(root).arg(i), big);
    }
    put(root + "/.complete", "");
}

struct Cost {
    double wall = 0, cpu = 0;
};

inline double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline Cost measure(const std::function<bool()>& f)
{
    const double c0 = cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer t;
    t.start();
    if (!f()) {
        fprintf(stderr, "a step failed\n");
        exit(1);
    }
    Cost c;
    c.wall = double(t.nsecsElapsed()) / 1e9;
    c.cpu = cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN) - c0;
    return c;
}

// One shell command run as a child: its wall time, the processor time of
// all it ran (user and system) and the peak resident memory of the largest
// process it ran, as /usr/bin/time reports them (a child spawned straight
// from here would count this program's own memory).
struct Spawned {
    bool ok = false;
    double wall = 0;
    double cpu = 0;
    double peakMB = 0;
};

inline Spawned spawnMeasured(const QString& cmd)
{
    Spawned s;
    QTemporaryFile rss;
    if (!rss.open())
        return s;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer t;
    t.start();
    p.start("/usr/bin/time", {"-f", "%M %U %S", "-o", rss.fileName(), "sh", "-c", cmd});
    p.waitForFinished(-1);
    s.wall = double(t.nsecsElapsed()) / 1e9;
    s.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const QStringList f = QString::fromLatin1(rss.readAll()).trimmed().split('\n').last().split(' ');
    s.peakMB = f.value(0).toDouble() / 1024.0;
    s.cpu = f.value(1).toDouble() + f.value(2).toDouble();
    if (!s.ok)
        fprintf(stderr, "failed: %s\n", qPrintable(cmd));
    return s;
}

inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline bool sh(const QString& cmd)
{
    QProcess p;
    p.start("sh", {"-c", cmd});
    p.waitForFinished(-1);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        fprintf(stderr, "failed: %s\n%s", qPrintable(cmd), p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// Windows are drawn offscreen when there is no display (call before the application starts).
inline void offscreenWhenHeadless()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

inline QString q(const QString& s) { return "'" + s + "'"; }

inline void row(const char* what, const char* who, const Cost& c, const Cost* ref, qint64 bytes)
{
    printf("  %-22s %-14s wall %7.2f s  cpu %7.2f s  %7.1f MB/s", what, who, c.wall, c.cpu,
           double(bytes) / 1e6 / c.wall);
    if (ref)
        printf("   x%.2f", c.wall / ref->wall);
    printf("\n");
    fflush(stdout);
}

inline qint64 treeSize(const QString& root)
{
    qint64 n = 0;
    QProcess p;
    p.start("du", {"-sb", root});
    p.waitForFinished(-1);
    n = p.readAllStandardOutput().split('\t').value(0).toLongLong();
    return n;
}

} // namespace bench
