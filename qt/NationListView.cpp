#include "NationListView.h"

#include "NationListAccessible.h"
#include "NationListModel.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <chrono>
#include <optional>

namespace {

// Each row as wide as the list, as in a list box: a long name is cut short
// at the list's edge, not given a horizontal scroll bar.
class RowDelegate : public QStyledItemDelegate {
public:
    explicit RowDelegate(QListView* view)
        : QStyledItemDelegate(view)
        , view_(view)
    {
    }

    // As wide as the list beside a vertical scroll bar, whether one shows or
    // not: a width that changed with the scroll bar would lay 32,767 rows
    // out a second time at every load.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QScrollBar* bar = view_->verticalScrollBar();
        const int width = view_->viewport()->width()
            - (bar->isVisible() ? 0 : view_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, bar));
        // A line of the list's font and a little more: the tick boxes clear of each
        // other.
        return {width, std::max(NaturalSize(option, index).height(), view_->fontMetrics().height() + 4)};
    }

    QSize NaturalSize(const QStyleOptionViewItem& option, const QModelIndex& index) const
    {
        return QStyledItemDelegate::sizeHint(option, index);
    }

private:
    QListView* view_;
};

} // namespace

NationListView::NationListView(NationRows& rows, QWidget* parent)
    : QListView(parent)
    , rows_(rows)
    , find_(std::chrono::milliseconds(QApplication::keyboardInputInterval()))
{
    static const bool readAsTickBoxes = (QAccessible::installFactory(NationListAccessible::Factory), true);
    Q_UNUSED(readAsTickBoxes);
    auto* model = new NationListModel(rows, this);
    setModel(model);
    // Rows of one height are laid out without visiting each of 32,767.
    setUniformItemSizes(true);
    setItemDelegate(new RowDelegate(this));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrap(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(model, &QAbstractItemModel::modelReset, this, &NationListView::Reset);
    connect(model, &NationListModel::ticksChanged, this, &NationListView::AnnounceTicks);
}

// Each newly loaded list starts at its top, not where the last one was; a
// list that has the keyboard meanwhile has a current row, the first, for
// Space to tick. A screen reader hears the ticks of the rows in view.
void NationListView::Reset()
{
    scrollToTop();
    if (hasFocus() && model()->rowCount() > 0)
        selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
    if (QAccessible::isActive())
        QTimer::singleShot(0, this, &NationListView::AnnounceRowsInView);
}

// Qt's views tell a screen reader that rows changed, not that a tick did:
// without the state's change nothing is spoken. The rows out of view are
// read as they come into it; 32,767 announcements at once would only hold
// up the reader.
void NationListView::AnnounceTicks(std::span<const std::size_t> rows)
{
    if (!QAccessible::isActive())
        return;
    const auto [first, last] = RowsInView();
    for (auto row = std::lower_bound(rows.begin(), rows.end(), first); row != rows.end() && *row < last; ++row)
        AnnounceTick(*row);
}

void NationListView::AnnounceRowsInView()
{
    const auto [first, last] = RowsInView();
    for (std::size_t row = first; row < last; ++row)
        AnnounceTick(row);
}

// The first row in view, and the one after the last.
std::pair<std::size_t, std::size_t> NationListView::RowsInView() const
{
    const int count = model()->rowCount();
    const QModelIndex top = indexAt(QPoint(0, 0));
    const QModelIndex bottom = indexAt(QPoint(0, viewport()->height() - 1));
    return {static_cast<std::size_t>(top.isValid() ? top.row() : 0),
            static_cast<std::size_t>(bottom.isValid() ? bottom.row() + 1 : count)};
}

void NationListView::AnnounceTick(std::size_t row)
{
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(this);
    QAccessibleInterface* item = list != nullptr ? list->child(static_cast<int>(row)) : nullptr;
    if (item == nullptr)
        return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(item, changed);
    QAccessible::updateAccessibility(&event);
}

// Qt tells a screen reader that the list has the keyboard, and of its
// current row only when the row changes: a user who tabs in would hear
// "Nations" and not which nation Space would tick. The row is told after
// the list, so that it is what is heard last.
void NationListView::focusInEvent(QFocusEvent* event)
{
    QListView::focusInEvent(event);
    if (QAccessible::isActive())
        QTimer::singleShot(0, this, &NationListView::AnnounceCurrentRow);
}

void NationListView::AnnounceCurrentRow()
{
    const QModelIndex current = currentIndex();
    if (!hasFocus() || !current.isValid())
        return;
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(current.row());
    QAccessible::updateAccessibility(&event);
}

void NationListView::keyboardSearch(const QString& search)
{
    const QModelIndex current = currentIndex();
    const std::optional<std::size_t> found = find_.Key(
        rows_, search.toStdString(), current.isValid() ? std::optional<std::size_t>(current.row()) : std::nullopt);
    const QModelIndex index = found ? model()->index(static_cast<int>(*found), 0) : QModelIndex();
    // No name starts so: a beep, as the platform's own lists give.
    if (!index.isValid()) {
        QApplication::beep();
        return;
    }
    // The row already current stays as it is shown: Space ticked it.
    if (index != current)
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

// Space goes to the typed keys, which tick with it or add it to a name being
// typed; the view's own Space would tick in either case.
void NationListView::keyPressEvent(QKeyEvent* event)
{
    // Shift+F10 opens the context menu, as the Menu key does.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        const QRect current = visualRect(currentIndex());
        emit customContextMenuRequested(current.isValid() ? current.center() : QPoint(0, 0));
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        keyboardSearch(event->text());
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

// The view takes a quick second click as a double-click, which toggles
// nothing; on this list each click on a tick box toggles it.
void NationListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QMouseEvent press(QEvent::MouseButtonPress, event->position(), event->scenePosition(), event->globalPosition(),
                      event->button(), event->buttons(), event->modifiers(), event->pointingDevice());
    mousePressEvent(&press);
}

// A name cut short by the list's width can be read whole in a tooltip.
bool NationListView::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QListView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    if (index.isValid() && IsCutShort(index))
        QToolTip::showText(help->globalPos(), index.data().toString(), viewport(), visualRect(index));
    else
        QToolTip::hideText();
    return true;
}

bool NationListView::IsCutShort(const QModelIndex& index) const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return static_cast<const RowDelegate*>(itemDelegate())->NaturalSize(option, index).width() > option.rect.width();
}
