#pragma once
// A main window on a scripted prompter, started with default settings in a
// data folder of its own. Page fixtures build on it.

#include "ScriptedPrompter.h"

#include "app/TForm1.h"
#include "settings/Settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

struct WindowFixture {
    ScriptedPrompter prompter;
    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<TForm1> form;

    // A new window started with `args` over a new, empty data folder. What
    // its start-up said is returned and cleared from the prompter.
    QStringList newWindow(const QStringList& args = {})
    {
        form.reset();
        prompter.clear();
        data = std::make_unique<QTemporaryDir>();
        qputenv("QUARN_DATA_DIR", QFile::encodeName(data->path()));
        form = std::make_unique<TForm1>(prompter, args);
        const QStringList said = prompter.texts();
        prompter.clear();
        return said;
    }
    // Shows the page at `index`; what showing it said is cleared.
    void showPage(int index)
    {
        if (!form->SelectPage(index))
            qFatal("cannot show page %d", index);
        prompter.clear();
    }
    // After a test: the window is closed, and every scripted answer was used.
    void closeWindow()
    {
        const bool used = prompter.allAnswersUsed();
        form.reset();
        QVERIFY2(used, "unused answers");
    }
    Settings& settings() { return form->settings(); }
};
