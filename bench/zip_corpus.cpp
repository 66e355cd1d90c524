// Zip speed and size against Info-ZIP and 7-Zip, on the generated corpus.
//
//   bench_zip_corpus [WORK_FOLDER] [RUNS]   (default /tmp/quarn-bench-zip, 2 runs)
//
// Creates a zip of the corpus at level 8 with `quarn-cli create`, `zip -r -8`
// and `7z a -tzip -mx=5`, then extracts Info-ZIP's archive with
// `quarn-cli extract`, `unzip` and `7z x`. Every step runs RUNS times, the
// tools taking turns, and the best wall time of each tool is kept (the
// machine is shared). Prints wall and CPU seconds (CPU includes every thread),
// the archive sizes, and each tool's ratio to Info-ZIP's.

#include "BenchTools.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <vector>

using namespace bench;

namespace {

struct Tool {
    const char* name;
    std::function<QString()> command; // the shell command of one run
    Cost best;
    bool measured = false;
};

void runAll(std::vector<Tool>& tools, int runs, const std::function<void(size_t)>& before)
{
    for (int r = 0; r < runs; ++r) {
        for (size_t i = 0; i < tools.size(); ++i) {
            before(i);
            const QString cmd = tools[i].command();
            const Cost c = measure([&] { return sh(cmd); });
            if (!tools[i].measured || c.wall < tools[i].best.wall)
                tools[i].best = c;
            tools[i].measured = true;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/quarn-bench-zip");
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 2;
    const QString corpus = work + "/corpus";
    const QString out = work + "/out";
    const QString cli = QStringLiteral(QUARN_BIN_DIR "/quarn-cli");
    if (!QFileInfo::exists(cli)) {
        fprintf(stderr, "%s not built\n", qPrintable(cli));
        return 1;
    }
    const bool have7z = !QStandardPaths::findExecutable("7z").isEmpty();
    makeCorpus(corpus);
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    const qint64 bytes = treeSize(corpus);
    printf("corpus: %.1f MB in %s; best of %d runs per tool\n", double(bytes) / 1e6, qPrintable(corpus), runs);
    // Warm the page cache.
    sh("tar -cf /dev/null -C " + q(work) + " corpus");

    const QString quarnZip = out + "/quarn.zip", infoZip = out + "/infozip.zip", sevenZip = out + "/7z.zip";
    std::vector<Tool> create{
        {"quarn-cli", [&] { return q(cli) + " create " + q(quarnZip) + " --level 8 " + q(corpus); }, {}},
        {"zip -r -8", [&] { return "cd " + q(work) + " && zip -q -r -8 " + q(infoZip) + " corpus"; }, {}},
    };
    if (have7z)
        create.push_back({"7z -mx=5", [&] { return "cd " + q(work) + " && 7z a -tzip -mx=5 -bd -bso0 " + q(sevenZip) + " corpus"; }, {}});
    const QStringList archives{quarnZip, infoZip, sevenZip};
    runAll(create, runs, [&](size_t i) { QFile::remove(archives[int(i)]); });

    printf("\ncreate, level 8 (ratios: to zip -r -8)\n");
    const Cost& refCreate = create[1].best;
    const double refSize = double(QFileInfo(infoZip).size());
    for (size_t i = 0; i < create.size(); ++i) {
        row("create", create[i].name, create[i].best, i == 1 ? nullptr : &refCreate, bytes);
        const double size = double(QFileInfo(archives[int(i)]).size());
        printf("  %-22s %-14s size %7.1f MB  (%.1f%% of the corpus)", "", "", size / 1e6, 100.0 * size / double(bytes));
        if (i != 1)
            printf("   size x%.3f", size / refSize);
        printf("\n");
    }
    // Ours must satisfy the peers.
    if (!sh("unzip -tq " + q(quarnZip) + " >/dev/null"))
        return 1;

    const QStringList dests{out + "/x-quarn", out + "/x-unzip", out + "/x-7z"};
    std::vector<Tool> extract{
        {"quarn-cli", [&] { return q(cli) + " extract " + q(infoZip) + " -d " + q(dests[0]); }, {}},
        {"unzip", [&] { return "unzip -q " + q(infoZip) + " -d " + q(dests[1]); }, {}},
    };
    if (have7z)
        extract.push_back({"7z x", [&] { return "7z x -bd -bso0 -o" + q(dests[2]) + " " + q(infoZip); }, {}});
    runAll(extract, runs, [&](size_t i) { QDir(dests[int(i)]).removeRecursively(); });

    printf("\nextract Info-ZIP's archive (ratios: to unzip)\n");
    for (size_t i = 0; i < extract.size(); ++i)
        row("extract", extract[i].name, extract[i].best, i == 1 ? nullptr : &extract[1].best, bytes);
    if (!sh("diff -r " + q(corpus) + " " + q(dests[0] + "/corpus")))
        return 1;
    // And our own archive back through ours.
    QDir(dests[0]).removeRecursively();
    if (!sh(q(cli) + " extract " + q(quarnZip) + " -d " + q(dests[0])) || !sh("diff -r " + q(corpus) + " " + q(dests[0] + "/corpus")))
        return 1;
    QDir(out).removeRecursively();
    printf("\ndone (corpus kept in %s)\n", qPrintable(corpus));
    return 0;
}
