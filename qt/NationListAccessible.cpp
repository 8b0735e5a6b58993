#include "NationListAccessible.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QWidget>

NationListAccessible::NationListAccessible(QAbstractItemView* view)
    : QAccessibleWidget(view, QAccessible::List)
{
}

NationListAccessible::~NationListAccessible()
{
    for (const auto& [row, id] : items_)
        QAccessible::deleteAccessibleInterface(id);
}

QAccessibleInterface* NationListAccessible::Factory(const QString& key, QObject* object)
{
    if (key == QLatin1String("NationListView"))
        return new NationListAccessible(static_cast<QAbstractItemView*>(object));
    return nullptr;
}

QAbstractItemView* NationListAccessible::View() const
{
    return static_cast<QAbstractItemView*>(widget());
}

int NationListAccessible::childCount() const
{
    return View()->model() != nullptr ? View()->model()->rowCount() : 0;
}

QAccessibleInterface* NationListAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    const auto found = items_.find(index);
    if (found != items_.end()) {
        QAccessibleInterface* item = QAccessible::accessibleInterface(found->second);
        if (item != nullptr && item->isValid() && static_cast<NationItemAccessible*>(item)->Row() == index)
            return item;
        // The rows were loaded anew since.
        QAccessible::deleteAccessibleInterface(found->second);
        items_.erase(found);
    }
    auto* item = new NationItemAccessible(View(), View()->model()->index(index, 0));
    items_.emplace(index, QAccessible::registerAccessibleInterface(item));
    return item;
}

int NationListAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (child == nullptr || child->role() != QAccessible::CheckBox || child->parent() != this)
        return -1;
    return static_cast<const NationItemAccessible*>(child)->Row();
}

QAccessibleInterface* NationListAccessible::childAt(int x, int y) const
{
    const QPoint at = View()->viewport()->mapFromGlobal(QPoint(x, y));
    const QModelIndex index = View()->indexAt(at);
    return index.isValid() ? child(index.row()) : nullptr;
}

QAccessibleInterface* NationListAccessible::focusChild() const
{
    const QModelIndex current = View()->currentIndex();
    return View()->hasFocus() && current.isValid() ? child(current.row()) : nullptr;
}

NationItemAccessible::NationItemAccessible(QAbstractItemView* view, const QModelIndex& index)
    : view_(view)
    , index_(index)
{
}

bool NationItemAccessible::isValid() const
{
    return view_ != nullptr && index_.isValid();
}

QWindow* NationItemAccessible::window() const
{
    return view_ != nullptr ? view_->window()->windowHandle() : nullptr;
}

QAccessibleInterface* NationItemAccessible::parent() const
{
    return QAccessible::queryAccessibleInterface(view_.data());
}

QString NationItemAccessible::text(QAccessible::Text t) const
{
    if (!isValid())
        return {};
    switch (t) {
    case QAccessible::Name:
        return index_.data(Qt::DisplayRole).toString();
    case QAccessible::Description:
        return index_.data(Qt::AccessibleDescriptionRole).toString();
    default:
        return {};
    }
}

QRect NationItemAccessible::rect() const
{
    if (!isValid())
        return {};
    const QRect inView = view_->visualRect(index_);
    return QRect(view_->viewport()->mapToGlobal(inView.topLeft()), inView.size());
}

QAccessible::State NationItemAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    state.checkable = true;
    state.checked = index_.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    state.focusable = true;
    state.selectable = true;
    state.focused = view_->hasFocus() && view_->currentIndex() == index_;
    state.selected = view_->selectionModel() != nullptr && view_->selectionModel()->isSelected(index_);
    state.invisible = !view_->viewport()->rect().intersects(view_->visualRect(index_));
    state.offscreen = state.invisible;
    return state;
}

void* NationItemAccessible::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
}

QStringList NationItemAccessible::actionNames() const
{
    return {toggleAction()};
}

// A screen reader's "toggle" ticks as a click on the tick box does.
void NationItemAccessible::doAction(const QString& name)
{
    if (name != toggleAction() || !isValid())
        return;
    const bool ticked = index_.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    view_->model()->setData(index_, ticked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}
