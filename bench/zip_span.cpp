// Writing and reading a zip set: 200 MB of files written by the engine's Add
// as one zip and as a set of 1 MiB parts (AddDiskSpan), then extracted again
// from the whole zip and from the set's last part. The ratios are set / whole
// for writing, reading and both; the aim is at most 1.3.
//
//   bench_zip_span [MEGABYTES] [WORK_FOLDER] [LEVELS]
//   (default 200, /tmp/quarn-bench-span, "0,8")
//
// The files are generated once and reused (half prose, half incompressible
// bytes). Each step is the best of several runs, whole and set in turn;
// levels 0 (stored) and 8 (the program's level) are measured.

#include "BenchTools.h"
#include "platform/Platform.h"
#include "zipengine/TZipEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

QString Work;

void makeFiles(const QString& root, int megabytes)
{
    if (QFileInfo::exists(root + "/.complete"))
        return;
    QDir(root).removeRecursively();
    QDir().mkpath(root);
    bench::Rng r(22);
    const int files = std::max(2, megabytes / 10);
    const qint64 each = qint64(megabytes) * 1000 * 1000 / files;
    for (int i = 0; i < files; ++i)
        bench::put(QStringLiteral("%1/f%2.%3").arg(root).arg(i).arg(i % 2 ? "bin" : "txt"),
                   i % 2 ? bench::noise(r, each) : bench::prose(r, each));
    bench::put(root + "/.complete", "");
}

TZipEngine* engineFor(int level)
{
    auto* e = new TZipEngine;
    e->Unattended = true;
    e->SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
    e->AddCompLevel = level;
    e->TempDir = Work + "/temp";
    e->OnMessage = [](TZipEngine& en, int32_t code, const QString& text) {
        if (code != 0 || en.ErrCode != 0)
            std::fprintf(stderr, "engine: %s\n", qPrintable(text));
    };
    e->OnPasswordError = [](TZipEngine&, bool, QString& pw, const QString&, uint32_t& repeat,
                            TZipEngine::TPasswordButton& action) {
        pw.clear();
        repeat = 0;
        action = TZipEngine::pwbCancelAll;
    };
    return e;
}

// A fresh, empty folder (made before a step is timed).
void emptyFolder(const QString& folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
}

bool write(const QString& source, const QString& zip, int level, bool span)
{
    std::unique_ptr<TZipEngine> e(engineFor(level));
    e->SetZipFileName(zip);
    e->AddOptions = TZipEngine::AddHiddenFiles | (span ? TZipEngine::AddDiskSpan : 0);
    e->MaxVolumeSize = 1 << 20;
    e->RootDir = source;
    for (const QString& f : QDir(source).entryList({"f*"}, QDir::Files, QDir::Name))
        e->FSpecArgs << source + "/" + f;
    e->Add();
    return e->ErrCode == 0 && e->SuccessCount > 0;
}

bool read(const QString& zip, const QString& to)
{
    std::unique_ptr<TZipEngine> e(engineFor(8));
    e->SetZipFileName(zip);
    e->ExtrBaseDir = to;
    e->ExtrOptions = TZipEngine::ExtrOverWrite;
    e->Extract();
    return e->ErrCode == 0 && e->SuccessCount > 0;
}

// One timed step and the folder it writes into, emptied before it is timed.
struct Step {
    QString folder;
    std::function<bool()> run;
};

// The best of `rounds` runs of each of `a` and `b`, taken in turn so that
// both meet the same load from elsewhere on the machine.
std::pair<bench::Cost, bench::Cost> bestOfAlternating(int rounds, const Step& a, const Step& b)
{
    bench::Cost bestA, bestB;
    for (int i = 0; i < rounds; ++i) {
        emptyFolder(a.folder);
        const bench::Cost ca = bench::measure(a.run);
        emptyFolder(b.folder);
        const bench::Cost cb = bench::measure(b.run);
        if (i == 0 || ca.wall < bestA.wall)
            bestA = ca;
        if (i == 0 || cb.wall < bestB.wall)
            bestB = cb;
    }
    return {bestA, bestB};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::max(2, atoi(argv[1])) : 200;
    Work = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp/quarn-bench-span");
    const QString source = QStringLiteral("%1/files-%2").arg(Work).arg(megabytes);
    makeFiles(source, megabytes);
    QDir().mkpath(Work + "/temp");
    const qint64 bytes = qint64(megabytes) * 1000 * 1000;
    std::printf("zip set of %d MB in 1 MiB parts against the same zip whole\n", megabytes);
    double worst = 0;
    QList<int> levels;
    for (const QString& l : QString::fromLocal8Bit(argc > 3 ? argv[3] : "0,8").split(',', Qt::SkipEmptyParts))
        levels << std::clamp(l.toInt(), 0, 9);
    for (const int level : levels) {
        std::printf("level %d\n", level);
        const QString whole = Work + "/whole/archive.zip";
        const QString set = Work + "/set/archive.zip";
        // Stored data is quick and its times vary most: more rounds.
        const int rounds = level == 0 ? 5 : 3;
        const auto [ww, ws] = bestOfAlternating(rounds, {Work + "/whole", [&] { return write(source, whole, level, false); }},
                                                {Work + "/set", [&] { return write(source, set, level, true); }});
        const int parts = int(QDir(Work + "/set").entryList({"archive*.zip"}, QDir::Files).size());
        const QString last = TZipEngine::PartFileName(set, parts);
        const auto [rw, rs] = bestOfAlternating(rounds, {Work + "/out-whole", [&] { return read(whole, Work + "/out-whole"); }},
                                                {Work + "/out-set", [&] { return read(last, Work + "/out-set"); }});
        if (!bench::sh("cmp -s " + bench::q(Work + "/out-whole/f1.bin") + " " + bench::q(Work + "/out-set/f1.bin")))
            return 1;
        bench::row("write", "whole", ww, nullptr, bytes);
        bench::row("write", "set", ws, &ww, bytes);
        bench::row("read", "whole", rw, nullptr, bytes);
        bench::row("read", "set", rs, &rw, bytes);
        bench::Cost both{ws.wall + rs.wall, ws.cpu + rs.cpu}, bothWhole{ww.wall + rw.wall, ww.cpu + rw.cpu};
        bench::row("write + read", "set", both, &bothWhole, 2 * bytes);
        std::printf("  %d parts; ratio write x%.2f, read x%.2f, both x%.2f (cpu x%.2f)\n", parts, ws.wall / ww.wall,
                    rs.wall / rw.wall, both.wall / bothWhole.wall, both.cpu / bothWhole.cpu);
        worst = std::max(worst, both.wall / bothWhole.wall);
    }
    std::printf("worst write + read ratio x%.2f (aim: at most 1.30)\n", worst);
    return 0;
}
