#pragma once
// "Select File to Auto Start when Zip File Extraction is Complete...": the
// zip's entries (file name and folder); OK is on only while a row is
// highlighted. OK and Cancel close the window alike; the caller reads the
// highlighted row.

#include <QDialog>

class QPushButton;
class QTreeWidget;

class TSfxAutoStartForm : public QDialog {
    Q_OBJECT
public:
    explicit TSfxAutoStartForm(QWidget* parent = nullptr);

    QTreeWidget* AutoStartListView;
    QPushButton* OkButton;
    QPushButton* CancelButton;

    void AddEntry(const QString& fileName, const QString& folder);
    // The highlighted row as folder + file name ("\" between them when the
    // folder does not end in one); empty when no row is highlighted.
    QString Choice() const;
};
