#include "viewers/TOpenWithForm.h"

#include "platform/Controls.h"
#include "shell/DesktopEntry.h"

#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

TOpenWithForm::TOpenWithForm(const QString& file, const QList<ViewerProgram>& programs, QWidget* parent)
    : QDialog(parent), programs_(programs)
{
    setObjectName(QStringLiteral("OpenWithForm"));
    setWindowTitle(QStringLiteral("Open With"));
    setFixedSize(380, 360);
    Controls::Label(this, "Label1", QStringLiteral("Choose the program you want to use to open this file:"), 12, 10);
    FileLabel = Controls::Label(this, "FileLabel", QStringLiteral("File:  ") + QFileInfo(file).fileName(), 12, 32, 356);
    ProgramList = new QListWidget(this);
    ProgramList->setObjectName(QStringLiteral("ProgramList"));
    ProgramList->setGeometry(12, 56, 356, 200);
    for (const ViewerProgram& p : programs_) {
        const QString icon = p.entryFile.isEmpty() ? QString() : DesktopEntry::Value(p.entryFile, QStringLiteral("Icon"));
        auto* item = new QListWidgetItem(QIcon::fromTheme(icon), p.name, ProgramList);
        item->setToolTip(p.command.join(QLatin1Char(' ')));
    }
    Controls::Label(this, "Label2", QStringLiteral("Or type the command to run:"), 12, 264);
    CommandEdit = Controls::Edit(this, "CommandEdit", 12, 284, 356);
    OKButton = Controls::Button(this, "OKButton", QStringLiteral("OK"), 212, 322, 75, 28);
    CancelButton = Controls::Button(this, "CancelButton", QStringLiteral("Cancel"), 293, 322, 75, 28);
    OKButton->setDefault(true);
    if (!programs_.isEmpty())
        ProgramList->setCurrentRow(0);
    connect(ProgramList, &QListWidget::currentRowChanged, this, &TOpenWithForm::UpdateOkButton);
    connect(ProgramList, &QListWidget::itemDoubleClicked, this, [this] {
        if (!Choice().isEmpty())
            accept();
    });
    connect(CommandEdit, &QLineEdit::textChanged, this, &TOpenWithForm::UpdateOkButton);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    UpdateOkButton();
}

ViewerProgram TOpenWithForm::Choice() const
{
    if (!CommandEdit->text().trimmed().isEmpty())
        return ViewerProgram::FromCommand(CommandEdit->text());
    const int row = ProgramList->currentRow();
    return row >= 0 && row < programs_.size() ? programs_[row] : ViewerProgram();
}

void TOpenWithForm::UpdateOkButton()
{
    OKButton->setEnabled(!Choice().isEmpty());
}
