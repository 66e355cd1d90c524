// The unzip page's pictures: the image browser's start (the room check, the
// extraction of the image rows into the image folder), the thumbnail size
// items, and the image viewer over an extracted entry.

#include "unzip/TUnzipPage.h"

#include "codecs/TarEntry.h"
#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "viewers/ImageExtensions.h"
#include "viewers/ImageLoader.h"
#include "viewers/TImageBrowse.h"
#include "viewers/TImageBrowserForm.h"
#include "viewers/TImageForm.h"
#include "viewers/TThumbsizeForm.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QStandardItemModel>
#include <QTreeView>

TUnzipPage::~TUnzipPage()
{
    UnloadImageLibrary();
}

void TUnzipPage::ConnectImageCommands()
{
    connect(ImageBrowser1, &QAction::triggered, this, &TUnzipPage::ImageBrowser1Click);
    connect(Thumb32, &QAction::triggered, this, [this] { SetThumbnailSize(32); });
    connect(Thumb64, &QAction::triggered, this, [this] { SetThumbnailSize(64); });
    connect(Thumb128, &QAction::triggered, this, [this] { SetThumbnailSize(128); });
    connect(Thumb192, &QAction::triggered, this, [this] { SetThumbnailSize(192); });
    connect(ThumbOther, &QAction::triggered, this, &TUnzipPage::Other1Click);
}

TImageLoader& TUnzipPage::ImageLoader()
{
    if (!imageLoader_)
        imageLoader_ = std::make_unique<TImageLoader>(&host_.prompter());
    return *imageLoader_;
}

TImageBrowse& TUnzipPage::ImageBrowse()
{
    if (!imageBrowse_) {
        imageBrowse_ = std::make_unique<TImageBrowse>(host_, ImageLoader(), host_.ImageBrowserTimer(), window());
        imageBrowse_->Finished = [this](int result) {
            if (result == TImageBrowserForm::ExitResult) {
                host_.CloseProgram();
                return;
            }
            QTreeView* list = VisibleListView();
            if (list->isVisible()) {
                list->setEnabled(true);
                list->setFocus();
            }
        };
    }
    return *imageBrowse_;
}

void TUnzipPage::UnloadImageLibrary()
{
    // The browse object stays: closing may come from inside its own handler
    // (the browser's "Exit").
    if (imageBrowse_) {
        imageBrowse_->Stop();
        imageBrowse_->Release();
    }
    if (imageLoader_)
        imageLoader_->Unload();
}

void TUnzipPage::SetThumbnailSize(int size)
{
    settings_.ThumbnailSize = size;
    CheckThumbnailSizeItem(size);
}

void TUnzipPage::Other1Click()
{
    TThumbsizeForm form(settings_.ThumbnailSize, window());
    const int result = host_.prompter().runDialog(form);
    if (result == TThumbsizeForm::Cancelled) {
        // The group checked "Other" on the click: the item of the kept size comes back.
        CheckThumbnailSizeItem(settings_.ThumbnailSize);
        return;
    }
    settings_.ThumbnailSize = qBound(16, result, 256);
    ThumbOther->setChecked(true);
}

bool TUnzipPage::PrepareImageBrowse(bool quiet)
{
    Prompter& prompter = host_.prompter();
    // 1
    QTreeView* list = VisibleListView();
    auto* model = qobject_cast<QStandardItemModel*>(list->model());
    if (!model || model->rowCount() == 0)
        return false;
    // 2
    int64_t needed = 0;
    QList<int> imageRows;
    for (int r = 0; r < model->rowCount(); ++r) {
        if (!IsImageFileName(model->item(r, 0)->text()))
            continue;
        imageRows << r;
        needed += RemoveCommas(model->item(r, 1)->text());
    }
    const QString folder = state_.ImageTempFolder();
    if (!quiet && Platform::FreeOnDisk(state_.DataFolder) < needed) {
        prompter.information(QStringLiteral("THE COMPUTER COULD NOT FIND ENOUGH ROOM FOR THE GRAPHICS FILES ON DRIVE ") +
                             QDir::toNativeSeparators(state_.DataFolder));
        return false;
    }
    // 3
    if (!QFileInfo(folder).isDir())
        QDir().mkpath(folder);
    UnzipListView->clearSelection();
    UnzipFilteredListView->clearSelection();
    TImageBrowserForm* browser = ImageBrowse().Begin(folder, settings_.ThumbnailSize, settings_.FitImageToScreen);
    browser->ViewerScreen = ViewerScreen;
    // 4: the row's stored folder and name, kept inside the image folder as
    // the extraction keeps them.
    SelectRows(list, imageRows);
    for (int r : imageRows) {
        const QString inside = tarSafeRelativePath(model->item(r, 3)->text() + model->item(r, 0)->text());
        if (!inside.isEmpty())
            browser->Thumbs.ThumbList << Platform::JoinPath(folder, inside);
    }
    // 5
    if (browser->Thumbs.ThumbList.isEmpty()) {
        if (!quiet)
            prompter.information(QStringLiteral("THIS FILE CONTAINED NO RECOGNIZED GRAPHICS FILES."));
        ImageBrowse().Release();
        return false;
    }
    // 6
    const bool folders = settings_.ExtractFolderNames, overwrite = settings_.ExtractOverwrite,
               update = settings_.ExtractUpdate, freshen = settings_.ExtractFreshen;
    const bool showSuccess = state_.ShowSuccessMessage;
    settings_.ExtractFolderNames = true;
    settings_.ExtractOverwrite = true;
    settings_.ExtractUpdate = false;
    settings_.ExtractFreshen = false;
    state_.ShowSuccessMessage = false;
    DoGraphicsUnzip(folder);
    settings_.ExtractFolderNames = folders;
    settings_.ExtractOverwrite = overwrite;
    settings_.ExtractUpdate = update;
    settings_.ExtractFreshen = freshen;
    state_.ShowSuccessMessage = showSuccess;
    return true;
}

void TUnzipPage::ImageBrowser1Click()
{
    if (ImageBrowse().Building())
        return;  // one browse at a time
    Platform::BusyCursor busy;
    if (!PrepareImageBrowse(false))
        return;
    // 7
    ImageBrowse().CreateLVThumbnails();
}

int TUnzipPage::ViewAnImage(const QString& path)
{
    const int result = ShowImageViewer(host_.prompter(), ImageLoader(), path, settings_.FitImageToScreen, true,
                                       ViewerScreen, window());
    if (result == TImageForm::UnzipResult) {
        state_.ShowSuccessMessage = true;
        DoUnzip();
    }
    return result;
}

QStringList TUnzipPage::SaveImageScreenshots(const QString& folder)
{
    QStringList written;
    if (ImageBrowse().Building() || !PrepareImageBrowse(true))
        return written;
    TImageBrowse& browse = ImageBrowse();
    TImageBrowserForm* browser = browse.Browser();
    TImageLoader& loader = ImageLoader();
    if (loader.LoadImageFileQuiet(browser->Thumbs.ThumbList.first())) {
        TImageForm viewer(host_.prompter(), loader.DecodedBitmap, loader.ImageInfo, ViewerScreen, window());
        viewer.Arrange(settings_.FitImageToScreen);
        viewer.show();
        QCoreApplication::processEvents();
        const QString file = Platform::JoinPath(folder, QStringLiteral("image-viewer.png"));
        if (viewer.grab().save(file))
            written << file;
        viewer.hide();
        loader.DecodedBitmap = QImage();
    }
    if (browse.BuildNow() > 0) {
        browser->showNormal();
        browser->resize(900, 600);
        QCoreApplication::processEvents();
        const QString file = Platform::JoinPath(folder, QStringLiteral("image-browser.png"));
        if (browser->grab().save(file))
            written << file;
        browser->hide();
    }
    browse.Release();
    return written;
}
