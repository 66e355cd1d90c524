// Tar and gzip speed against GNU tar, gzip and pigz, on a generated corpus.
//
//   bench_tar_gzip [WORK_FOLDER]      (default /tmp/quarn-bench-tar)
//
// The corpus (about 300 MB: prose, source code, already-compressed data, many
// small files and a few large ones) is generated once, deterministically, and
// reused by later runs. Each case runs ours and the peers one after the other
// on warm caches and prints wall and CPU seconds and the ratio to the peer.

#include "TarCli.h"
#include "codecs/Gzip.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {

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

const char* const Words[] = {"the", "archive", "of", "and", "a", "file", "to", "is", "compression", "in",
                             "data", "that", "with", "folder", "for", "entry", "header", "block", "by",
                             "stream", "which", "time", "name", "size", "user", "when", "every", "from",
                             "window", "table", "zero", "bytes", "length", "as", "this", "program"};
const char* const Code[] = {"if (", "return ", "for (int i = 0; i < n; ++i) {", "}", "const auto ", " = ",
                            "std::vector<int> ", "QString ", "void ", "(", ")", ";\n", "    ", "// ",
                            "nullptr", "->", "++", "while (", "else {", "#include <", ">\n", "0x", "struct "};

QByteArray prose(Rng& r, qint64 n)
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

QByteArray code(Rng& r, qint64 n)
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

QByteArray noise(Rng& r, qint64 n)
{
    QByteArray b(n, '\0');
    auto* p = reinterpret_cast<unsigned char*>(b.data());
    for (qint64 i = 0; i < n; ++i)
        p[i] = uchar(r.next() >> 56);
    return b;
}

void put(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) {
        fprintf(stderr, "cannot write %s\n", qPrintable(path));
        exit(1);
    }
}

void makeCorpus(const QString& root)
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

double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Cost measure(const std::function<bool()>& f)
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

bool sh(const QString& cmd)
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

QString q(const QString& s) { return "'" + s + "'"; }

bool cli(const QString& command, const QStringList& args)
{
    QString sink;
    QTextStream out(&sink), err(stderr);
    const auto r = runTarCli(command, args, out, err);
    return r && *r == 0;
}

void row(const char* what, const char* who, const Cost& c, const Cost* ref, qint64 bytes)
{
    printf("  %-22s %-14s wall %7.2f s  cpu %7.2f s  %7.1f MB/s", what, who, c.wall, c.cpu,
           double(bytes) / 1e6 / c.wall);
    if (ref)
        printf("   x%.2f", c.wall / ref->wall);
    printf("\n");
    fflush(stdout);
}

qint64 treeSize(const QString& root)
{
    qint64 n = 0;
    QProcess p;
    p.start("du", {"-sb", root});
    p.waitForFinished(-1);
    n = p.readAllStandardOutput().split('\t').value(0).toLongLong();
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/quarn-bench-tar");
    const QString corpus = work + "/corpus";
    const QString out = work + "/out";
    makeCorpus(corpus);
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    const qint64 bytes = treeSize(corpus);
    printf("corpus: %.1f MB in %s\n", double(bytes) / 1e6, qPrintable(corpus));
    const bool havePigz = !QStandardPaths::findExecutable("pigz").isEmpty();

    auto fresh = [&](const QString& d) {
        QDir(d).removeRecursively();
        QDir().mkpath(d);
    };
    // Warm the page cache.
    sh("tar -cf /dev/null -C " + q(work) + " corpus");

    printf("\ntar (ratio: ours / GNU tar)\n");
    const Cost tarGnu = measure([&] { return sh("tar -cf " + q(out + "/gnu.tar") + " -C " + q(work) + " corpus"); });
    const Cost tarOurs = measure([&] { return cli("create", {out + "/ours.tar", corpus}); });
    row("create", "GNU tar", tarGnu, nullptr, bytes);
    row("create", "quarn", tarOurs, &tarGnu, bytes);
    fresh(out + "/xg");
    fresh(out + "/xo");
    const Cost xGnu = measure([&] { return sh("tar -xf " + q(out + "/gnu.tar") + " -C " + q(out + "/xg")); });
    const Cost xOurs = measure([&] { return cli("extract", {out + "/gnu.tar", "-d", out + "/xo"}); });
    row("extract", "GNU tar", xGnu, nullptr, bytes);
    row("extract", "quarn", xOurs, &xGnu, bytes);
    if (!sh("diff -r " + q(out + "/xg") + " " + q(out + "/xo")))
        return 1;

    printf("\ntar.gz (ratio: ours / tar -z)\n");
    const Cost tgzGnu = measure([&] { return sh("tar -czf " + q(out + "/gnu.tar.gz") + " -C " + q(work) + " corpus"); });
    const Cost tgzOurs = measure([&] { return cli("create", {out + "/ours.tar.gz", corpus}); });
    row("create", "tar -czf", tgzGnu, nullptr, bytes);
    row("create", "quarn", tgzOurs, &tgzGnu, bytes);
    printf("  sizes: tar -czf %.1f MB, quarn %.1f MB\n", QFileInfo(out + "/gnu.tar.gz").size() / 1e6,
           QFileInfo(out + "/ours.tar.gz").size() / 1e6);
    fresh(out + "/xg");
    fresh(out + "/xo");
    const Cost xzGnu = measure([&] { return sh("tar -xzf " + q(out + "/gnu.tar.gz") + " -C " + q(out + "/xg")); });
    const Cost xzOurs = measure([&] { return cli("extract", {out + "/gnu.tar.gz", "-d", out + "/xo"}); });
    row("extract", "tar -xzf", xzGnu, nullptr, bytes);
    row("extract", "quarn", xzOurs, &xzGnu, bytes);
    if (!sh("diff -r " + q(out + "/xg") + " " + q(out + "/xo")))
        return 1;
    QDir(out + "/xg").removeRecursively();
    QDir(out + "/xo").removeRecursively();

    printf("\nsingle gz of the tar (ratio: ours / gzip)\n");
    const QString big = out + "/gnu.tar";
    const qint64 bigBytes = QFileInfo(big).size();
    const Cost gzGnu = measure([&] { return sh("gzip -6 -c " + q(big) + " > " + q(out + "/g.gz")); });
    TGzip gz;
    gz.WindowOnError = false;
    gz.FileSource = big;
    gz.FileDestination = out + "/o.gz";
    const Cost gzOurs = measure([&] { return gz.compress() == 0; });
    row("compress -6", "gzip", gzGnu, nullptr, bigBytes);
    row("compress -6", "quarn", gzOurs, &gzGnu, bigBytes);
    Cost pz;
    if (havePigz) {
        pz = measure([&] { return sh("pigz -6 -c " + q(big) + " > " + q(out + "/p.gz")); });
        row("compress -6", "pigz", pz, &gzGnu, bigBytes);
    }
    printf("  sizes: gzip %.1f MB, quarn %.1f MB\n", QFileInfo(out + "/g.gz").size() / 1e6,
           QFileInfo(out + "/o.gz").size() / 1e6);
    const Cost dGnu = measure([&] { return sh("gzip -d -c " + q(out + "/g.gz") + " > " + q(out + "/g.out")); });
    gz.FileSource = out + "/g.gz";
    gz.FileDestination = out + "/o.out";
    const Cost dOurs = measure([&] { return gz.decompress() == 0; });
    row("decompress", "gzip -d", dGnu, nullptr, bigBytes);
    row("decompress", "quarn", dOurs, &dGnu, bigBytes);
    if (havePigz) {
        const Cost pd = measure([&] { return sh("pigz -d -c " + q(out + "/g.gz") + " > " + q(out + "/p.out")); });
        row("decompress", "pigz -d", pd, &dGnu, bigBytes);
    }
    if (!sh("cmp " + q(out + "/g.out") + " " + q(out + "/o.out")) || !sh("cmp " + q(big) + " " + q(out + "/o.out")))
        return 1;
    QDir(out).removeRecursively();
    printf("\ndone (corpus kept in %s)\n", qPrintable(corpus));
    return 0;
}
