#pragma once

#include <QAbstractListModel>
#include <QFont>
#include <QString>

#include <string>
#include <vector>

// The nations of the list with their ticks. Entries added one at a time are
// announced to the view in one batch when control returns to the event loop:
// announcing 32,767 single rows would cost the view far more than filling
// the list does.
class NationListModel : public QAbstractListModel {
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    void Append(const std::string& text);
    void Clear();
    std::size_t Count() const { return entries_.size(); }
    void SetTicked(std::size_t index, bool ticked);
    // The first ticks.size() ticks at once, announced to the view as one
    // change.
    void SetTicks(const std::vector<bool>& ticks);
    bool IsTicked(std::size_t index) const { return entries_.at(index).ticked; }
    // The ticks the file holds: an entry whose tick differs shows in bold.
    void MarkTicksInFile(const std::vector<bool>& ticks);
    // Shows the view every entry added so far.
    void AnnouncePending();

    // The view asks for an index of every row at each layout; the default
    // asks rowCount() and columnCount() again for each.
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // UTF-8 as the file library gives it: the view converts only the rows
    // it shows, not all 32,767 at every load.
    struct Entry {
        std::string text;
        bool ticked = false;
        bool inFile = false;
    };
    std::vector<Entry> entries_;
    std::size_t announced_ = 0;
    bool announcementQueued_ = false;
};
