// The unzip page's selection (Select All, UnSelect All, clicks) and its
// display filter with the filtered view.

#include "unzip/FileIcons.h"
#include "unzip/TUnzipFileTypeform.h"
#include "unzip/TUnzipPage.h"
#include "unzip/UnzipListing.h"

#include "platform/MainHost.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>

using UnzipListing::Extension;

// ---------------------------------------------------------------- helpers

QSet<int> TUnzipPage::SelectedEntryIndices(int role) const
{
    QSet<int> wanted;
    const QList<bool> selected = SelectionFlags(UnzipListView);
    for (int r = 0; r < RowCount(); ++r) {
        const QVariant index = UnzipListModel->item(r, 0)->data(role);
        if (selected[r] && index.isValid())
            wanted.insert(index.toInt());
    }
    return wanted;
}

QList<bool> TUnzipPage::SelectionFlags(const QTreeView* view)
{
    QList<bool> flags(view->model()->rowCount(), false);
    for (const QItemSelectionRange& range : view->selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom() && r < flags.size(); ++r)
            flags[r] = true;
    return flags;
}

void TUnzipPage::SelectRows(QTreeView* view, const QList<int>& rows)
{
    QAbstractItemModel* m = view->model();
    const int lastCol = m->columnCount() - 1;
    QItemSelection sel;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        sel.select(m->index(rows[i], 0), m->index(rows[j], lastCol));
        i = j + 1;
    }
    view->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
}

QList<int> TUnzipPage::FilteredSelectionInFullList() const
{
    QList<int> rows;
    const QList<bool> flags = SelectionFlags(UnzipFilteredListView);
    for (int r = 0; r < flags.size(); ++r) {
        if (!flags[r])
            continue;
        const QVariant index = UnzipFilteredListModel->item(r, 0)->data(FullRowRole);
        if (index.isValid() && index.toInt() >= 0 && index.toInt() < RowCount())
            rows << index.toInt();
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void TUnzipPage::UnzipFilteredListviewClear()
{
    if (UnzipFilteredListModel->rowCount() > 0)
        UnzipFilteredListModel->removeRows(0, UnzipFilteredListModel->rowCount());
}

// ---------------------------------------------------------------- Select All, UnSelect All

void TUnzipPage::UnzipLVSelect(bool on)
{
    if (RowCount() == 0)
        return;
    host_.DisableAll();
    {
        Platform::BusyCursor busy;
        if (on)
            UnzipListView->selectAll();
        else
            UnzipListView->clearSelection();
    }
    host_.EnableAll();
    UnzipButton->setEnabled(on);
    FocusVisibleList();
}

void TUnzipPage::SelectAllButtonClick()
{
    if (!FilteredViewShowing()) {
        UnzipLVSelect(true);
        return;
    }
    UnzipListView->clearSelection();
    UnzipFilteredListView->selectAll();
    SelectRows(UnzipListView, FilteredSelectionInFullList());
    UnzipFilteredListView->setFocus();
    UnzipButton->setEnabled(true);
}

void TUnzipPage::UnSelectAllButtonClick()
{
    host_.DisableAll();
    {
        Platform::BusyCursor busy;
        UnzipListView->clearSelection();
        UnzipFilteredListView->clearSelection();
    }
    host_.EnableAll();
    UnzipButton->setEnabled(false);
    FocusVisibleList();
}

void TUnzipPage::SetFilteredSelect()
{
    if (!UnzipFilteredListView->selectionModel()->hasSelection())
        return;
    Platform::BusyCursor busy;
    SelectRows(UnzipListView, FilteredSelectionInFullList());
    UnzipButton->setEnabled(UnzipListView->selectionModel()->hasSelection());
}

// ---------------------------------------------------------------- mouse

bool TUnzipPage::eventFilter(QObject* watched, QEvent* event)
{
    const bool full = watched == UnzipListView->viewport();
    const bool filtered = watched == UnzipFilteredListView->viewport();
    const bool press = event->type() == QEvent::MouseButtonPress;
    if ((full || filtered) && !forwarding_ && (press || event->type() == QEvent::MouseButtonRelease)) {
        // The list handles the click first; the page's rules look at the
        // selection it leaves.
        const auto* me = static_cast<QMouseEvent*>(event);
        const Qt::MouseButton button = me->button();
        const Qt::KeyboardModifiers mods = me->modifiers();
        forwarding_ = true;
        QCoreApplication::sendEvent(watched, event);
        forwarding_ = false;
        if (press && full)
            UnzipListViewMouseDown(button, mods);
        else if (press)
            UnzipFilteredListViewMouseDown(button, mods);
        else if (full)
            UnzipListViewMouseUp();
        else
            UnzipFilteredListViewMouseUp();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

namespace {
bool PlainLeft(Qt::MouseButton button, Qt::KeyboardModifiers mods)
{
    return button == Qt::LeftButton && !(mods & (Qt::ShiftModifier | Qt::ControlModifier));
}
} // namespace

void TUnzipPage::UnzipListViewMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods)
{
    if (!PlainLeft(button, mods))
        return;
    const QModelIndex current = UnzipListView->currentIndex();
    if (!current.isValid() || !UnzipListView->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        return;
    if (LaunchEntry)
        LaunchEntry(current.row());
}

void TUnzipPage::UnzipFilteredListViewMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods)
{
    if (!PlainLeft(button, mods))
        return;
    const QModelIndex current = UnzipFilteredListView->currentIndex();
    if (!current.isValid() || !UnzipFilteredListView->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        return;
    const QVariant index = UnzipFilteredListModel->item(current.row(), 0)->data(FullRowRole);
    if (!index.isValid() || index.toInt() < 0 || index.toInt() >= RowCount())
        return;
    const int fullRow = index.toInt();
    if (UnzipListView->selectionModel()->hasSelection())
        UnzipListView->clearSelection();
    SelectRows(UnzipListView, {fullRow});
    if (LaunchEntry)
        LaunchEntry(fullRow);
}

void TUnzipPage::UnzipListViewMouseUp()
{
    UnzipButton->setEnabled(UnzipListView->selectionModel()->hasSelection());
}

void TUnzipPage::UnzipFilteredListViewMouseUp()
{
    UnzipButton->setEnabled(UnzipFilteredListView->selectionModel()->hasSelection());
}

// ---------------------------------------------------------------- filter

TUnzipPage::PatternTest::PatternTest(const QString& pattern, bool wholeWord, bool caseSensitive)
    : pattern_(pattern), wholeWord_(wholeWord), cs_(caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive)
{
    if (!pattern.contains(QLatin1Char('*')) && !pattern.contains(QLatin1Char('?')))
        return;
    const auto conversion = wholeWord ? QRegularExpression::DefaultWildcardConversion
                                      : QRegularExpression::UnanchoredWildcardConversion;
    wildcard_.setPattern(QRegularExpression::wildcardToRegularExpression(pattern, conversion));
    wildcard_.setPatternOptions(caseSensitive ? QRegularExpression::NoPatternOption
                                              : QRegularExpression::CaseInsensitiveOption);
}

bool TUnzipPage::PatternTest::operator()(const QString& caption) const
{
    if (!wildcard_.pattern().isEmpty())
        return wildcard_.isValid() && wildcard_.match(caption).hasMatch();
    return wholeWord_ ? caption.startsWith(pattern_, cs_) : caption.contains(pattern_, cs_);
}

void TUnzipPage::SelectButtonClick()
{
    TUnzipFileTypeform form(window());
    {
        // 1
        Platform::BusyCursor busy;
        QStringList unknown;
        for (int r = 0; r < RowCount(); ++r) {
            const QStandardItem* item = UnzipListModel->item(r, 0);
            if (item->data(ImageIndexRole).toInt() != 1)
                continue;
            const QString ext = Extension(item->text()).toLower();
            if (!ext.isEmpty() && !unknown.contains(ext))
                unknown << ext;
        }
        // 2
        const QList<QIcon>& images = state_.SmallImages.Images;
        for (qsizetype i = 0; i < state_.IconCache.size(); ++i) {
            const QString& ext = state_.IconCache[i];
            if (ext == QLatin1String("*"))
                continue;
            const QString description = FileIcons::TypeDescription(ext);
            const QString caption = description.isEmpty() ? ext : ext + QStringLiteral("   ") + description;
            form.AddTypeRow(caption, i + 4 < images.size() ? images[i + 4] : QIcon());
        }
        for (const QString& ext : unknown)
            form.AddTypeRow(ext + QLatin1Char(' ') + ext.mid(1).toUpper() + QStringLiteral("File"),
                            images.size() > 1 ? images[1] : QIcon());
        if (form.TypeRowCount() == 0)
            form.FileTypeCheckBox->setEnabled(false);
    }
    // 3
    const int result = host_.prompter().runDialog(form);
    if (result == TUnzipFileTypeform::Accept) {
        FilterTypes = form.FilterTypes;
        FilterPattern = form.FilterPattern;
        const bool wholeWord = form.WholeWordCheckBox->isChecked();
        const bool caseSensitive = form.CaseCheckBox->isChecked();
        Platform::BusyCursor busy;
        // The passing rows are collected first: a filter that matches
        // nothing leaves the view as it was.
        QList<QList<QStandardItem*>> passing;
        const PatternTest patternPasses(FilterPattern, wholeWord, caseSensitive);
        const int columns = UnzipListModel->columnCount();
        for (int r = 0; r < RowCount(); ++r) {
            const QString caption = UnzipListModel->item(r, 0)->text();
            bool passes = false;
            if (!FilterTypes.isEmpty())
                passes = FilterTypes.contains(Extension(caption).toLower()) &&
                         (FilterPattern.isEmpty() || patternPasses(caption));
            else if (!FilterPattern.isEmpty())
                passes = patternPasses(caption);
            if (!passes)
                continue;
            QList<QStandardItem*> row;
            for (int c = 0; c < columns; ++c) {
                const QStandardItem* it = UnzipListModel->item(r, c);
                row << (it ? it->clone() : new QStandardItem);
            }
            row.first()->setData(r, FullRowRole);
            passing << row;
        }
        if (!passing.isEmpty()) {
            UnzipFilteredListviewClear();
            UnzipFilteredListView->setUpdatesEnabled(false);
            for (const QList<QStandardItem*>& row : passing)
                UnzipFilteredListModel->appendRow(row);
            UnzipFilteredListView->setUpdatesEnabled(true);
            if (settings_.SelectAllOnLoad)
                UnzipFilteredListView->selectAll();
            UnzipButton->setEnabled(settings_.SelectAllOnLoad);
            if (!FilteredViewShowing()) {
                UnzipListView->hide();
                UnzipListView->setEnabled(false);
                UnzipFilteredListView->show();
                UnzipFilteredListView->setEnabled(true);
                host_.MoveDropTarget(UnzipFilteredListView);
            }
            UnzipFilteredListView->setFocus();
        } else {
            host_.prompter().information(QStringLiteral("NO ITEMS WERE FOUND THAT MATCHED THE PARAMETERS YOU SPECIFIED."));
        }
    } else if (result == TUnzipFileTypeform::DisplayAll) {
        if (FilteredViewShowing()) {
            SetFilteredSelect();
            UnzipFilteredListviewClear();
            ShowFullList();
            host_.MoveDropTarget(UnzipListView);
            UnzipListView->setFocus();
            UnzipButton->setEnabled(UnzipListView->selectionModel()->hasSelection());
        }
    }
    FocusVisibleList();
}
