#include "create/TAddFolderForm.h"

#include "platform/Controls.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QLabel>
#include <QMutexLocker>
#include <QPushButton>
#include <QTimer>

using namespace Controls;

// ---------------------------------------------------------------- scan state

void TFolderScan::SetCurrent(const QString& folder, const QString& file)
{
    QMutexLocker lock(&mutex_);
    if (!folder.isNull())
        currentFolder_ = folder;
    currentFile_ = file;
}

void TFolderScan::Current(QString& folder, QString& file) const
{
    QMutexLocker lock(&mutex_);
    folder = currentFolder_;
    file = currentFile_;
}

QString TFolderScan::SearchText() const
{
    return folder.endsWith(QLatin1Char('/')) ? folder + QStringLiteral("*.*") : folder + QStringLiteral("/*.*");
}

// ---------------------------------------------------------------- worker

void TAddFolderThread::run()
{
    scanFolder(scan_.folder);
    // The end of the walk is the dialog's signal to close.
    scan_.stop = true;
}

void TAddFolderThread::scanFolder(const QString& folder)
{
    if (scan_.stop)
        return;
    const QString shown = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    scan_.SetCurrent(shown, QString());
    if (!QFileInfo(folder).isDir())
        return;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (!scan_.stop && it.hasNext()) {
        it.next();
        const QFileInfo fi = it.fileInfo();
        const QString name = fi.fileName();
        if (name.startsWith(QLatin1Char('.')))
            continue;
        // The name keeps its case: on this file system another case is another file.
        const QString full = shown + name;
        if (fi.isDir()) {
            // A linked folder is not followed: a link back up the tree would never end.
            if (scan_.recurse && !fi.isSymLink())
                scanFolder(full);
            continue;
        }
        if (!fi.exists())
            continue;  // a link to nothing
        const QDateTime written = fi.lastModified();
        if (SourceList::OlderThanCutOff(written, scan_.cutOffDay))
            continue;
        scan_.SetCurrent(QString(), name);
        const QString path = SourceList::PathCell(SourceList::FileFolder(full), scan_.rootLength,
                                                  scan_.saveFolders, scan_.relativePaths);
        scan_.names << name;
        scan_.sizes << SourceList::SizeText(fi.size());
        scan_.dates << SourceList::DateText(written);
        scan_.paths << path;
        scan_.sources << full;
        scan_.totalSize += fi.size();
        if (scan_.action)
            scan_.action->records.push_back({name, path, fi.size()});
        ++scan_.found;
    }
}

// ---------------------------------------------------------------- dialog

TAddFolderForm::TAddFolderForm(TFolderScan& scan, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), scan_(scan)
{
    setObjectName(QStringLiteral("AddFolderForm"));
    setWindowTitle(QStringLiteral("Adding Folder..."));
    setFixedSize(420, 170);
    Label(this, "StaticText1", QStringLiteral("ADDING FOLDER..."), 10, 8);
    SearchLabel = Label(this, "SearchLabel", scan.SearchText(), 10, 32, 400);
    FolderLabel = Label(this, "FolderLabel", QString(), 10, 56, 400);
    FileLabel = Label(this, "FileLabel", QString(), 10, 78, 400);
    CountLabel = Label(this, "CountLabel", QStringLiteral("0"), 10, 100, 400);
    StopButton = Button(this, "StopButton", QStringLiteral("STOP"), 170, 130, 80, 28);
    connect(StopButton, &QPushButton::clicked, this, &TAddFolderForm::StopButtonClick);
    Timer = new QTimer(this);
    Timer->setInterval(100);
    connect(Timer, &QTimer::timeout, this, &TAddFolderForm::TimerTimer);
}

TAddFolderForm::~TAddFolderForm()
{
    // Never leave the worker running on a scan that is about to go away.
    if (thread_) {
        scan_.stop = true;
        thread_->wait();
    }
}

void TAddFolderForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!thread_)
        start();
}

void TAddFolderForm::start()
{
    scan_.stop = false;
    scan_.found = 0;
    CountLabel->setText(QStringLiteral("0"));
    StopButton->setEnabled(true);
    thread_ = new TAddFolderThread(scan_, this);
    thread_->start();
    Timer->start();
}

void TAddFolderForm::StopButtonClick()
{
    scan_.stop = true;
    StopButton->setEnabled(false);
}

void TAddFolderForm::TimerTimer()
{
    QString folder, file;
    scan_.Current(folder, file);
    FolderLabel->setText(folder);
    FileLabel->setText(file);
    CountLabel->setText(QString::number(scan_.found.load()));
    if (!scan_.stop)
        return;
    Timer->stop();
    if (thread_) {
        thread_->wait();
        delete thread_;
        thread_ = nullptr;
    }
    CountLabel->setText(QString::number(scan_.found.load()));
    accept();
}

void TAddFolderForm::reject()
{
    StopButtonClick();
}
