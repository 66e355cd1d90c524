#pragma once
// "Creating Thumbnails": the small window shown while the thumbnail thread
// runs. Its bar follows the thread's counters; "Stop" asks the thread to end
// after the file in hand.

#include <QDialog>

class QProgressBar;
class QPushButton;
class QTimer;
struct TThumbState;

class TThumbProgressForm : public QDialog {
    Q_OBJECT
public:
    TThumbProgressForm(TThumbState& state, QWidget* parent = nullptr);

    QProgressBar* ProgressBar1;
    QPushButton* StopButton;

    // Moves the bar to the thread's counters (also done by the form's own timer).
    void ShowProgress();
    void StopButtonClick();

protected:
    void reject() override {}  // Escape does not close it; "Stop" does the asking

private:
    TThumbState& state_;
    QTimer* poll_;
};
