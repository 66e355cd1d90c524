#pragma once
// The unzip page's display filter: show only rows of the ticked file types,
// only rows whose name matches a pattern, or both. Results: Accept (255),
// DisplayAll (64), Cancel (-1).

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QIcon;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTreeView;

class TUnzipFileTypeform : public QDialog {
    Q_OBJECT
public:
    enum Result { Accept = 255, DisplayAll = 64, Cancel = -1 };

    explicit TUnzipFileTypeform(QWidget* parent = nullptr);

    QCheckBox* FileTypeCheckBox;
    QTreeView* ListView;  // the type rows, with check boxes
    QStandardItemModel* ListModel;
    QCheckBox* MatchCheckBox;
    QLineEdit* Edit;  // the pattern
    QCheckBox* WholeWordCheckBox;
    QCheckBox* CaseCheckBox;
    QPushButton* OKButton;
    QPushButton* BitBtn2;  // "Display All"
    QPushButton* UnzipHelpButton;
    QPushButton* UnzipCloseButton;  // "CANCEL"

    // Adds a type row (unticked); rows stay sorted by caption.
    void AddTypeRow(const QString& caption, const QIcon& icon);
    int TypeRowCount() const;
    // Ticks or unticks the type row with `caption` as a click in the list would.
    bool SetTypeTicked(const QString& caption, bool ticked);

    // Set on accept: the ticked types (lower-case extensions with their dot)
    // and the pattern ("" when not used).
    QStringList FilterTypes;
    QString FilterPattern;

    // Opens the filter help page; tests replace it.
    std::function<void()> OpenHelp;

    void FileTypeCheckBoxClick();
    void MatchCheckBoxClick();
    void ListViewClick();
    // A key released in the pattern field.
    void EditKeyUp(int key);
    void OKButtonClick();

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool AnyTypeTicked() const;
};
