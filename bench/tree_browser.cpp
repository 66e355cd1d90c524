// Opening the tree browser on a large listed archive, beside filling the
// unzip list with the same archive: TREE until the window is shown and
// painted with both roots expanded, then "Expand All", "Collapse Branch" on
// the root, and a search that finds nothing (every node tested).
//
//   bench_tree_browser [ENTRIES] [FOLDERS] [WORK_FOLDER]   (default 100000 5000 /tmp/quarn-bench-tree)
//
// The archive is written once by python3's zipfile and reused. Every time is
// the best of three runs; the ratio is to the time of filling the list.

#include "BenchTools.h"
#include "app/TForm1.h"
#include "platform/Prompter.h"
#include "treebrowser/TUnzipTreeviewForm.h"
#include "unzip/TUnzipPage.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTreeView>

#include <algorithm>
#include <cstdio>

namespace {

// Shows TREE's window instead of running it modally and times it; every
// message is printed and answered OK.
class TimingPrompter : public Prompter {
public:
    QElapsedTimer clock;
    double opened = 0, expandAll = 0, collapseBranch = 0, search = 0;
    int nodes = 0;

    PromptButton message(PromptKind, const QString& text, PromptButtonSet, const QString&) override
    {
        if (text != QStringLiteral("SEARCH RESULT NOT FOUND."))
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return PromptButton::Ok;
    }
    QString openFile(const FileDialogRequest&) override { return {}; }
    QStringList openFiles(const FileDialogRequest&) override { return {}; }
    QString saveFile(const FileDialogRequest&) override { return {}; }
    QString chooseFolder(const FileDialogRequest&) override { return {}; }
    int runDialog(QDialog& dialog) override
    {
        auto* w = dynamic_cast<TUnzipTreeviewForm*>(&dialog);
        if (!w)
            return 0;
        w->show();
        QApplication::processEvents();
        w->repaint();
        opened = clock.nsecsElapsed() / 1e9;
        nodes = w->Tree().size();

        QElapsedTimer e;
        e.start();
        w->BitBtn4Click();
        w->repaint();
        expandAll = e.nsecsElapsed() / 1e9;

        w->ChooseNode(0);
        e.restart();
        w->BitBtn2Click();
        w->repaint();
        collapseBranch = e.nsecsElapsed() / 1e9;

        e.restart();
        w->SearchEdit->setText(QStringLiteral("qqq"));
        w->BitBtn5Click();
        search = e.nsecsElapsed() / 1e9;
        w->hide();
        return TUnzipTreeviewForm::Closed;
    }
};

bool generate(const QString& path, int entries, int folders)
{
    // folders are spread over sqrt-many top folders; files go round the folders.
    const char* script = R"(
import sys, zipfile, math
path, entries, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
tops = max(1, int(math.sqrt(folders)))
ext = ['.txt', '.c', '.h', '.html', '.png', '.dat', '.json', '.md']
with zipfile.ZipFile(path, 'w', zipfile.ZIP_STORED) as z:
    for i in range(entries):
        f = i % folders
        name = 'top%03d/folder%05d/file%06d%s' % (f % tops, f, i, ext[i % 8])
        z.writestr(name, 'entry %d\n' % i)
)";
    QProcess p;
    p.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromUtf8(script), path,
                                        QString::number(entries), QString::number(folders)});
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv)
{
    bench::offscreenWhenHeadless();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int entries = args.size() > 1 ? args[1].toInt() : 100000;
    const int folders = args.size() > 2 ? args[2].toInt() : 5000;
    const QString work = args.size() > 3 ? args[3] : QStringLiteral("/tmp/quarn-bench-tree");
    if (entries <= 0 || folders <= 0 || !QDir().mkpath(work)) {
        std::fprintf(stderr, "usage: bench_tree_browser [ENTRIES] [FOLDERS] [WORK_FOLDER]\n");
        return 2;
    }
    qputenv("QUARN_DATA_DIR", QFile::encodeName(work + QStringLiteral("/data")));
    const QString zip = work + QStringLiteral("/tree%1-%2.zip").arg(entries).arg(folders);
    if (!QFileInfo(zip).isFile() && !generate(zip, entries, folders)) {
        QFile::remove(zip);
        std::fprintf(stderr, "cannot write %s (python3 and its zipfile module are needed)\n", qPrintable(zip));
        return 1;
    }
    std::printf("archive: %s, %d entries in %d folders\n", qPrintable(zip), entries, folders);

    TimingPrompter prompter;
    TForm1 form(prompter, {});
    form.show();
    QApplication::processEvents();
    TUnzipPage* page = form.UnzipPage;
    double fill = 1e30, open = 1e30, expand = 1e30, collapse = 1e30, search = 1e30;
    int rows = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer e;
        e.start();
        page->UpdateUnzipWindow(zip);
        page->UnzipListView->repaint();
        QApplication::processEvents();
        fill = std::min(fill, e.nsecsElapsed() / 1e9);
        rows = page->RowCount();

        prompter.clock.start();
        page->TreeButtonClick();
        open = std::min(open, prompter.opened);
        expand = std::min(expand, prompter.expandAll);
        collapse = std::min(collapse, prompter.collapseBranch);
        search = std::min(search, prompter.search);
        page->UnzipResetButtonClick();
        QApplication::processEvents();
    }
    std::printf("%-40s %8.3f s   (%d rows)\n", "unzip list filled and painted", fill, rows);
    std::printf("%-40s %8.3f s   %6.2fx the list   (%d nodes)\n", "TREE: window shown and painted", open, open / fill,
                prompter.nodes);
    std::printf("%-40s %8.3f s\n", "  Expand All", expand);
    std::printf("%-40s %8.3f s\n", "  Collapse Branch at the root", collapse);
    std::printf("%-40s %8.3f s\n", "  search through every node", search);
    std::printf("target: the window opens in under 2 s: %s\n", open < 2.0 ? "met" : "NOT MET");
    return rows == entries ? 0 : 1;
}
