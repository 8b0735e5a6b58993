#pragma once

#include "NationRows.h"

#include <QAbstractListModel>

// The nation list's rows as Qt's views see them. Rows added one at a time
// are announced to the view in one batch when control returns to the event
// loop: announcing 32,767 single rows would cost the view far more than
// filling the list does.
class NationListModel : public QAbstractListModel, private NationRows::Observer {
    Q_OBJECT

public:
    // Shows `rows`, which must outlive the model or be given another
    // observer first.
    NationListModel(NationRows& rows, QObject* parent);

    // Shows the view every row added so far.
    void AnnouncePending();

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
    void NationsCleared() override;
    void NationAdded() override;
    void TicksChanged(std::span<const std::size_t> rows) override;
    void TicksInFileChanged() override;
    bool Announced(const QModelIndex& index) const;

    NationRows& rows_;
    std::size_t announced_ = 0;
    bool announcementQueued_ = false;
};
