#include "viewers/TImageForm.h"

#include "platform/Platform.h"
#include "platform/Prompter.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

TImageForm::TImageForm(Prompter& prompter, const QImage& picture, const TImageInfo& info, QSize screen, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      prompter_(prompter), picture_(picture), info_(info), screen_(screen)
{
    setObjectName(QStringLiteral("ImageForm"));
    setWindowTitle(QStringLiteral("Image"));
    if (!screen_.isValid()) {
        const QScreen* s = QGuiApplication::primaryScreen();
        screen_ = s ? s->size() : QSize(1024, 768);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    MainMenu = new QMenuBar(this);
    MainMenu->setObjectName(QStringLiteral("MainMenu1"));
    layout->setMenuBar(MainMenu);
    auto item = [](QMenu* m, const char* name, const QString& caption) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    QMenu* file = MainMenu->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("File1"));
    Unzip1 = item(file, "Unzip1", QStringLiteral("Unzip"));
    Close1 = item(file, "Close1", QStringLiteral("Close"));
    QMenu* view = MainMenu->addMenu(QStringLiteral("View"));
    view->setObjectName(QStringLiteral("View1"));
    FitToScreen1 = item(view, "FitToScreen1", QStringLiteral("Fit To Screen"));
    ShowFullImage1 = item(view, "ShowFullImage1", QStringLiteral("Show Full Image"));
    QMenu* help = MainMenu->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("Help1Menu"));
    Help1 = item(help, "Help1", QStringLiteral("Help"));
    Info1 = item(help, "Info1", QStringLiteral("Info"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Unzip2 = item(PopupMenu1, "Unzip2", QStringLiteral("Unzip"));
    FitToScreen2 = item(PopupMenu1, "FitToScreen2", QStringLiteral("Fit To Screen"));
    ShowFullImage2 = item(PopupMenu1, "ShowFullImage2", QStringLiteral("Show Full Image"));
    Info2 = item(PopupMenu1, "Info2", QStringLiteral("Info"));
    Close2 = item(PopupMenu1, "Close2", QStringLiteral("Close"));

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(ScrollBox1);
    Image1 = new QLabel;
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setContextMenuPolicy(Qt::CustomContextMenu);
    Image1->installEventFilter(this);
    ScrollBox1->setWidget(Image1);
    connect(Image1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(Image1->mapToGlobal(p)); });

    for (QAction* a : {Unzip1, Unzip2})
        connect(a, &QAction::triggered, this, [this] { done(UnzipResult); });
    for (QAction* a : {Close1, Close2})
        connect(a, &QAction::triggered, this, [this] { done(CloseResult); });
    for (QAction* a : {FitToScreen1, FitToScreen2})
        connect(a, &QAction::triggered, this, &TImageForm::FitToScreen);
    for (QAction* a : {ShowFullImage1, ShowFullImage2})
        connect(a, &QAction::triggered, this, &TImageForm::ShowFullImage);
    connect(Info2, &QAction::triggered, this, &TImageForm::InfoClick);
}

QSize TImageForm::FittedSize(int W, int H, int SW, int SH)
{
    // 64-bit products: a tall picture times a screen side passes 2^31 quickly.
    const int64_t maxH = int64_t(SH) - HeightMargin;
    const int64_t maxW = int64_t(SW) - WidthMargin;
    if (W <= 0 || H <= 0)
        return QSize(qMax(W, 0), qMax(H, 0));
    if (H > maxH) {
        int64_t h = maxH;
        int64_t w = maxH * W / H;
        if (w > SW) {
            h = h * maxW / w;
            w = maxW;
        }
        return QSize(int(w), int(h));
    }
    if (W > maxW)
        return QSize(int(maxW), int(maxW * H / W));
    return QSize(W, H);
}

QString TImageForm::InfoText(const TImageInfo& info)
{
    return info.FileName + QStringLiteral("\r\r") + QString::number(info.Height) + QStringLiteral(" x ") +
           QString::number(info.Width) + QStringLiteral("\r") + QString::number(info.FileSize / 1024) +
           QStringLiteral(" KB\r") + Platform::DateTimeText(info.FileTime);
}

void TImageForm::setFitItems(bool fitOn, bool fullOn)
{
    FitToScreen1->setEnabled(fitOn);
    FitToScreen2->setEnabled(fitOn);
    ShowFullImage1->setEnabled(fullOn);
    ShowFullImage2->setEnabled(fullOn);
}

void TImageForm::place(QSize client, int left, int top)
{
    ScrollBox1->setFixedSize(client);
    setFixedSize(client.width(), client.height() + MainMenu->sizeHint().height());
    const int x = left >= 0 ? left : (screen_.width() - width()) / 2;
    const int y = top >= 0 ? top : (screen_.height() - height()) / 2;
    move(x, y);
}

void TImageForm::Arrange(bool fitLarge)
{
    const int W = picture_.width(), H = picture_.height();
    if (H < screen_.height() && W < screen_.width()) {
        ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        ScrollBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        Image1->setPixmap(QPixmap::fromImage(picture_));
        Image1->setFixedSize(W, H);
        shown_ = QSize(W, H);
        place(shown_, -1, -1);
        setFitItems(false, false);
        return;
    }
    if (fitLarge)
        FitToScreen();
    else
        ShowFullImage();
}

void TImageForm::FitToScreen()
{
    Platform::BusyCursor busy;
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    shown_ = FittedSize(picture_.width(), picture_.height(), screen_.width(), screen_.height());
    const QImage scaled = shown_ == picture_.size()
        ? picture_
        : picture_.scaled(shown_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    Image1->setPixmap(QPixmap::fromImage(scaled));
    Image1->setFixedSize(shown_);
    place(shown_, -1, -1);
    setFitItems(false, true);
}

void TImageForm::ShowFullImage()
{
    const int W = picture_.width(), H = picture_.height();
    const int SW = screen_.width(), SH = screen_.height();
    Image1->setPixmap(QPixmap::fromImage(picture_));
    Image1->setFixedSize(W, H);
    shown_ = QSize(W, H);
    const bool wide = W >= SW - WidthMargin;
    const bool tall = H >= SH - HeightMargin;
    ScrollBox1->setHorizontalScrollBarPolicy(wide ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    ScrollBox1->setVerticalScrollBarPolicy(tall ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const int menu = MainMenu->sizeHint().height();
    const QSize client(wide ? SW : W, tall ? SH - menu : H);
    place(client, wide ? 0 : -1, tall ? 0 : -1);
    ScrollBox1->horizontalScrollBar()->setValue(0);
    ScrollBox1->verticalScrollBar()->setValue(0);
    setFitItems(true, false);
}

void TImageForm::InfoClick()
{
    prompter_.information(InfoText(info_));
}

bool TImageForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        done(CloseResult);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

int ShowImageViewer(Prompter& prompter, TImageLoader& loader, const QString& path, bool fitLarge, bool infoInMainMenu,
                    QSize screen, QWidget* parent)
{
    // 1
    if (!loader.LoadImageFile(path) || loader.ImageInfo.Height <= 0 || loader.ImageInfo.Width <= 0) {
        loader.DecodedBitmap = QImage();
        return 0;
    }
    int result = 0;
    {
        // 2, 3
        TImageForm viewer(prompter, loader.DecodedBitmap, loader.ImageInfo, screen, parent);
        viewer.Info1->setEnabled(infoInMainMenu);
        viewer.Arrange(fitLarge);
        // 4
        result = prompter.runDialog(viewer);
    }
    // 5
    loader.DecodedBitmap = QImage();
    return result;
}
