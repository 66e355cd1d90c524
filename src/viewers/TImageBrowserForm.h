#pragma once
// The image browser: the thumbnails of an archive's pictures as a checkable
// icon list. A click views a picture (and can save it elsewhere), "UNZIP"
// copies the chosen pictures to a folder. Closing it empties the image folder
// the pictures were extracted to.

#include "viewers/TThumbThread.h"

#include <QDialog>
#include <QSize>
#include <functional>

class QAction;
class QListWidget;
class QMenu;
class QPushButton;
class TImageLoader;
class TMainHost;

class TImageBrowserForm : public QDialog {
    Q_OBJECT
public:
    TImageBrowserForm(TMainHost& host, TImageLoader& loader, bool fitLarge, const QString& imageFolder,
                      QWidget* parent = nullptr);
    ~TImageBrowserForm() override;

    static constexpr int CloseResult = -1;
    static constexpr int ExitResult = 255;
    // The items' data role holding the line of ThumbList where the picture's path stands.
    static constexpr int LineRole = Qt::UserRole + 1;

    // ThumbList and the thumbnail images.
    TThumbnailSet Thumbs;

    QListWidget* ImageListView;
    QMenu* PopupMenu1;
    QAction* SelectAll1;
    QAction* UnSelectall1;
    QPushButton* UnzipButton;
    QPushButton* HelpButton;
    QPushButton* CloseButton;
    QPushButton* ExitButton;

    // After a build: one item per "path*index" line of ThumbList (caption the
    // file name, icon the thumbnail), the plain path put back in the line.
    // Returns the number of items; `step` is called once per line.
    int AddThumbnailItems(const std::function<void()>& step = {});

    // The list's mouse press rule (after the list has handled the press).
    void ImageListViewMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void UnzipButtonClick();
    void SelectAll1Click();
    void UnSelectall1Click();
    void HelpButtonClick();
    // Saves the picture at `path` where the user chooses.
    void SaveImage(const QString& path);
    // The layout rule for a client area of W x H.
    void FormResize(int W, int H);
    // Empties the image folder and releases the items and thumbnails; once.
    void CleanUp();
    bool CleanedUp() const { return cleaned_; }
    QString ImageFolder() const { return imageFolder_; }

    // The screen size the viewer's sizing rules use (empty: the primary screen's).
    QSize ViewerScreen;

    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override { done(CloseResult); }

private:
    // The paths of the selected or checked items, in list order.
    QStringList chosenPaths() const;
    // Select All (true) or UnSelect all (false): every item and both menu items.
    void setAllChosen(bool on);
    QString itemPath(int row) const;
    TMainHost& host_;
    TImageLoader& loader_;
    bool fitLarge_;
    QString imageFolder_;
    QString saveFolder_;
    bool cleaned_ = false;
    bool forwarding_ = false;
};
