#include "app/TSettingsKeeper.h"

#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/Settings.h"

#include <QDir>
#include <QTemporaryFile>

void TSettingsKeeper::Load(const QString& folder)
{
    folder_ = folder;
    settings_.ApplyDefaults();
    settings_.ClearTexts();
    bool readError = false;
    const bool found = SettingsFile::Load(folder, settings_, &readError);
    if (readError) {
        // A file we cannot read is not replaced by defaults: the user keeps it.
        readOnly_ = true;
        settings_.AddOptionsEditable = true;
        ReportNotSaved();
        return;
    }
    if (!found) {
        QDir().mkpath(folder);
        if (!SettingsFile::WriteDefaults(folder, settings_))
            ReportNotSaved();
        settings_.AddOptionsEditable = true;
        return;
    }
    // Found and read: tell the user now if the close sequence could not save it.
    QTemporaryFile probe(Platform::JoinPath(folder, QStringLiteral(".config-XXXXXX")));
    if (!probe.open())
        ReportNotSaved();
}

bool TSettingsKeeper::Save()
{
    if (readOnly_) {
        ReportNotSaved();
        return false;
    }
    QDir().mkpath(folder_);
    const bool ok = SettingsFile::Save(folder_, settings_);
    if (!ok)
        ReportNotSaved();
    return ok;
}

void TSettingsKeeper::ReportNotSaved()
{
    if (warned_)
        return;
    warned_ = true;
    prompter_.warning(QStringLiteral("THE SETTINGS CANNOT BE SAVED IN THE FOLDER\r") + QDir::toNativeSeparators(folder_) +
                      QStringLiteral("\rTHE PROGRAM WORKS AS USUAL, BUT CHANGES TO THE OPTIONS WILL BE LOST WHEN IT CLOSES."));
}
