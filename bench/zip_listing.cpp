// Listing speed of a large zip: the local-header walk (TZipFile), the central
// directory reader (TZipEngine::ReadDirectory) and the unzip page filled with
// every row and painted, beside `unzip -Z1` and `7z l` on the same file.
//
//   bench_zip_listing [ENTRIES] [WORK_FOLDER]   (default 100000, /tmp/quarn-bench-listing)
//
// The archive is generated once per entry count and reused. Every time is
// the best of three runs on warm caches; ratios are to the fastest peer.

#include "BenchTools.h"
#include "app/TForm1.h"
#include "platform/Prompter.h"
#include "unzip/TUnzipPage.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/TZipFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTreeView>

#include <cstdio>
#include <functional>

namespace {

// Answers every question with its first button and every chooser with nothing.
class SilentPrompter : public Prompter {
public:
    PromptButton message(PromptKind, const QString& text, PromptButtonSet, const QString&) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return PromptButton::Ok;
    }
    QString openFile(const FileDialogRequest&) override { return {}; }
    QStringList openFiles(const FileDialogRequest&) override { return {}; }
    QString saveFile(const FileDialogRequest&) override { return {}; }
    QString chooseFolder(const FileDialogRequest&) override { return {}; }
    int runDialog(QDialog&) override { return 0; }
};

void put16(QByteArray& b, uint32_t v)
{
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}
void put32(QByteArray& b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
uint32_t crc32(const QByteArray& d)
{
    static uint32_t table[256];
    if (!table[1])
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            table[i] = c;
        }
    uint32_t c = 0xFFFFFFFFu;
    for (char ch : d)
        c = table[(c ^ uint8_t(ch)) & 0xFF] ^ (c >> 8);
    return ~c;
}

// A stored zip of `count` small entries in 100 folders with a handful of types.
bool generate(const QString& path, int count)
{
    static const char* const ext[] = {".txt", ".c", ".h", ".html", ".png", ".dat", ".json", ".md"};
    QByteArray out, central;
    out.reserve(qsizetype(count) * 110);
    central.reserve(qsizetype(count) * 90);
    for (int i = 0; i < count; ++i) {
        const QByteArray name = QByteArray("folder") + QByteArray::number(i % 100).rightJustified(3, '0') +
                                "/file" + QByteArray::number(i).rightJustified(6, '0') + ext[i % 8];
        const QByteArray data = QByteArray("entry ") + QByteArray::number(i) + QByteArray(i % 40, 'x') + '\n';
        const uint32_t crc = crc32(data);
        const uint32_t dos = (uint32_t(44) << 25) | (uint32_t(1 + i % 12) << 21) | (uint32_t(1 + i % 28) << 16) |
                             (uint32_t(i % 24) << 11) | (uint32_t(i % 60) << 5) | uint32_t(i % 30);
        const uint32_t offset = uint32_t(out.size());
        put32(out, 0x04034b50);
        put16(out, 10);
        put16(out, 0);
        put16(out, 0);
        put32(out, dos);
        put32(out, crc);
        put32(out, uint32_t(data.size()));
        put32(out, uint32_t(data.size()));
        put16(out, uint32_t(name.size()));
        put16(out, 0);
        out += name;
        out += data;
        put32(central, 0x02014b50);
        put16(central, 20);
        put16(central, 10);
        put16(central, 0);
        put16(central, 0);
        put32(central, dos);
        put32(central, crc);
        put32(central, uint32_t(data.size()));
        put32(central, uint32_t(data.size()));
        put16(central, uint32_t(name.size()));
        for (int k = 0; k < 4; ++k)
            put16(central, 0);
        put32(central, 0);
        put32(central, offset);
        central += name;
    }
    const uint32_t cd = uint32_t(out.size());
    out += central;
    const bool zip64 = count >= 0xFFFF;
    if (zip64) {
        // More entries than the end record can count: the Zip64 end record
        // and its locator carry the count, as Info-ZIP's zip writes them.
        const uint32_t at = uint32_t(out.size());
        put32(out, 0x06064b50);
        put32(out, 44);
        put32(out, 0);
        put16(out, 45);
        put16(out, 45);
        put32(out, 0);
        put32(out, 0);
        for (int k = 0; k < 2; ++k) {
            put32(out, uint32_t(count));
            put32(out, 0);
        }
        put32(out, uint32_t(central.size()));
        put32(out, 0);
        put32(out, cd);
        put32(out, 0);
        put32(out, 0x07064b50);
        put32(out, 0);
        put32(out, at);
        put32(out, 0);
        put32(out, 1);
    }
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, zip64 ? 0xFFFF : uint32_t(count));
    put16(out, zip64 ? 0xFFFF : uint32_t(count));
    put32(out, uint32_t(central.size()));
    put32(out, cd);
    put16(out, 0);
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(out) == out.size();
}

// Best wall time of three runs, in seconds.
double best(const std::function<void()>& run)
{
    double t = 1e30;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer e;
        e.start();
        run();
        t = std::min(t, e.nsecsElapsed() / 1e9);
    }
    return t;
}

// A peer's best time, or -1 when it is not installed or fails.
double peer(const QString& program, const QStringList& args)
{
    const QString exe = QStandardPaths::findExecutable(program);
    if (exe.isEmpty())
        return -1;
    bool ok = true;
    const double t = best([&] {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(exe, args);
        const bool finished = p.waitForFinished(-1);
        ok = ok && finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    });
    return ok ? t : -1;
}

} // namespace

int main(int argc, char** argv)
{
    bench::offscreenWhenHeadless();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int count = args.size() > 1 ? args[1].toInt() : 100000;
    const QString work = args.size() > 2 ? args[2] : QStringLiteral("/tmp/quarn-bench-listing");
    if (count <= 0 || !QDir().mkpath(work)) {
        std::fprintf(stderr, "usage: bench_zip_listing [ENTRIES] [WORK_FOLDER]\n");
        return 2;
    }
    qputenv("QUARN_DATA_DIR", QFile::encodeName(work + QStringLiteral("/data")));
    const QString zip = work + QStringLiteral("/entries%1-v2.zip").arg(count);
    if (!QFileInfo(zip).isFile() && !generate(zip, count)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(zip));
        return 1;
    }
    std::printf("archive: %s, %d entries, %lld bytes\n", qPrintable(zip), count, QFileInfo(zip).size());

    int walked = 0;
    const double walk = best([&] {
        TZipFile z;
        z.SetFileName(zip);
        walked = z.FileCount();
    });
    int read = 0;
    const double directory = best([&] {
        TZipEngine e;
        e.Unattended = true;
        e.SetZipFileName(zip);
        read = e.Count;
    });

    SilentPrompter prompter;
    TForm1 form(prompter, {});
    form.show();
    QApplication::processEvents();
    TUnzipPage* page = form.UnzipPage;
    int rows = 0;
    double fillOnly = 1e30, clear = 1e30;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer e;
        e.start();
        page->UpdateUnzipWindow(zip);
        // Painted: the visible rows are laid out and drawn.
        page->UnzipListView->repaint();
        QApplication::processEvents();
        fillOnly = std::min(fillOnly, e.nsecsElapsed() / 1e9);
        rows = page->RowCount();
        e.restart();
        page->UnzipResetButtonClick();
        QApplication::processEvents();
        clear = std::min(clear, e.nsecsElapsed() / 1e9);
    }

    const double unzip = peer(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    const double sevenZip = peer(QStringLiteral("7z"), {QStringLiteral("l"), zip});
    double fastest = 1e30;
    for (double t : {unzip, sevenZip})
        if (t > 0)
            fastest = std::min(fastest, t);
    auto line = [&](const char* what, double t, int n) {
        if (t < 0) {
            std::printf("%-34s   not available\n", what);
            return;
        }
        std::printf("%-34s %8.3f s", what, t);
        if (fastest < 1e29)
            std::printf("   %6.2fx fastest peer", t / fastest);
        if (n >= 0)
            std::printf("   (%d entries)", n);
        std::printf("\n");
    };
    line("TZipFile walk", walk, walked);
    line("TZipEngine ReadDirectory", directory, read);
    line("unzip page filled and painted", fillOnly, rows);
    line("  (clearing the page afterwards)", clear, -1);
    line("unzip -Z1", unzip, -1);
    line("7z l", sevenZip, -1);
    if (read != count)
        std::printf("note: ReadDirectory read %d of %d entries (the end record's 16-bit count; no Zip64 end record)\n",
                    read, count);
    const bool ok = walked == count && rows == count;
    if (!ok)
        std::printf("ENTRY COUNTS DIFFER\n");
    return ok ? 0 : 1;
}
