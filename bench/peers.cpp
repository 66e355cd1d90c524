// quarn-cli against the tools people compare it with, on two corpora side by
// side: the generated one and a real one (copies of /usr/include and of the
// machine's Python library, without its site-packages, links resolved).
//
//   bench_peers [WORK_FOLDER] [RUNS] [CASES]
//       WORK_FOLDER  default /tmp/quarn-bench-peers (both corpora are made
//                    there once and reused)
//       RUNS         runs per tool, at least 3 (default 3)
//       CASES        comma-separated: zip,unzip,targz,untargz (default all)
//   QUARN_BENCH_BASELINE=/path/to/quarn-cli adds that build as a tool.
//
// Cases: zip create (quarn-cli --level 6, `zip -r -6`, `7z a -tzip -mx=5
// -mmt`) with archive sizes; extracting Info-ZIP's zip (quarn-cli, `unzip`,
// `7z x`); tar.gz create (quarn-cli, `tar -czf`, `tar -I pigz -cf`) with sizes;
// extracting GNU tar's tar.gz (quarn-cli, `tar -xzf`). The tools take turns
// within each run; each figure is the median of the runs, each ratio the
// median of ours over the median of the peer's. Peak memory is the largest
// resident size of any process a tool ran (/usr/bin/time's), the largest of
// its runs. Processor time (user and system, of every process a tool ran)
// is shown beside the wall time, with its ratio: on a busy machine it is the
// steadier of the two. Ours must also be right: its archives pass `unzip -t`,
// `gzip -t` and `tar -tzf`, its extractions compare equal with `diff -r`.

#include "BenchTools.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QThread>

#include <map>
#include <vector>

using namespace bench;

namespace {

struct Tool {
    QString name;
    std::function<QString(const QString& corpus)> command; // one run's shell command
    std::function<void(const QString& corpus)> before;     // clears its output
    QString output;                                          // archive whose size is shown (create)
};

struct Figures {
    double wall = 0;
    double cpu = 0; // user and system
    double peakMB = 0;
    qint64 size = -1;
};

struct Case {
    QString key, title, reference; // the reference tool of the ratios
    std::vector<Tool> tools;
};

// `root`/include and `root`/python, copied once.
bool makeRealCorpus(const QString& root)
{
    if (QFile::exists(root + "/.complete"))
        return true;
    QDir(root).removeRecursively();
    QDir().mkpath(root + "/python");
    printf("copying the real corpus into %s ...\n", qPrintable(root));
    fflush(stdout);
    QProcess py;
    py.start("python3", {"-c", "import sysconfig;print(sysconfig.get_paths()['stdlib'])"});
    py.waitForFinished(-1);
    const QString stdlib = QString::fromLocal8Bit(py.readAllStandardOutput()).trimmed();
    if (stdlib.isEmpty() || !QFileInfo(stdlib).isDir()) {
        fprintf(stderr, "cannot find python's library\n");
        return false;
    }
    // Links are copied as what they point to: plain files and folders, as
    // every tool stores them alike.
    if (!sh("cp -rL /usr/include " + q(root + "/include")) ||
        !sh("tar -C " + q(stdlib) + " -h --exclude=./site-packages -cf - . | tar -C " + q(root + "/python") + " -xf -"))
        return false;
    put(root + "/.complete", "");
    return true;
}

QString parentOf(const QString& path) { return QFileInfo(path).absolutePath(); }
QString leafOf(const QString& path) { return QFileInfo(path).fileName(); }

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/quarn-bench-peers");
    const int runs = argc > 2 ? std::max(3, atoi(argv[2])) : 3;
    const QStringList wanted = argc > 3 ? QString::fromLocal8Bit(argv[3]).split(',') : QStringList{"zip", "unzip", "targz", "untargz"};
    const QString cli = QStringLiteral(QUARN_BIN_DIR "/quarn-cli");
    for (const QString tool : {"zip", "unzip", "7z", "tar", "pigz", "gzip", "time"})
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            fprintf(stderr, "%s is missing (scripts/setup.sh installs the peers)\n", qPrintable(tool));
            return 1;
        }
    if (!QFileInfo::exists(cli)) {
        fprintf(stderr, "%s not built\n", qPrintable(cli));
        return 1;
    }
    const QString generated = work + "/generated";
    const QString real = work + "/real";
    makeCorpus(generated);
    if (!makeRealCorpus(real))
        return 1;
    const QString out = work + "/out";
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    const std::vector<QString> corpora{generated, real};
    std::map<QString, qint64> bytes;
    for (const QString& c : corpora) {
        bytes[c] = treeSize(c);
        sh("tar -cf /dev/null -C " + q(c) + " ."); // warm the page cache
    }

    // Outputs are named per corpus so that one corpus's archives stay for its extract cases.
    auto o = [&](const QString& corpus, const QString& name) { return out + "/" + leafOf(corpus) + "-" + name; };
    auto cd = [](const QString& corpus) { return "cd " + q(parentOf(corpus)) + " && "; };

    std::vector<Case> cases;
    cases.push_back({"zip", "zip create (level 6)", "zip -r -6",
        {{"quarn-cli", [&](const QString& c) { return cd(c) + q(cli) + " create " + q(o(c, "quarn.zip")) + " --level 6 " + q(leafOf(c)) + " >/dev/null 2>&1"; },
          [&](const QString& c) { QFile::remove(o(c, "quarn.zip")); }, "quarn.zip"},
         {"zip -r -6", [&](const QString& c) { return cd(c) + "zip -q -r -6 " + q(o(c, "infozip.zip")) + " " + q(leafOf(c)); },
          [&](const QString& c) { QFile::remove(o(c, "infozip.zip")); }, "infozip.zip"},
         {"7z -mx=5 -mmt", [&](const QString& c) { return cd(c) + "7z a -tzip -mx=5 -mmt -bd -bso0 " + q(o(c, "7z.zip")) + " " + q(leafOf(c)); },
          [&](const QString& c) { QFile::remove(o(c, "7z.zip")); }, "7z.zip"}}});
    auto fresh = [&](const QString& name) {
        return [&, name](const QString& c) { QDir(o(c, name)).removeRecursively(); QDir().mkpath(o(c, name)); };
    };
    cases.push_back({"unzip", "extract Info-ZIP's zip", "unzip",
        {{"quarn-cli", [&](const QString& c) { return q(cli) + " extract " + q(o(c, "infozip.zip")) + " -d " + q(o(c, "x-quarn")) + " >/dev/null"; }, fresh("x-quarn"), {}},
         {"unzip", [&](const QString& c) { return "unzip -q " + q(o(c, "infozip.zip")) + " -d " + q(o(c, "x-unzip")); }, fresh("x-unzip"), {}},
         {"7z x", [&](const QString& c) { return "7z x -bd -bso0 -o" + q(o(c, "x-7z")) + " " + q(o(c, "infozip.zip")); }, fresh("x-7z"), {}}}});
    cases.push_back({"targz", "tar.gz create (level 6)", "tar -I pigz",
        {{"quarn-cli", [&](const QString& c) { return cd(c) + q(cli) + " create " + q(o(c, "quarn.tar.gz")) + " " + q(leafOf(c)) + " >/dev/null 2>/dev/null"; },
          [&](const QString& c) { QFile::remove(o(c, "quarn.tar.gz")); }, "quarn.tar.gz"},
         {"tar -czf", [&](const QString& c) { return cd(c) + "tar -czf " + q(o(c, "gnu.tar.gz")) + " " + q(leafOf(c)); },
          [&](const QString& c) { QFile::remove(o(c, "gnu.tar.gz")); }, "gnu.tar.gz"},
         {"tar -I pigz", [&](const QString& c) { return cd(c) + "tar -I pigz -cf " + q(o(c, "pigz.tar.gz")) + " " + q(leafOf(c)); },
          [&](const QString& c) { QFile::remove(o(c, "pigz.tar.gz")); }, "pigz.tar.gz"}}});
    cases.push_back({"untargz", "extract GNU tar's tar.gz", "tar -xzf",
        {{"quarn-cli", [&](const QString& c) { return q(cli) + " extract " + q(o(c, "gnu.tar.gz")) + " -d " + q(o(c, "xt-quarn")) + " >/dev/null"; }, fresh("xt-quarn"), {}},
         {"tar -xzf", [&](const QString& c) { return "tar -xzf " + q(o(c, "gnu.tar.gz")) + " -C " + q(o(c, "xt-gnu")); }, fresh("xt-gnu"), {}}}});

    // A build of quarn-cli to compare with (before a change), taking its turn
    // right after ours in every case.
    const QString baseline = qEnvironmentVariable("QUARN_BENCH_BASELINE");
    if (!baseline.isEmpty()) {
        for (Case& k : cases) {
            const auto ours = std::find_if(k.tools.begin(), k.tools.end(), [](const Tool& t) { return t.name == "quarn-cli"; });
            Tool before = *ours;
            before.name = "baseline";
            before.command = [ours = ours->command, cli, baseline](const QString& c) {
                return ours(c).replace(q(cli), q(baseline));
            };
            k.tools.insert(ours + 1, before);
        }
    }

    FILE* load = fopen("/proc/loadavg", "r");
    char loadText[64] = "?";
    if (load) {
        if (!fgets(loadText, sizeof loadText, load))
            loadText[0] = 0;
        fclose(load);
    }
    printf("%d cores, load average %s", QThread::idealThreadCount(), loadText);
    printf("corpora: generated %.1f MB (%s), real %.1f MB (%s); median of %d runs, tools taking turns\n",
           bytes[generated] / 1e6, qPrintable(generated), bytes[real] / 1e6, qPrintable(real), runs);

    for (const Case& k : cases) {
        if (!wanted.contains(k.key))
            continue;
        // The extract cases read the archives the create cases made.
        std::map<QString, std::map<QString, Figures>> fig; // corpus -> tool -> figures
        for (const QString& c : corpora) {
            if (k.key == "unzip" && !QFile::exists(o(c, "infozip.zip")) &&
                !sh(cd(c) + "zip -q -r -6 " + q(o(c, "infozip.zip")) + " " + q(leafOf(c))))
                return 1;
            if (k.key == "untargz" && !QFile::exists(o(c, "gnu.tar.gz")) &&
                !sh(cd(c) + "tar -czf " + q(o(c, "gnu.tar.gz")) + " " + q(leafOf(c))))
                return 1;
            std::map<QString, std::vector<double>> walls, cpus;
            for (int r = 0; r < runs; ++r) {
                for (const Tool& t : k.tools) {
                    t.before(c);
                    const Spawned s = spawnMeasured(t.command(c));
                    if (!s.ok)
                        return 1;
                    walls[t.name].push_back(s.wall);
                    cpus[t.name].push_back(s.cpu);
                    Figures& f = fig[c][t.name];
                    f.peakMB = std::max(f.peakMB, s.peakMB);
                    if (!t.output.isEmpty())
                        f.size = QFileInfo(o(c, t.output)).size();
                }
            }
            for (const Tool& t : k.tools) {
                fig[c][t.name].wall = median(walls[t.name]);
                fig[c][t.name].cpu = median(cpus[t.name]);
            }
        }

        printf("\n%s (ratios: to %s)\n", qPrintable(k.title), qPrintable(k.reference));
        printf("  %-15s | %-62s | %-62s\n", "", "generated: wall, cpu, peak, size", "real");
        for (const Tool& t : k.tools) {
            printf("  %-15s", qPrintable(t.name));
            for (const QString& c : corpora) {
                const Figures& f = fig[c][t.name];
                const Figures& ref = fig[c][k.reference];
                QString cell = QString::asprintf("%6.2f s x%.2f %6.2f s x%.2f %5.0f MB", f.wall, f.wall / ref.wall, f.cpu,
                                                 f.cpu / ref.cpu, f.peakMB);
                if (f.size >= 0)
                    cell += QString::asprintf(" %6.1f MB x%.3f", f.size / 1e6, double(f.size) / double(ref.size));
                printf(" | %-62s", qPrintable(cell));
            }
            printf("\n");
        }
        fflush(stdout);

        // Ours must be right, not only fast.
        for (const QString& c : corpora) {
            if (k.key == "zip" && !sh("unzip -tq " + q(o(c, "quarn.zip")) + " >/dev/null"))
                return 1;
            if (k.key == "targz" && (!sh("gzip -t " + q(o(c, "quarn.tar.gz"))) || !sh("tar -tzf " + q(o(c, "quarn.tar.gz")) + " >/dev/null")))
                return 1;
            if (k.key == "unzip" && !sh("diff -r " + q(c) + " " + q(o(c, "x-quarn") + "/" + leafOf(c))))
                return 1;
            if (k.key == "untargz" && !sh("diff -r " + q(c) + " " + q(o(c, "xt-quarn") + "/" + leafOf(c))))
                return 1;
        }
        for (const QString d : {"x-quarn", "x-unzip", "x-7z", "xt-quarn", "xt-gnu"})
            for (const QString& c : corpora)
                QDir(o(c, d)).removeRecursively();
    }
    printf("\ndone (corpora kept in %s)\n", qPrintable(work));
    return 0;
}
