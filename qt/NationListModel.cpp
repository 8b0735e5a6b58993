#include "NationListModel.h"

#include <algorithm>

void NationListModel::Append(const std::string& text)
{
    entries_.push_back({text, false});
    if (!announcementQueued_) {
        announcementQueued_ = true;
        QMetaObject::invokeMethod(this, &NationListModel::AnnouncePending, Qt::QueuedConnection);
    }
}

void NationListModel::Clear()
{
    beginResetModel();
    entries_.clear();
    announced_ = 0;
    endResetModel();
}

void NationListModel::SetTicked(std::size_t index, bool ticked)
{
    Entry& entry = entries_.at(index);
    if (entry.ticked == ticked)
        return;
    entry.ticked = ticked;
    if (index < announced_) {
        const QModelIndex changed = createIndex(static_cast<int>(index), 0);
        emit dataChanged(changed, changed, {Qt::CheckStateRole, Qt::FontRole});
    }
}

void NationListModel::SetTicks(const std::vector<bool>& ticks)
{
    // The view hears of the changed rows it has been told of, in one range.
    std::size_t first = announced_;
    std::size_t last = 0;
    for (std::size_t i = 0; i < ticks.size() && i < entries_.size(); ++i) {
        if (entries_[i].ticked == ticks[i])
            continue;
        entries_[i].ticked = ticks[i];
        if (i < announced_) {
            first = std::min(first, i);
            last = i;
        }
    }
    if (first < announced_)
        emit dataChanged(createIndex(static_cast<int>(first), 0), createIndex(static_cast<int>(last), 0),
                         {Qt::CheckStateRole, Qt::FontRole});
}

void NationListModel::MarkTicksInFile(const std::vector<bool>& ticks)
{
    for (std::size_t i = 0; i < ticks.size() && i < entries_.size(); ++i)
        entries_[i].inFile = ticks[i];
    if (announced_ > 0)
        emit dataChanged(createIndex(0, 0), createIndex(static_cast<int>(announced_) - 1, 0), {Qt::FontRole});
}

void NationListModel::AnnouncePending()
{
    announcementQueued_ = false;
    if (announced_ == entries_.size())
        return;
    if (announced_ == 0) {
        beginResetModel();
        announced_ = entries_.size();
        endResetModel();
        return;
    }
    beginInsertRows({}, static_cast<int>(announced_), static_cast<int>(entries_.size() - 1));
    announced_ = entries_.size();
    endInsertRows();
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
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= announced_)
        return {};
    const Entry& entry = entries_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(entry.text);
    case Qt::CheckStateRole:
        return entry.ticked ? Qt::Checked : Qt::Unchecked;
    case Qt::FontRole: {
        if (entry.ticked == entry.inFile)
            return {};
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    default:
        return {};
    }
}

bool NationListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole
        || static_cast<std::size_t>(index.row()) >= announced_)
        return false;
    SetTicked(static_cast<std::size_t>(index.row()), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags NationListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}
