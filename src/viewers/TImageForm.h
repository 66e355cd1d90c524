#pragma once
// The image viewer: one decoded picture at its natural size, fitted to the
// screen, or at full size with scroll bars. Its results: UnzipResult (extract
// the entry, or save the picture from the browser) and CloseResult.

#include "viewers/ImageLoader.h"

#include <QDialog>
#include <QImage>
#include <QSize>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QScrollArea;
class Prompter;

class TImageForm : public QDialog {
    Q_OBJECT
public:
    // `screen` is the screen size the sizing rules use (empty: the primary screen's).
    TImageForm(Prompter& prompter, const QImage& picture, const TImageInfo& info, QSize screen = QSize(),
               QWidget* parent = nullptr);

    static constexpr int UnzipResult = 14;
    static constexpr int CloseResult = 255;
    // Screen margins of the fitting rules.
    static constexpr int HeightMargin = 48;
    static constexpr int WidthMargin = 20;

    QMenuBar* MainMenu;
    QAction* Unzip1;
    QAction* Close1;
    QAction* FitToScreen1;
    QAction* ShowFullImage1;
    QAction* Help1;
    QAction* Info1;
    QMenu* PopupMenu1;
    QAction* Unzip2;
    QAction* FitToScreen2;
    QAction* ShowFullImage2;
    QAction* Info2;
    QAction* Close2;
    QScrollArea* ScrollBox1;
    QLabel* Image1;

    // The opening rule: a picture smaller than the screen both ways is shown
    // as it is (fit and full-size items off); a larger one is fitted when
    // `fitLarge`, else shown at full size.
    void Arrange(bool fitLarge);
    void FitToScreen();
    void ShowFullImage();
    void InfoClick();
    // The size the picture is shown at.
    QSize ShownSize() const { return shown_; }
    QSize ScreenSize() const { return screen_; }

    // The fitted size of a W x H picture on an SW x SH screen (whole-number arithmetic).
    static QSize FittedSize(int W, int H, int SW, int SH);
    // The Info text of `info`.
    static QString InfoText(const TImageInfo& info);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override { done(CloseResult); }

private:
    // Client area `client` (below the menu), placed at `left`/`top` (-1: centred).
    void place(QSize client, int left, int top);
    void setFitItems(bool fitOn, bool fullOn);
    Prompter& prompter_;
    QImage picture_;
    TImageInfo info_;
    QSize screen_;
    QSize shown_;
};

// Shows `path` in the viewer: loads it with the loader's messages, shows the
// viewer modally through the prompter and empties the loader's bitmap.
// Returns the viewer's result, or 0 when the picture could not be shown.
// `infoInMainMenu` false disables the main menu's "Info" (the browser's use).
int ShowImageViewer(Prompter& prompter, TImageLoader& loader, const QString& path, bool fitLarge,
                    bool infoInMainMenu = true, QSize screen = QSize(), QWidget* parent = nullptr);
