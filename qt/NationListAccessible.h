#pragma once

#include <QAccessibleWidget>
#include <QPersistentModelIndex>
#include <QPointer>

#include <unordered_map>

class QAbstractItemView;

// The nation list as a screen reader reads it: a list named "Nations" whose
// items are tick boxes, each named by its nation, checked when ticked, and
// described as "changed, not yet patched" while it differs from the file.
// Qt reads a list's items as list items, whose checkable state its AT-SPI
// bridge does not pass on: an unticked nation would be read as plain text.
class NationListAccessible : public QAccessibleWidget {
public:
    explicit NationListAccessible(QAbstractItemView* view);
    ~NationListAccessible() override;

    // Answers for the list widget named `key` (its class).
    static QAccessibleInterface* Factory(const QString& key, QObject* object);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

private:
    QAbstractItemView* View() const;

    // One interface a row asked for, made again once its row is gone.
    mutable std::unordered_map<int, QAccessible::Id> items_;
};

// One nation of the list: a tick box.
class NationItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    NationItemAccessible(QAbstractItemView* view, const QModelIndex& index);

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::CheckBox; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString& name) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    int Row() const { return index_.row(); }

private:
    QPointer<QAbstractItemView> view_;
    QPersistentModelIndex index_;
};
