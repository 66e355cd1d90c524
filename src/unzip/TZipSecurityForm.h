#pragma once
// The warning shown before extracting highlighted zip entries whose folder
// climbs out of the destination ("..\"). Its result says what to do:
// DoNotUnzip (leave those entries out), Halt, or Ignore (extract them too).

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class TZipSecurityForm : public QDialog {
    Q_OBJECT
public:
    enum Result { DoNotUnzip = 128, Halt = -1, Ignore = 255 };

    explicit TZipSecurityForm(QWidget* parent = nullptr);

    // The ten lines of explanation above the list.
    static QStringList ExplanationLines();

    QPlainTextEdit* ExplanationText;
    // One line per suspicious entry.
    QPlainTextEdit* Memo;
    QPushButton* DoNotUnzipButton;  // "DO NOT UNZIP THE FILES"
    QPushButton* HaltButton;        // "HALT THE UNZIP PROCESS"
    QPushButton* IgnoreButton;      // "IGNORE"

    // Escape halts, the safe answer.
    void reject() override;
};
