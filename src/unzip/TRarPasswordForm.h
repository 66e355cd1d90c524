#pragma once
// The RAR extraction's password prompt, "Enter password": a masked field and
// OK and Cancel. OK on an empty field leaves the prompt open.

#include <QDialog>

class QLineEdit;
class QPushButton;

class TRarPasswordForm : public QDialog {
    Q_OBJECT
public:
    explicit TRarPasswordForm(QWidget* parent = nullptr);
    // The text after OK; "" after Cancel.
    QString Password() const;

    QLineEdit* PasswordEdit;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    void OKButtonClick();
};
