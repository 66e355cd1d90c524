#include "TPasswordDlg.h"

#include "platform/Controls.h"
#include "platform/Prompter.h"
#include "zipengine/ZipMessages.h"

#include <QCheckBox>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

TPasswordDlg::TPasswordDlg(const QString& title, const QString& prompt, int buttons, QWidget* parent, bool offerAes)
    : QDialog(parent), buttonCount_(buttons < 1 ? 1 : buttons > 4 ? 4 : buttons)
{
    setObjectName(QStringLiteral("TPasswordDlg"));
    setWindowTitle(title);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(12);
    f.setBold(true);
    setFont(f);
    const int n = buttonCount_;
    // The check box takes a row of its own between the edit and the buttons.
    const int boxRow = offerAes ? 28 : 0;
    setFixedSize(124 * n + 35, 137 + boxRow);

    PromptLabel = Controls::Label(this, "PromptLabel", prompt, 20, 8, 297, 18);
    PasswordEdit = Controls::Edit(this, "PasswordEdit", 20, 40, 124 * n - 10);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordEdit->setMaxLength(80);
    if (offerAes)
        AesCheckBox = Controls::CheckBox(this, "PasswordAesCheckBox", QStringLiteral("Encrypt with AES-256"), 20, 70,
                                         124 * n - 10);

    struct ButtonDef { const char* name; int text; int result; };
    static const ButtonDef kButtons[4] = {
        {"OkButton", ZipMsg::PW_Ok, ResultOk},
        {"CancelButton", ZipMsg::PW_Cancel, ResultCancel},
        {"CancelAllButton", ZipMsg::PW_CancelAll, ResultCancelAll},
        {"AbortButton", ZipMsg::PW_Abort, ResultAbort},
    };
    for (int k = 0; k < n; ++k) {
        QPushButton* b = Controls::Button(this, kButtons[k].name, LoadZipStr(kButtons[k].text), 20 + 124 * k, 72 + boxRow, 114, 28);
        const int result = kButtons[k].result;
        connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
        Buttons[k] = b;
    }
    Buttons[0]->setDefault(true);
    PasswordEdit->setFocus();

    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

QString TPasswordDlg::Password() const
{
    return result() == ResultOk ? PasswordEdit->text() : QString();
}

int TPasswordDlg::Ask(Prompter& prompter, const QString& title, const QString& prompt, int buttons, QString& entry,
                      QWidget* parent, bool* aes)
{
    TPasswordDlg dlg(title, prompt, buttons, parent, aes != nullptr);
    if (aes)
        dlg.AesCheckBox->setChecked(*aes);
    int result = prompter.runDialog(dlg);
    if (result != ResultOk && result != ResultCancelAll && result != ResultAbort)
        result = ResultCancel;
    entry = result == ResultOk ? dlg.PasswordEdit->text() : QString();
    if (aes && result == ResultOk)
        *aes = dlg.AesCheckBox->isChecked();
    return result;
}
