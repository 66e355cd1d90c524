// Tar and gzip speed against GNU tar, gzip and pigz, on a generated corpus.
//
//   bench_tar_gzip [WORK_FOLDER]      (default /tmp/quarn-bench-tar)
//
// The corpus (about 300 MB: prose, source code, already-compressed data, many
// small files and a few large ones) is generated once, deterministically, and
// reused by later runs. Each case runs ours and the peers one after the other
// on warm caches and prints wall and CPU seconds and the ratio to the peer.

#include "ArchiveCli.h"
#include "TarCli.h"
#include "codecs/Gzip.h"
#include "BenchTools.h"

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

using namespace bench;

namespace {

bool cli(const QString& command, const QStringList& args)
{
    QString sink;
    QTextStream out(&sink), err(stderr);
    const auto r = command == QLatin1String("create") ? runTarCli(command, args, err)
                                                       : runArchiveCli(command, args, out, err);
    return r && *r == 0;
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
