#include "NationListModel.h"

#include "FormDesign.h"

#include <QFont>

NationListModel::NationListModel(NationRows& rows, QObject* parent)
    : QAbstractListModel(parent)
    , rows_(rows)
    , count_(rows.NationCount())
{
    rows_.SetObserver(this);
}

void NationListModel::NationsReplaced(std::size_t count)
{
    beginResetModel();
    count_ = count;
    endResetModel();
}

void NationListModel::TicksChanged(std::span<const std::size_t> rows)
{
    emit dataChanged(createIndex(static_cast<int>(rows.front()), 0), createIndex(static_cast<int>(rows.back()), 0),
                     {Qt::CheckStateRole, Qt::FontRole, Qt::AccessibleDescriptionRole});
    emit ticksChanged(rows);
}

void NationListModel::TicksInFileChanged()
{
    if (count_ > 0)
        emit dataChanged(createIndex(0, 0), createIndex(static_cast<int>(count_) - 1, 0),
                         {Qt::FontRole, Qt::AccessibleDescriptionRole});
}

// A row the view knows of, and the rows still hold: while a load replaces
// them, the view may ask for rows of the last file.
bool NationListModel::IsRow(const QModelIndex& index) const
{
    const auto row = static_cast<std::size_t>(index.row());
    return index.isValid() && row < count_ && row < rows_.NationCount();
}

QModelIndex NationListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || parent.isValid() || row < 0 || static_cast<std::size_t>(row) >= count_)
        return {};
    return createIndex(row, 0);
}

int NationListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(count_);
}

QVariant NationListModel::data(const QModelIndex& index, int role) const
{
    if (!IsRow(index))
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
        return rows_.IsChanged(row) ? QString(form::CHANGED_DESCRIPTION) : QString();
    default:
        return {};
    }
}

bool NationListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!IsRow(index) || role != Qt::CheckStateRole)
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
