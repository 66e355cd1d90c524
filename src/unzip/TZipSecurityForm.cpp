#include "unzip/TZipSecurityForm.h"

#include "platform/Controls.h"

#include <QPlainTextEdit>
#include <QPushButton>

TZipSecurityForm::TZipSecurityForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("ZipSecurityForm"));
    setWindowTitle(QStringLiteral("ZIP FILE SECURITY THREAT"));
    setFixedSize(540, 420);

    ExplanationText = new QPlainTextEdit(this);
    ExplanationText->setObjectName(QStringLiteral("ExplanationText"));
    ExplanationText->setReadOnly(true);
    ExplanationText->setGeometry(10, 10, 520, 180);
    ExplanationText->setPlainText(ExplanationLines().join(QLatin1Char('\n')));

    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setGeometry(10, 198, 520, 170);

    DoNotUnzipButton = Controls::Button(this, "DoNotUnzipButton", QStringLiteral("DO NOT UNZIP THE FILES"), 10, 380, 180, 28);
    HaltButton = Controls::Button(this, "HaltButton", QStringLiteral("HALT THE UNZIP PROCESS"), 200, 380, 180, 28);
    IgnoreButton = Controls::Button(this, "IgnoreButton", QStringLiteral("IGNORE"), 390, 380, 140, 28);
    connect(DoNotUnzipButton, &QPushButton::clicked, this, [this] { done(DoNotUnzip); });
    connect(HaltButton, &QPushButton::clicked, this, [this] { done(Halt); });
    connect(IgnoreButton, &QPushButton::clicked, this, [this] { done(Ignore); });
}

QStringList TZipSecurityForm::ExplanationLines()
{
    return {QStringLiteral("THERE IS A POSSIBLE SECURITY THREAT IN THIS ZIP FILE..."),
            QString(),
            QStringLiteral("Certain zip files can write files outside of the folder in which you have "),
            QStringLiteral("decided to  Unzip the Zip file.  "),
            QString(),
            QStringLiteral("You can choose to not Unzip these potentially dangerous files."),
            QString(),
            QStringLiteral("You can stop the Unzipping process for this zip file."),
            QString(),
            QStringLiteral("A list of the files which pose a potential security threat are listed below.")};
}

void TZipSecurityForm::reject()
{
    done(Halt);
}
