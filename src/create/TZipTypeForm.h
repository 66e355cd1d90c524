#pragma once
// The dialogs of the ZIP button: the archive type ("Select the File type to
// create...") and the segment size of a spanned zip.

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

class TZipTypeForm : public QDialog {
    Q_OBJECT
public:
    // `offerGz`: the list holds exactly one row, so a gz file can be made.
    explicit TZipTypeForm(bool offerGz, QWidget* parent = nullptr);

    QGroupBox* RadioGroup1;  // "Create the following file type ..."
    QList<QRadioButton*> Items;
    QCheckBox* CheckBox1;    // "Set this file type as the default and do not ask again"
    QPushButton* Button1;    // "OK"

    // The chosen position plus 1: 1 zip, 2 tar.gz, 3 tar, 4 gz.
    int ChosenType() const;
    bool SetAsDefault() const;
    // OK: ends the dialog with ChosenType() as its result.
    void Button1Click();

protected:
    // There is no close box: the dialog ends only through OK.
    void reject() override {}

private:
    QButtonGroup* group_;
};

class TSpanSizeForm : public QDialog {
    Q_OBJECT
public:
    explicit TSpanSizeForm(QWidget* parent = nullptr);

    QGroupBox* RadioGroup1;
    QList<QRadioButton*> Items;
    QSpinBox* CustomSizeEdit;  // 65536 to 2000000000
    QLabel* CustomLabel1;      // "Set Custom Size in bytes"
    QLabel* CustomLabel2;      // "Max size approx 2 billion "
    QPushButton* Button1;      // "ACCEPT"

    // The segment size of the chosen item.
    qint64 ChosenSize() const;
    void RadioGroup1Click();
    void Button1Click();

    static constexpr int CustomItem = 4;

protected:
    // No cancel: ACCEPT always gives a size.
    void reject() override {}

private:
    QButtonGroup* group_;
};
