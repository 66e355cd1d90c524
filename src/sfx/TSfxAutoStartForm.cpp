#include "sfx/TSfxAutoStartForm.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TSfxAutoStartForm::TSfxAutoStartForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SfxAutoStartForm"));
    setWindowTitle(QStringLiteral("Select File to Auto Start when Zip File Extraction is Complete..."));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    resize(480, 360);
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(QStringLiteral("Highlight the File you wish to Auto Start and Press OK"), this);
    prompt->setObjectName(QStringLiteral("AutoStartPrompt"));
    layout->addWidget(prompt);
    AutoStartListView = new QTreeWidget(this);
    AutoStartListView->setObjectName(QStringLiteral("AutoStartListView"));
    AutoStartListView->setHeaderLabels({QStringLiteral("Filename"), QStringLiteral("Path")});
    AutoStartListView->setRootIsDecorated(false);
    AutoStartListView->setSelectionMode(QAbstractItemView::SingleSelection);
    AutoStartListView->header()->setStretchLastSection(true);
    layout->addWidget(AutoStartListView);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setEnabled(false);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);

    connect(AutoStartListView, &QTreeWidget::itemSelectionChanged, this,
            [this] { OkButton->setEnabled(!AutoStartListView->selectedItems().isEmpty()); });
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TSfxAutoStartForm::AddEntry(const QString& fileName, const QString& folder)
{
    new QTreeWidgetItem(AutoStartListView, {fileName, folder});
}

QString TSfxAutoStartForm::Choice() const
{
    const QList<QTreeWidgetItem*> rows = AutoStartListView->selectedItems();
    if (rows.isEmpty())
        return QString();
    const QString folder = rows.first()->text(1);
    const QString name = rows.first()->text(0);
    // A file at the archive's root keeps its bare name.
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('\\')))
        return folder + name;
    return folder + QLatin1Char('\\') + name;
}
