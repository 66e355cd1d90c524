#pragma once
// Small builders for the window's controls: each control gets its objectName
// and caption in one call, at a fixed position in its parent.

#include <QString>
#include <QStringList>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStandardItemModel;
class QStatusBar;
class QTreeView;
class QWidget;

namespace Controls {

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, int x, int y, int w = 75, int h = 25);
QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h = 21);
QLabel* Label(QWidget* parent, const char* name, const QString& caption, int x, int y, int w = -1, int h = 17);
// Read-only edit field showing `text`.
QLineEdit* ReadOnlyEdit(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h = 22);
QLineEdit* Edit(QWidget* parent, const char* name, int x, int y, int w, int h = 22);
QFrame* Panel(QWidget* parent, const char* name, int x, int y, int w, int h);
QStatusBar* StatusBar(QWidget* parent, const char* name, int x, int y, int w, int h = 22);
QProgressBar* ProgressBar(QWidget* parent, const char* name, int x, int y, int w, int h = 16);
// An item added to `menu` with its objectName and caption.
QAction* MenuItem(QMenu* menu, const char* name, const QString& caption);

// A report-style list: whole-row, multi-selection, read-only, no tree
// decoration, columns with the given captions and widths, filled through a
// QStandardItemModel (returned in `model`).
QTreeView* ReportView(QWidget* parent, const char* name, const QStringList& columns, const QList<int>& widths,
                      QStandardItemModel** model);

// Moves `w` to `top` and makes it `width` wide; its left edge and height stay.
void PlaceAt(QWidget* w, int top, int width);

// Draws a line along the right and bottom edge of every cell of `view`.
void ShowGridLines(QTreeView* view);

// Rows of a report view's model (0 when it has none).
int RowCount(const QTreeView* view);

// Removes the rows of `model` (shown in `view`) whose flag in `marked` is set,
// one run of neighbouring rows at a time, with the view's updates off.
void RemoveMarkedRows(QTreeView* view, QStandardItemModel* model, const std::vector<bool>& marked);

} // namespace Controls
