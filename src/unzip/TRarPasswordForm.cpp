#include "unzip/TRarPasswordForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TRarPasswordForm::TRarPasswordForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("RarPasswordForm"));
    setWindowTitle(QStringLiteral("Enter password"));
    setModal(true);
    auto* label = new QLabel(QStringLiteral("&Password:"), this);
    label->setObjectName(QStringLiteral("PasswordLabel"));
    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit->setEchoMode(QLineEdit::Password);
    label->setBuddy(PasswordEdit);
    OKButton = new QPushButton(QStringLiteral("&OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("&Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(PasswordEdit);
    layout->addLayout(buttons);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] {
        PasswordEdit->clear();
        reject();
    });
}

void TRarPasswordForm::OKButtonClick()
{
    if (!PasswordEdit->text().isEmpty())
        accept();
}

QString TRarPasswordForm::Password() const
{
    return result() == QDialog::Accepted ? PasswordEdit->text() : QString();
}
