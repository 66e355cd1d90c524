#pragma once
// The About window and the "Donation Ware" window: the program's name,
// version and a short text, closed with OK.

#include <QDialog>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    enum Kind { About, Donation };
    explicit TAboutBox(Kind kind, QWidget* parent = nullptr);

    QLabel* ProductName;
    QLabel* Version;
    QLabel* Comments;
    QPushButton* OKButton;

    static QString VersionText();
};
