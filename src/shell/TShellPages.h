#pragma once
// The options dialog's "Default Program" and "Startup Links   ." pages: which
// program opens each archive type, making Quarn the opener (remembering the
// one before it) and giving that one back, and the links dialog.

#include <QObject>
#include <QString>
#include <functional>

class Prompter;
class QCheckBox;
class QLabel;
class TPropertiesForm;
struct Settings;
struct TPreviousOpener;

class TShellPages : public QObject {
    Q_OBJECT
public:
    // Fills the Default Program labels and connects both pages' buttons.
    // `save` writes the settings; `programPath` is the program the desktop
    // entry and the links start.
    TShellPages(TPropertiesForm& form, Settings& settings, std::function<bool()> save, Prompter& prompter,
                const QString& programPath);

    // The MIME type behind each of the five extensions, in the page's order
    // (.zip, .gz, .tar, .tgz, .rar).
    static const QStringList& ExtensionMimeTypes();
    // The Name of the default application for `mimeType`, or "None".
    static QString CurrentOpenerText(const QString& mimeType);

    void FillLabels();
    void setQuarnDefaultButtonClick();
    void RestorePreviousZipDefaultButtonClick();
    void StartUpButtonClick();

private:
    struct Row {
        QCheckBox* box;
        QLabel* label;
        TPreviousOpener* previous;
        QString mimeType;
    };
    QList<Row> rows_;
    TPropertiesForm& form_;
    std::function<bool()> save_;
    Prompter& prompter_;
    QString programPath_;
};
