#include "Form1Fixture.h"

// The nation list: ticks by hand and by key, type-to-find, the context
// menu, long lists and names, and the list as a screen reader reads it.
class TestNationList : public QObject, private Form1Fixture {
    Q_OBJECT

private slots:
    void initTestCase() { InitTestCase(); }
    void init() { Init(); }
    void cleanup() { Cleanup(); }

    void tickingByHandTouchesNothingElse();
    void listKeys();
    void largestListLoads();
    void longNamesHaveTooltips();
    void tickMenuFromTheKeyboard();
    void screenReader();
};

void TestNationList::tickingByHandTouchesNothingElse()
{
    show();
    const QString nation = dir_->filePath("game/Nation.dat");
    const QByteArray original = ReadFile(nation);
    load(nation);
    auto* list = control<QAbstractItemView>("lstNations");
    for (int row : {1, 2, 3, 1})
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, checkBoxOf(row));
    QVERIFY(!form_->lstNations().IsNationTicked(2));
    QVERIFY(form_->lstNations().IsNationTicked(3));

    // A quick second click is a click too: two toggles. A real double-click
    // is a click, then a double-click event in place of the second press.
    QSignalSpy toggles(list->model(), &QAbstractItemModel::dataChanged);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, checkBoxOf(4));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, checkBoxOf(4));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, checkBoxOf(4));
    QCOMPARE(toggles.size(), 2);
    QVERIFY(!form_->lstNations().IsNationTicked(4));
    QVERIFY(!form_->Commands().State().blnPatched);
    QCOMPARE(ReadFile(nation), original);

    // Ticks in bulk: the view hears of every row that changed, the first to
    // the last (only the third was ticked), in one go.
    QSignalSpy bulk(list->model(), &QAbstractItemModel::dataChanged);
    form_->Commands().cmdAllEEC_Click();
    QCOMPARE(bulk.size(), 1);
    QCOMPARE(bulk[0][0].toModelIndex().row(), 0);
    QCOMPARE(bulk[0][1].toModelIndex().row(), 5);
}

void TestNationList::listKeys()
{
    show();
    load(dir_->filePath("game/Nation.dat"));
    auto* list = control<QAbstractItemView>("lstNations");
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    list->setFocus(Qt::TabFocusReason);
    // The list has the keyboard and entries: the first row is current, so
    // that Space ticks it.
    QCOMPARE(list->currentIndex().row(), 0);
    QTest::keyClick(list, Qt::Key_End);
    QCOMPARE(list->currentIndex().row(), 5);
    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(list->currentIndex().row(), 0);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentIndex().row(), 1);
    QVERIFY(!form_->lstNations().IsNationTicked(1));
    QTest::keyClick(list, Qt::Key_Space);
    QVERIFY(form_->lstNations().IsNationTicked(1));

    // Typing a name finds it; a space inside the name ticks nothing.
    QTest::keyClicks(list, "nation 4");
    QCOMPARE(list->currentIndex().row(), 4);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(form_->lstNations().IsNationTicked(i), i == 1 || i == 2);
}

void TestNationList::largestListLoads()
{
    show();
    QVERIFY(WriteFile(dir_->filePath("game/Nation.dat"), MakeNationFile(MAX_NATION_RECORDS)));
    load(dir_->filePath("game/Nation.dat"));
    auto* list = control<QAbstractItemView>("lstNations");
    QCOMPARE(list->model()->rowCount(), int(MAX_NATION_RECORDS));
    list->scrollToBottom();
    QCoreApplication::processEvents();
    const QModelIndex last = list->model()->index(int(MAX_NATION_RECORDS) - 1, 0);
    QCOMPARE(last.data().toString(), QString("Nation 32766"));
    QVERIFY(list->viewport()->rect().intersects(list->visualRect(last)));

    // The next list starts at its top, wherever the last one was left.
    load(dir_->filePath("game/Nation.dat"));
    QCoreApplication::processEvents();
    QCOMPARE(list->verticalScrollBar()->value(), 0);
}

void TestNationList::longNamesHaveTooltips()
{
    show();
    const std::string longName = "The United Kingdom of Great Britain and N. Ireland";
    QVERIFY(WriteFile(dir_->filePath("game/Nation.dat"), MakeRecord("Wales", 1) + MakeRecord(longName, 1)));
    load(dir_->filePath("game/Nation.dat"));
    QCoreApplication::processEvents();
    auto* list = control<QAbstractItemView>("lstNations");
    for (const int row : {0, 1}) {
        const QRect rect = list->visualRect(list->model()->index(row, 0));
        QHelpEvent help(QEvent::ToolTip, rect.center(), list->viewport()->mapToGlobal(rect.center()));
        QCoreApplication::sendEvent(list->viewport(), &help);
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), row == 1 ? QString::fromStdString(longName) : QString());
    }
}

void TestNationList::tickMenuFromTheKeyboard()
{
    show();
    auto* list = control<QAbstractItemView>("lstNations");
    list->setFocus();
    // Nothing loaded: every entry is greyed out.
    QStringList enabled = {"not shown"};
    QTimer::singleShot(100, this, [&enabled] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu != nullptr);
        enabled.clear();
        for (QAction* action : menu->actions()) {
            if (action->isEnabled())
                enabled << action->text();
        }
        menu->close();
    });
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    QTRY_VERIFY(enabled != QStringList{"not shown"});
    QCOMPARE(enabled, QStringList());

    load(dir_->filePath("game/Nation.dat"));
    list->setFocus();
    QStringList offered;
    // The menu is a popup: it is answered from a timer, as it comes up.
    QTimer::singleShot(100, this, [&offered] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu != nullptr);
        for (QAction* action : menu->actions())
            offered << action->text();
        // U, the access key of "Untick all nations".
        QTest::keyClick(menu, Qt::Key_U);
    });
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    QTRY_VERIFY(!offered.isEmpty());
    QCOMPARE(offered, (QStringList{"&Tick all nations", "&Untick all nations", "Tick only the &EU members of",
                                   "Tick the EU, EEA and &Swiss members of", "Ticks as in the &file"}));
    for (int i = 0; i < 6; ++i)
        QVERIFY(!form_->lstNations().IsNationTicked(static_cast<std::size_t>(i)));
}

// The list as a screen reader reads it; what it is told as ticks change is
// the end-to-end test's, which listens as a screen reader does.
void TestNationList::screenReader()
{
    show();
    QCOMPARE(QAccessible::queryAccessibleInterface(form_.get())->role(), QAccessible::Window);
    load(dir_->filePath("game/Nation.dat"));
    auto* view = control<QAbstractItemView>("lstNations");
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
    QCOMPARE(list->role(), QAccessible::List);
    QCOMPARE(list->text(QAccessible::Name), QString("Nations"));
    // The help box has no label of its own to be named after.
    QCOMPARE(QAccessible::queryAccessibleInterface(control<QTextEdit>("RichTextBox1"))->text(QAccessible::Name),
             QString("Help"));
    QCOMPARE(list->childCount(), 6);
    // Each nation a tick box, ticked as in the file (byte 2 in record 2).
    for (int row = 0; row < 6; ++row) {
        QAccessibleInterface* item = list->child(row);
        QCOMPARE(item->role(), QAccessible::CheckBox);
        QCOMPARE(item->text(QAccessible::Name), QString("Nation %1").arg(row));
        QVERIFY(item->state().checkable);
        QCOMPARE(bool(item->state().checked), row == 2);
        QCOMPARE(item->text(QAccessible::Description), QString());
        QCOMPARE(list->indexOfChild(item), row);
        QCOMPARE(list->childAt(item->rect().center().x(), item->rect().center().y()), item);
    }

    // Space ticks the focused nation, now described as changed.
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    view->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view, Qt::Key_Space);
    QCOMPARE(list->focusChild(), list->child(0));
    QVERIFY(list->child(0)->state().checked);
    QCOMPARE(list->child(0)->text(QAccessible::Description), QString("changed, not yet patched"));
    // With the keyboard on a button, no nation is focused.
    control<QPushButton>("cmdPatch")->setFocus(Qt::TabFocusReason);
    QCOMPARE(list->focusChild(), nullptr);
    QVERIFY(!list->child(0)->state().focused);
    view->setFocus(Qt::TabFocusReason);
    QVERIFY(list->child(0)->state().focused);
    // A screen reader's "toggle" ticks as Space does.
    QAccessibleActionInterface* toggle = list->child(3)->actionInterface();
    QVERIFY(toggle != nullptr);
    toggle->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(form_->lstNations().IsNationTicked(3));
    // A new load: new items, as in the file again.
    load(dir_->filePath("game/Nation.dat"));
    QCoreApplication::processEvents();
    QVERIFY(!list->child(0)->state().checked);
    QCOMPARE(list->child(0)->text(QAccessible::Description), QString());
}

QTEST_MAIN(TestNationList)
#include "tst_nationlist.moc"
