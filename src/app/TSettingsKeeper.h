#pragma once
// The settings file of the data folder: loaded at start-up (defaults written
// when there is none), saved on demand and at close. A file that exists but
// cannot be read is never written over; a folder where nothing can be saved
// is reported once.

#include <QString>

class Prompter;
struct Settings;

class TSettingsKeeper {
public:
    TSettingsKeeper(Settings& settings, Prompter& prompter) : settings_(settings), prompter_(prompter) {}

    void Load(const QString& folder);
    bool Save();

private:
    void ReportNotSaved();

    Settings& settings_;
    Prompter& prompter_;
    QString folder_;
    bool warned_ = false;
    bool readOnly_ = false;
};
