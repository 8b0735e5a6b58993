#pragma once

#include "NationRows.h"
#include "TypeToFind.h"

#include <QListView>

#include <span>
#include <utility>

// The nation list on Linux: a list of tick boxes, one a nation, read by a
// screen reader as such, each change of a tick announced to it.
class NationListView : public QListView {
    Q_OBJECT

public:
    NationListView(NationRows& rows, QWidget* parent);

    void keyboardSearch(const QString& search) override;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void Reset();
    void AnnounceTicks(std::span<const std::size_t> rows);
    void AnnounceRowsInView();
    void AnnounceTick(std::size_t row);
    void AnnounceCurrentRow();
    std::pair<std::size_t, std::size_t> RowsInView() const;
    bool IsCutShort(const QModelIndex& index) const;

    NationRows& rows_;
    TypeToFind find_;
};
