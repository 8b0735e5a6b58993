#include "NationListModel.h"

#include <QFont>

#include <algorithm>

NationListModel::NationListModel(NationRows& rows, QObject* parent)
    : QAbstractListModel(parent)
    , rows_(rows)
{
    rows_.SetObserver(this);
}

void NationListModel::NationsCleared()
{
    beginResetModel();
    announced_ = 0;
    endResetModel();
}

void NationListModel::NationAdded()
{
    if (!announcementQueued_) {
        announcementQueued_ = true;
        QMetaObject::invokeMethod(this, &NationListModel::AnnouncePending, Qt::QueuedConnection);
    }
}

void NationListModel::TicksChanged(std::span<const std::size_t> rows)
{
    // The view hears of the changed rows it has been told of, in one range.
    const auto known = rows.first(static_cast<std::size_t>(
        std::lower_bound(rows.begin(), rows.end(), announced_) - rows.begin()));
    if (known.empty())
        return;
    emit dataChanged(createIndex(static_cast<int>(known.front()), 0), createIndex(static_cast<int>(known.back()), 0),
                     {Qt::CheckStateRole, Qt::FontRole, Qt::AccessibleDescriptionRole});
    emit ticksChanged(known);
}

void NationListModel::TicksInFileChanged()
{
    if (announced_ > 0)
        emit dataChanged(createIndex(0, 0), createIndex(static_cast<int>(announced_) - 1, 0),
                     {Qt::FontRole, Qt::AccessibleDescriptionRole});
}

void NationListModel::AnnouncePending()
{
    announcementQueued_ = false;
    const std::size_t count = rows_.NationCount();
    if (announced_ == count)
        return;
    if (announced_ == 0) {
        beginResetModel();
        announced_ = count;
        endResetModel();
        return;
    }
    beginInsertRows({}, static_cast<int>(announced_), static_cast<int>(count - 1));
    announced_ = count;
    endInsertRows();
}

bool NationListModel::Announced(const QModelIndex& index) const
{
    return index.isValid() && static_cast<std::size_t>(index.row()) < announced_;
}

QModelIndex NationListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || parent.isValid() || row < 0 || static_cast<std::size_t>(row) >= announced_)
        return {};
    return createIndex(row, 0);
}

int NationListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(announced_);
}

QVariant NationListModel::data(const QModelIndex& index, int role) const
{
    if (!Announced(index))
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    switch (role) {
    case Qt::DisplayRole:
        // UTF-8 as the file library gives it: only the rows shown are
        // converted, not all 32,767 at every load.
        return QString::fromStdString(rows_.Name(row));
    case Qt::CheckStateRole:
        return rows_.IsNationTicked(row) ? Qt::Checked : Qt::Unchecked;
    case Qt::FontRole: {
        if (!rows_.IsChanged(row))
            return {};
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    // What the bold face shows, for a screen reader.
    case Qt::AccessibleDescriptionRole:
        return rows_.IsChanged(row) ? QString("changed, not yet patched") : QString();
    default:
        return {};
    }
}

bool NationListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!Announced(index) || role != Qt::CheckStateRole)
        return false;
    rows_.SetNationTicked(static_cast<std::size_t>(index.row()), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags NationListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}
