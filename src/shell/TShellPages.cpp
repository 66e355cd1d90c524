#include "shell/TShellPages.h"

#include "platform/Prompter.h"
#include "settings/Settings.h"
#include "settings/TPropertiesForm.h"
#include "shell/DesktopEntry.h"
#include "shell/MimeApps.h"
#include "shell/TStartmenuForm.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace {
constexpr int kOpenerTextLimit = 255;
}

TShellPages::TShellPages(TPropertiesForm& form, Settings& settings, std::function<bool()> save, Prompter& prompter,
                         const QString& programPath)
    : QObject(&form), form_(form), save_(std::move(save)), prompter_(prompter), programPath_(programPath)
{
    const QStringList& types = ExtensionMimeTypes();
    rows_ = {{form.DZipCheckBox, form.DefaultZipProgramLabel, &settings.PreviousZip, types[0]},
             {form.DGZCheckbox, form.DefaultGZProgramLabel, &settings.PreviousGz, types[1]},
             {form.DTARCheckBox, form.DefaultTARProgramLabel, &settings.PreviousTar, types[2]},
             {form.DTGZCheckBox, form.DefaultTGZProgramLabel, &settings.PreviousTgz, types[3]},
             {form.DRARCheckBox, form.DefaultRARProgramLabel, &settings.PreviousRar, types[4]}};
    FillLabels();
    connect(form.setQuarnDefaultButton, &QPushButton::clicked, this, &TShellPages::setQuarnDefaultButtonClick);
    connect(form.RestorePreviousZipDefaultButton, &QPushButton::clicked, this,
            &TShellPages::RestorePreviousZipDefaultButtonClick);
    connect(form.StartUpButton, &QPushButton::clicked, this, &TShellPages::StartUpButtonClick);
}

const QStringList& TShellPages::ExtensionMimeTypes()
{
    static const QStringList types{QStringLiteral("application/zip"), QStringLiteral("application/gzip"),
                                   QStringLiteral("application/x-tar"), QStringLiteral("application/x-compressed-tar"),
                                   QStringLiteral("application/vnd.rar")};
    return types;
}

QString TShellPages::CurrentOpenerText(const QString& mimeType)
{
    const QString id = MimeApps::QueryDefault(mimeType);
    if (id.isEmpty())
        return QStringLiteral("None");
    const QString name = DesktopEntry::Value(DesktopEntry::FindFile(id), QStringLiteral("Name"));
    return name.isEmpty() ? id : name;
}

void TShellPages::FillLabels()
{
    for (const Row& r : rows_)
        r.label->setText(CurrentOpenerText(r.mimeType));
}

void TShellPages::setQuarnDefaultButtonClick()
{
    bool any = false;
    for (const Row& r : rows_)
        any = any || r.box->isChecked();
    if (!any)
        return;
    const QString own = QString::fromLatin1(DesktopEntry::OwnId);
    const QString ownName = QString::fromLatin1(DesktopEntry::OwnName);
    for (const Row& r : rows_) {
        // A type Quarn already opens keeps the opener it had before Quarn.
        if (!r.box->isChecked() || r.label->text() == ownName)
            continue;
        // The program's own entry, named only as the desktop's last resort, is no opener to give back.
        const QString current = MimeApps::QueryDefault(r.mimeType);
        r.previous->ClassName = current == own ? QString() : current.left(kOpenerTextLimit);
        if (!r.previous->ClassName.isEmpty()) {
            const QString file = DesktopEntry::FindFile(r.previous->ClassName);
            if (!file.isEmpty())
                r.previous->Description = DesktopEntry::Value(file, QStringLiteral("Name")).left(kOpenerTextLimit);
        }
        if (MimeApps::SetDefault(r.mimeType, own))
            r.label->setText(ownName);
    }
    save_();
}

void TShellPages::RestorePreviousZipDefaultButtonClick()
{
    for (const Row& r : rows_) {
        if (!r.box->isChecked() || r.previous->ClassName.isEmpty())
            continue;
        if (MimeApps::SetDefault(r.mimeType, r.previous->ClassName))
            r.label->setText(r.previous->Description.isEmpty() ? r.previous->ClassName : r.previous->Description);
        *r.previous = TPreviousOpener{};
    }
    save_();
}

void TShellPages::StartUpButtonClick()
{
    TStartmenuForm links(programPath_, prompter_, &form_);
    prompter_.runDialog(links);
}
