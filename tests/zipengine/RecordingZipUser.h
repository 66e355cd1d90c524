#pragma once
#include "zipengine/TZipEngineUser.h"

#include <QStringList>

// Records what the engine shows; questions and passwords answer Cancel.
class RecordingZipUser : public TZipEngineUser {
public:
    QStringList shown;
    void ShowMessage(const QString& text) override { shown << text; }
    PromptButton Ask(const QString& text, PromptButtonSet) override
    {
        shown << text;
        return PromptButton::Cancel;
    }
    int AskPassword(const QString&, const QString& prompt, int, QString&) override
    {
        shown << prompt;
        return 2;
    }
};
