#pragma once
// The zip engine's password dialog: a prompt, a masked edit and one to four
// buttons (OK, Cancel, Cancel all, Abort, in that order); for the files being
// added, a check box choosing AES-256 encryption above the buttons. Built in
// code with fixed geometry; the dialog's result is the pressed button's code.

#include <QDialog>

class Prompter;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TPasswordDlg : public QDialog {
public:
    // Result codes of the buttons.
    enum Result { ResultOk = 1, ResultCancel = 2, ResultCancelAll = 9, ResultAbort = 3 };

    // `buttons`: how many of OK, Cancel, Cancel all, Abort are shown (1 to 4);
    // `offerAes`: with the AES-256 check box.
    TPasswordDlg(const QString& title, const QString& prompt, int buttons, QWidget* parent = nullptr,
                 bool offerAes = false);

    // The entry after OK; an empty text after any other button.
    QString Password() const;

    QLabel* PromptLabel;
    QLineEdit* PasswordEdit;
    QPushButton* Buttons[4] = {nullptr, nullptr, nullptr, nullptr};
    QCheckBox* AesCheckBox = nullptr; // only when offered
    int ButtonCount() const { return buttonCount_; }

    // Shows one dialog through the prompter and returns its result: 1 OK,
    // 2 Cancel (also when the window is closed), 9 Cancel all, 3 Abort.
    // `entry` receives the password after OK, an empty text otherwise. A
    // non-null `aes` offers the AES-256 check box, ticked as `*aes` says, and
    // receives its state after OK.
    static int Ask(Prompter& prompter, const QString& title, const QString& prompt, int buttons, QString& entry,
                   QWidget* parent = nullptr, bool* aes = nullptr);

private:
    int buttonCount_;
};
