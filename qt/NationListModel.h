#pragma once

#include "NationRows.h"

#include <QAbstractListModel>

// The nation list's rows as Qt's views see them.
class NationListModel : public QAbstractListModel, private NationRows::Observer {
    Q_OBJECT

public:
    // Shows `rows`, which must outlive the model or be given another
    // observer first.
    NationListModel(NationRows& rows, QObject* parent);

    // The view asks for an index of every row at each layout; the default
    // asks rowCount() and columnCount() again for each.
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The ticks of these rows changed, in ascending order: the view tells a
    // screen reader.
    void ticksChanged(std::span<const std::size_t> rows);

private:
    void NationsReplaced(std::size_t count) override;
    void TicksChanged(std::span<const std::size_t> rows) override;
    void TicksInFileChanged() override;
    bool IsRow(const QModelIndex& index) const;

    NationRows& rows_;
    // The rows the view knows of: until the model is reset, the last
    // file's count, whatever the rows hold meanwhile.
    std::size_t count_ = 0;
};
