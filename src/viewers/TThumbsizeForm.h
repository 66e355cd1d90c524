#pragma once
// "Choose Thumbnail Size": a spin field from 16 to 256. The dialog's result
// is the chosen size ("OK") or -1 ("Cancel").

#include <QDialog>

class QPushButton;
class QSpinBox;

class TThumbsizeForm : public QDialog {
    Q_OBJECT
public:
    TThumbsizeForm(int current, QWidget* parent = nullptr);

    QSpinBox* SpinEdit1;
    QPushButton* OKButton;
    QPushButton* CancelButton;

    static constexpr int Cancelled = -1;

protected:
    void reject() override { done(Cancelled); }
};
