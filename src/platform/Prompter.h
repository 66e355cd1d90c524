#pragma once
// Every message box, question and file or folder chooser the program shows goes
// through a Prompter. The window owns a QtPrompter; tests install a scripted one
// that records each text and answers from a queue.

#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QWidget;

enum class PromptButton : unsigned {
    None = 0,
    Ok = 1u << 0,
    Cancel = 1u << 1,
    Yes = 1u << 2,
    No = 1u << 3,
    YesToAll = 1u << 4,
    NoToAll = 1u << 5,
    Retry = 1u << 6,
    Abort = 1u << 7,
};

// A set of buttons, e.g. PromptButtons::YesNoCancel.
using PromptButtonSet = unsigned;
constexpr PromptButtonSet operator|(PromptButton a, PromptButton b) { return unsigned(a) | unsigned(b); }
constexpr PromptButtonSet operator|(PromptButtonSet a, PromptButton b) { return a | unsigned(b); }

namespace PromptButtons {
constexpr PromptButtonSet Ok = unsigned(PromptButton::Ok);
constexpr PromptButtonSet OkCancel = PromptButton::Ok | PromptButton::Cancel;
constexpr PromptButtonSet YesNo = PromptButton::Yes | PromptButton::No;
constexpr PromptButtonSet YesNoCancel = PromptButton::Yes | PromptButton::No | PromptButton::Cancel;
constexpr PromptButtonSet YesCancel = PromptButton::Yes | PromptButton::Cancel;
// The overwrite question: Yes, No, Yes to All, No to All (and Cancel when asked for).
constexpr PromptButtonSet YesNoAll = PromptButton::Yes | PromptButton::No | PromptButton::YesToAll | PromptButton::NoToAll;
constexpr PromptButtonSet AbortRetryIgnore = PromptButton::Abort | PromptButton::Retry | PromptButton::Cancel;
constexpr PromptButtonSet RetryCancel = PromptButton::Retry | PromptButton::Cancel;
} // namespace PromptButtons

enum class PromptKind { Information, Warning, Error, Question };

struct FileDialogRequest {
    QString title;
    QString startFolder;
    QString filter;       // Qt filter text, e.g. "Zip files (*.zip);;All files (*)"
    QString defaultName;  // save dialogs: the suggested file name
    // Save dialogs: the ending added to a name typed without one (without its
    // dot, e.g. "tar.gz"). The dialog's overwrite question then asks about the
    // name it returns.
    QString defaultSuffix;
    // Open dialogs: false shows links as themselves instead of their targets.
    bool followLinks = true;
    // Folder choosers: a name typed that does not exist yet is returned as
    // chosen (the caller creates it).
    bool allowNewFolder = false;
};

class Prompter {
public:
    virtual ~Prompter() = default;

    // Shows one message box and returns the button pressed. `text` is shown as
    // written; "\r" in it is a line break.
    virtual PromptButton message(PromptKind kind, const QString& text, PromptButtonSet buttons,
                                 const QString& title = QString()) = 0;

    // Choosers return an empty string (or list) when the user cancels.
    virtual QString openFile(const FileDialogRequest& request) = 0;
    virtual QStringList openFiles(const FileDialogRequest& request) = 0;
    virtual QString saveFile(const FileDialogRequest& request) = 0;
    virtual QString chooseFolder(const FileDialogRequest& request) = 0;

    // Runs one of the program's own modal dialogs and returns its result code
    // (QDialog::Accepted / Rejected or the dialog's own). Production code calls
    // exec(); a test drives the dialog instead.
    virtual int runDialog(QDialog& dialog) = 0;

    // Conveniences over message().
    PromptButton information(const QString& text, const QString& title = QString()) {
        return message(PromptKind::Information, text, PromptButtons::Ok, title);
    }
    PromptButton warning(const QString& text, const QString& title = QString()) {
        return message(PromptKind::Warning, text, PromptButtons::Ok, title);
    }
    PromptButton error(const QString& text, const QString& title = QString()) {
        return message(PromptKind::Error, text, PromptButtons::Ok, title);
    }
    PromptButton question(const QString& text, PromptButtonSet buttons = PromptButtons::YesNo,
                          const QString& title = QString()) {
        return message(PromptKind::Question, text, buttons, title);
    }
};

// The production prompter: QMessageBox and QFileDialog, parented to `parent`.
class QtPrompter : public Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    PromptButton message(PromptKind kind, const QString& text, PromptButtonSet buttons,
                         const QString& title = QString()) override;
    QString openFile(const FileDialogRequest& request) override;
    QStringList openFiles(const FileDialogRequest& request) override;
    QString saveFile(const FileDialogRequest& request) override;
    QString chooseFolder(const FileDialogRequest& request) override;
    int runDialog(QDialog& dialog) override;

private:
    QWidget* parent_;
};

// The text as a message box shows it: "\r" (alone or before "\n") becomes a line break.
QString displayText(const QString& text);
