#include "viewers/TImageBrowserForm.h"

#include "platform/Controls.h"
#include "platform/MainHost.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "viewers/ImageExtensions.h"
#include "viewers/TImageForm.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>

namespace {

// Writes the whole of `source` to `target`, creating or replacing it; the
// target is replaced only once the copy is complete. "" or the failed file
// operation's error text.
QString CopyWhole(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return in.errorString();
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return out.errorString();
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0)
            return in.errorString();
        if (n == 0)
            break;
        if (out.write(buffer.constData(), n) != n)
            return out.errorString();
    }
    if (!Platform::CommitSaveFile(out))
        return out.errorString();
    return QString();
}

} // namespace

TImageBrowserForm::TImageBrowserForm(TMainHost& host, TImageLoader& loader, bool fitLarge, const QString& imageFolder,
                                     QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      host_(host), loader_(loader), fitLarge_(fitLarge), imageFolder_(imageFolder)
{
    setObjectName(QStringLiteral("ImageBrowserForm"));
    setWindowTitle(QStringLiteral("Image Browser"));
    setWindowState(Qt::WindowMaximized);
    resize(800, 600);

    ImageListView = new QListWidget(this);
    ImageListView->setObjectName(QStringLiteral("ImageListView"));
    ImageListView->setViewMode(QListView::IconMode);
    ImageListView->setResizeMode(QListView::Adjust);
    ImageListView->setMovement(QListView::Static);
    ImageListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ImageListView->setMouseTracking(true);
    ImageListView->viewport()->setCursor(Qt::PointingHandCursor);
    ImageListView->viewport()->installEventFilter(this);
    ImageListView->setContextMenuPolicy(Qt::CustomContextMenu);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    SelectAll1 = PopupMenu1->addAction(QStringLiteral("Select All"));
    SelectAll1->setObjectName(QStringLiteral("SelectAll1"));
    UnSelectall1 = PopupMenu1->addAction(QStringLiteral("UnSelect all "));
    UnSelectall1->setObjectName(QStringLiteral("UnSelectall1"));
    UnSelectall1->setEnabled(false);
    connect(ImageListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(ImageListView->viewport()->mapToGlobal(p)); });
    connect(SelectAll1, &QAction::triggered, this, &TImageBrowserForm::SelectAll1Click);
    connect(UnSelectall1, &QAction::triggered, this, &TImageBrowserForm::UnSelectall1Click);

    UnzipButton = Controls::Button(this, "UnzipButton", QStringLiteral("UNZIP"), 0, 0, 100, 28);
    UnzipButton->setDefault(true);
    HelpButton = Controls::Button(this, "HelpButton", QStringLiteral("Help"), 0, 0, 100, 28);
    CloseButton = Controls::Button(this, "CloseButton", QStringLiteral("Close"), 0, 0, 100, 28);
    CloseButton->setToolTip(QStringLiteral("CLOSE WINDOW"));
    ExitButton = Controls::Button(this, "ExitButton", QStringLiteral("Exit"), 0, 0, 100, 28);
    ExitButton->setToolTip(QStringLiteral("EXIT PROGRAM"));
    for (QPushButton* b : {UnzipButton, HelpButton, CloseButton, ExitButton})
        b->setCursor(Qt::PointingHandCursor);
    connect(UnzipButton, &QPushButton::clicked, this, &TImageBrowserForm::UnzipButtonClick);
    connect(HelpButton, &QPushButton::clicked, this, &TImageBrowserForm::HelpButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, [this] { done(CloseResult); });
    connect(ExitButton, &QPushButton::clicked, this, [this] { done(ExitResult); });
    FormResize(width(), height());
}

TImageBrowserForm::~TImageBrowserForm()
{
    CleanUp();
}

int TImageBrowserForm::AddThumbnailItems(const std::function<void()>& step)
{
    const int size = Thumbs.Size;
    ImageListView->setIconSize(QSize(size, size));
    ImageListView->setUpdatesEnabled(false);
    int added = 0;
    for (int line = 0; line < Thumbs.ThumbList.size(); ++line) {
        QString path;
        int index = -1;
        if (TThumbThread::SplitLine(Thumbs.ThumbList[line], path, index) && index >= 0 && index < Thumbs.Images.size()) {
            auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(Thumbs.Images[index])),
                                             QFileInfo(path).fileName(), ImageListView);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            item->setData(LineRole, line);
            Thumbs.ThumbList[line] = path;
            ++added;
        }
        if (step)
            step();
    }
    ImageListView->setUpdatesEnabled(true);
    return added;
}

QString TImageBrowserForm::itemPath(int row) const
{
    const QListWidgetItem* item = ImageListView->item(row);
    if (!item)
        return QString();
    const int line = item->data(LineRole).toInt();
    return line >= 0 && line < Thumbs.ThumbList.size() ? Thumbs.ThumbList[line] : QString();
}

bool TImageBrowserForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ImageListView->viewport() && !forwarding_ && event->type() == QEvent::MouseButtonPress) {
        // The list takes the press first; the rule looks at the selection it leaves.
        const auto* me = static_cast<QMouseEvent*>(event);
        const Qt::MouseButton button = me->button();
        const Qt::KeyboardModifiers mods = me->modifiers();
        forwarding_ = true;
        QCoreApplication::sendEvent(watched, event);
        forwarding_ = false;
        ImageListViewMouseDown(button, mods);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TImageBrowserForm::ImageListViewMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods)
{
    if (button != Qt::LeftButton || (mods & (Qt::ShiftModifier | Qt::ControlModifier)))
        return;
    const QList<QListWidgetItem*> selected = ImageListView->selectedItems();
    if (selected.size() != 1)
        return;
    SelectAll1->setEnabled(true);
    UnSelectall1->setEnabled(true);
    const QString path = itemPath(ImageListView->row(selected.first()));
    const int result = ShowImageViewer(host_.prompter(), loader_, path, fitLarge_, false, ViewerScreen, this);
    ImageListView->clearSelection();
    if (result == TImageForm::UnzipResult)
        SaveImage(path);
}

void TImageBrowserForm::SaveImage(const QString& path)
{
    const QFileInfo file(path);
    if (!file.isFile())
        return;
    const QString ext = LowerExtension(path);
    FileDialogRequest request;
    request.title = QStringLiteral("Save as");
    request.filter = ext + QStringLiteral(" (*") + ext + QLatin1Char(')');
    request.defaultName = file.fileName();
    request.startFolder = saveFolder_.isEmpty() ? QStringLiteral("/") : saveFolder_;
    QString target = host_.prompter().saveFile(request);
    if (target.isEmpty())
        return;
    // The default ending, as the dialog would add it to a name typed without one.
    if (!ext.isEmpty() && QFileInfo(target).suffix().isEmpty())
        target += ext;
    saveFolder_ = QFileInfo(target).absolutePath();
    const QString error = CopyWhole(path, target);
    if (!error.isEmpty())
        host_.prompter().information(error);
}

QStringList TImageBrowserForm::chosenPaths() const
{
    QStringList paths;
    for (int row = 0; row < ImageListView->count(); ++row) {
        const QListWidgetItem* item = ImageListView->item(row);
        if (item->isSelected() || item->checkState() == Qt::Checked)
            paths << itemPath(row);
    }
    return paths;
}

void TImageBrowserForm::UnzipButtonClick()
{
    Prompter& prompter = host_.prompter();
    // 1
    bool any = !ImageListView->selectedItems().isEmpty();
    for (int row = 0; !any && row < ImageListView->count(); ++row)
        any = ImageListView->item(row)->checkState() == Qt::Checked;
    if (!any) {
        prompter.information(QStringLiteral(
            "NO FILES HAVE BEEN HIGHLIGHTED OR CHECKED!\rCHOOSE  SELECT ALL  OR CLICK FILES TO HIGHLIGHT OR CHECK THEM\r"
            "AND TRY AGAIN.  (ONLY HIGHLIGHTED OR CHECKMARKED FILES IN THE LIST WILL BE UNZIPPED)"));
        UnzipButton->setEnabled(false);
        return;
    }
    // 2
    const QString folder = host_.BrowseforFolder(QString(), true, true);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    // 3
    Platform::BusyCursor busy;
    const QStringList paths = chosenPaths();
    if (paths.isEmpty()) {
        prompter.information(QStringLiteral("The operation failed"));
        return;
    }
    // 4
    bool yesToAll = false, noToAll = false;
    for (const QString& path : paths) {
        if (!QFileInfo(path).isFile())
            continue;
        const QString target = Platform::JoinPath(folder, QFileInfo(path).fileName());
        bool copy = true;
        if (QFileInfo::exists(target) && !yesToAll) {
            if (noToAll) {
                copy = false;
            } else {
                switch (prompter.question(QStringLiteral("THE FILE IN THE ZIP FILE WILL REPLACE THE FILE ON DISK\r"
                                                         "TO REPLACE THIS FILE CHOOSE  YES\r"
                                                         "TO REPLACE ALL FILES AND AVOID RECEIVING THIS MESSAGE AGAIN CHOOSE  ALL"),
                                          PromptButtons::YesNoAll)) {
                case PromptButton::Yes: break;
                case PromptButton::YesToAll: yesToAll = true; break;
                case PromptButton::NoToAll:
                    noToAll = true;
                    copy = false;
                    break;
                default: copy = false; break;  // No, or the box closed: the file on disk stays
                }
            }
        }
        if (!copy)
            continue;
        const QString error = CopyWhole(path, target);
        if (!error.isEmpty()) {
            prompter.information(error);
            return;
        }
    }
    // 5
    prompter.information(QStringLiteral("THE OPERATION IS COMPLETE."));
}

void TImageBrowserForm::SelectAll1Click()
{
    setAllChosen(true);
}

void TImageBrowserForm::UnSelectall1Click()
{
    setAllChosen(false);
}

void TImageBrowserForm::setAllChosen(bool on)
{
    for (int row = 0; row < ImageListView->count(); ++row) {
        QListWidgetItem* item = ImageListView->item(row);
        item->setSelected(on);
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    SelectAll1->setEnabled(!on);
    UnSelectall1->setEnabled(on);
}

void TImageBrowserForm::HelpButtonClick()
{
    host_.OpenHelp("imagebr.html");
}

void TImageBrowserForm::FormResize(int W, int H)
{
    ImageListView->setGeometry(22, 8, qMax(0, W - 44), qMax(0, H - 93));
    const int top = H - 68;
    int left = (W - 464) / 2;
    for (QPushButton* b : {UnzipButton, HelpButton, CloseButton, ExitButton}) {
        b->move(left, top);
        left += 120;
    }
}

void TImageBrowserForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FormResize(width(), height());
}

void TImageBrowserForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormResize(width(), height());
}

void TImageBrowserForm::CleanUp()
{
    if (cleaned_)
        return;
    cleaned_ = true;
    if (!imageFolder_.isEmpty() && QFileInfo(imageFolder_).isDir())
        Platform::EmptyFolder(imageFolder_);
    ImageListView->clear();
    Thumbs.ThumbList.clear();
    Thumbs.Images.clear();
}

void TImageBrowserForm::done(int result)
{
    CleanUp();
    QDialog::done(result);
}
