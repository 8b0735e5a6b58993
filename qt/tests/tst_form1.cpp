#include "Form1Fixture.h"

// The window as designed, and its commands run through its own controls.
class TestForm1 : public QObject, private Form1Fixture {
    Q_OBJECT

private slots:
    void initTestCase() { InitTestCase(); }
    void init() { Init(); }
    void cleanup() { Cleanup(); }

    void frame();
    void geometry_data();
    void geometry();
    void texts_data();
    void texts();
    void fonts_data();
    void fonts();
    void titleFallsBackToSerif();
    void colours();
    void helpText();
    void focusAndTabOrder();
    void enterStartsLoad();
    void accessKeys();
    void fileFilterMatchesAnyCase_data();
    void fileFilterMatchesAnyCase();
    void loadTickPatch();
    void exitQuestion();
    void closingTheFrameAsksNothing();
    void droppedFileLoads();
    void dialogStartsWhereTheLastFileWas();
};

void TestForm1::frame()
{
    QCOMPARE(form_->windowTitle(), QString("CM3 99/00 Tallowmere"));
    QCOMPARE(form_->size(), QSize(601, 329));
    QCOMPARE(form_->minimumSize(), QSize(601, 329));
    QCOMPARE(form_->maximumSize(), QSize(601, 329));
    const Qt::WindowFlags flags = form_->windowFlags();
    QCOMPARE(form_->windowType(), Qt::Dialog);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(form_->palette().color(QPalette::Window), QColor(192, 192, 192));
    QVERIFY(form_->autoFillBackground());
    const QList<QSize> iconSizes = form_->windowIcon().availableSizes();
    QVERIFY(iconSizes.contains(QSize(16, 16)));
    QVERIFY(iconSizes.contains(QSize(32, 32)));
    QVERIFY(form_->findChildren<QFileDialog*>().isEmpty());
}

void TestForm1::geometry_data()
{
    // Pixels at 96 dpi, worked out by hand from the design's twips.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("cmdLoad") << "cmdLoad" << QRect(8, 8, 129, 25);
    QTest::newRow("lstNations") << "lstNations" << QRect(8, 40, 265, 259);
    QTest::newRow("cmdPatch") << "cmdPatch" << QRect(144, 8, 129, 25);
    QTest::newRow("cmdAllEEC") << "cmdAllEEC" << QRect(8, 304, 265, 21);
    QTest::newRow("Label1") << "Label1" << QRect(320, 32, 241, 41);
    QTest::newRow("RichTextBox1") << "RichTextBox1" << QRect(288, 88, 297, 201);
    QTest::newRow("Label2") << "Label2" << QRect(296, 16, 201, 17);
    QTest::newRow("cmdExit") << "cmdExit" << QRect(544, 304, 49, 21);
    QTest::newRow("cmdURL") << "cmdURL" << QRect(416, 304, 121, 21);
    QTest::newRow("cmdEMail") << "cmdEMail" << QRect(320, 304, 89, 21);
    QTest::newRow("Label3") << "Label3" << QRect(536, 56, 33, 17);
}

void TestForm1::geometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    QWidget* widget = control(qPrintable(name));
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->parentWidget(), form_.get());
    QCOMPARE(widget->geometry(), rect);
}

void TestForm1::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("cmdLoad") << "cmdLoad" << "&Load Nations";
    QTest::newRow("cmdPatch") << "cmdPatch" << "&Patch Nation.dat";
    QTest::newRow("cmdAllEEC") << "cmdAllEEC" << "&Make All Countries EEC Members";
    QTest::newRow("Label1") << "Label1" << "Tallowmere";
    QTest::newRow("Label2") << "Label2" << "Championship Manager 99/00";
    QTest::newRow("cmdExit") << "cmdExit" << "&Exit";
    QTest::newRow("cmdURL") << "cmdURL" << "&Visit My Website";
    QTest::newRow("cmdEMail") << "cmdEMail" << "E-M&ail Me";
    QTest::newRow("Label3") << "Label3" << "v1.2";
}

void TestForm1::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    if (auto* button = control<QPushButton>(qPrintable(name))) {
        QCOMPARE(button->text(), text);
        QVERIFY(!button->isDefault());
    } else {
        QCOMPARE(control<QLabel>(qPrintable(name))->text(), text);
    }
}

void TestForm1::fonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("family");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<bool>("bold");
    QTest::newRow("cmdLoad") << "cmdLoad" << "Tahoma" << 8.25 << false;
    QTest::newRow("lstNations") << "lstNations" << "MS Sans Serif" << 8.25 << false;
    QTest::newRow("cmdAllEEC") << "cmdAllEEC" << "Tahoma" << 8.25 << false;
    QTest::newRow("Label1") << "Label1" << "Times New Roman" << 26.25 << false;
    QTest::newRow("RichTextBox1") << "RichTextBox1" << "Tahoma" << 8.25 << false;
    QTest::newRow("Label2") << "Label2" << "Arial" << 9.75 << true;
    QTest::newRow("cmdEMail") << "cmdEMail" << "Tahoma" << 8.25 << false;
    QTest::newRow("Label3") << "Label3" << "MS Sans Serif" << 8.25 << false;
}

void TestForm1::fonts()
{
    QFETCH(QString, name);
    QFETCH(QString, family);
    QFETCH(qreal, points);
    QFETCH(bool, bold);
    const QFont font = control(qPrintable(name))->font();
    QCOMPARE(font.families().value(0), family);
    QCOMPARE(font.pointSizeF(), points);
    QCOMPARE(font.bold(), bold);
}

void TestForm1::titleFallsBackToSerif()
{
    // Where neither Times New Roman nor its stand-in is found, as on many
    // systems, the title is still set in a serif face.
    QFont missing = control("Label1")->font();
    missing.setFamilies({"No Such Face"});
    const QString family = QFontInfo(missing).family();
    QVERIFY2((family.contains("Serif") && !family.contains("Sans")) || family.contains("Times"), qPrintable(family));
}

void TestForm1::colours()
{
    QCOMPARE(control("Label2")->palette().color(QPalette::WindowText), QColor(192, 0, 0));
    QVERIFY(!control("Label1")->autoFillBackground());
    QVERIFY(!control("Label2")->autoFillBackground());
    QVERIFY(control("Label3")->autoFillBackground());
    QCOMPARE(control<QLabel>("Label1")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(control("RichTextBox1")->palette().color(QPalette::Base),
             form_->palette().color(QPalette::Button));

    // Under a dark theme the window keeps its grey, and the text on the grey
    // its black; what stands on the theme's button face takes the theme's
    // button text, light on dark.
    const QPalette before = QApplication::palette();
    QPalette dark = before;
    dark.setColor(QPalette::Window, QColor(0x24, 0x24, 0x24));
    dark.setColor(QPalette::WindowText, QColor(0xF0, 0xF0, 0xF0));
    dark.setColor(QPalette::Text, QColor(0xF0, 0xF0, 0xF0));
    dark.setColor(QPalette::Button, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEE));
    QApplication::setPalette(dark);
    Form1 themed;
    QApplication::setPalette(before);
    const auto colour = [&themed](const char* name, QPalette::ColorRole role) {
        return themed.findChild<QWidget*>(name)->palette().color(role);
    };
    QCOMPARE(themed.palette().color(QPalette::Window), QColor(192, 192, 192));
    QCOMPARE(colour("Label1", QPalette::WindowText), QColor(0, 0, 0));
    QCOMPARE(colour("Label2", QPalette::WindowText), QColor(192, 0, 0));
    QCOMPARE(colour("Label3", QPalette::Window), QColor(0x30, 0x30, 0x30));
    QCOMPARE(colour("Label3", QPalette::WindowText), QColor(0xEE, 0xEE, 0xEE));
    QCOMPARE(colour("RichTextBox1", QPalette::Text), QColor(0xEE, 0xEE, 0xEE));
}

void TestForm1::helpText()
{
    const QString text = control<QTextEdit>("RichTextBox1")->toPlainText();
    QVERIFY(text.startsWith("Elect nations into the European Union by clicking on the tick box"));
    QVERIFY(text.contains("software useful\n\nAlthough this program"));
    QVERIFY(!text.contains('\r'));
    QCOMPARE(text.count('\n'), 8);
}

void TestForm1::focusAndTabOrder()
{
    show();
    QCOMPARE(QApplication::focusWidget(), control("cmdLoad"));
    const QStringList expected = {"lstNations", "cmdPatch", "cmdAllEEC", "RichTextBox1",
                                  "cmdExit", "cmdURL", "cmdEMail", "cmdLoad"};
    QStringList walked;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(walked, expected);

    // No cancel button: Escape runs nothing and leaves the window up.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(form_->isVisible());
}

void TestForm1::enterStartsLoad()
{
    show();
    QString title;
    answerer_->Expect(Choose({}, &title));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(title, QString("Locate your Nation.dat file"));
    QVERIFY(form_->Commands().State().strFileName.empty());
    QCOMPARE(control<QAbstractItemView>("lstNations")->model()->rowCount(), 0);
}

void TestForm1::accessKeys()
{
    show();
    SeenMessage seen;
    answerer_->Expect(Press(QMessageBox::Ok, &seen));
    // An access key presses its button the way a click looks, a moment later.
    pressAlt(Qt::Key_P);
    QTRY_COMPARE(seen.title, QString("ERROR"));
    QCOMPARE(seen.text, QString("Please load Nation.dat first"));
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QVERIFY(!seen.buttonsHaveIcons);
    QCOMPARE(seen.defaultButton, QMessageBox::Ok);

    // The button pressed by its access key keeps the focus once its message
    // has closed: Enter presses it again.
    form_->activateWindow();
    QTRY_COMPARE(QApplication::focusWidget(), control("cmdPatch"));
    SeenMessage again;
    answerer_->Expect(Press(QMessageBox::Ok, &again));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(again.title, QString("ERROR"));

    pressAlt(Qt::Key_A);
    pressAlt(Qt::Key_V);
    QTRY_COMPARE(launches_.urls, (QList<QUrl>{QUrl("mailto:nation-editor@example.org"),
                                          QUrl("https://www.example.org/")}));
}

void TestForm1::fileFilterMatchesAnyCase_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("listed");
    QTest::newRow("Nation.dat") << "Nation.dat" << true;
    QTest::newRow("NATION.DAT") << "NATION.DAT" << true;
    QTest::newRow("nation.dat") << "nation.dat" << true;
    QTest::newRow("Nation.dat.bak") << "Nation.dat.bak" << false;
    QTest::newRow("Nations.dat") << "Nations.dat" << false;
    QTest::newRow("club.dat") << "club.dat" << false;
}

void TestForm1::fileFilterMatchesAnyCase()
{
    QFETCH(QString, name);
    QFETCH(bool, listed);
    QVERIFY(QDir(dir_->path()).mkpath("filter"));
    QVERIFY(WriteFile(dir_->filePath("filter/" + name), {}));
    QStringList filters;
    answerer_->Expect([&filters](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        filters = dialog->nameFilters();
        dialog->reject();
    });
    control<QPushButton>("cmdLoad")->click();

    QCOMPARE(filters.size(), 1);
    const QString filter = filters.constFirst();
    QVERIFY(filter.startsWith("Nation Database ("));
    const QString pattern = filter.section('(', 1).chopped(1);
    const QStringList found = QDir(dir_->filePath("filter")).entryList({pattern}, QDir::Files | QDir::CaseSensitive);
    QCOMPARE(found.contains(name), listed);
}

void TestForm1::loadTickPatch()
{
    show();
    const QString nation = dir_->filePath("game/Nation.dat");
    const QByteArray original = ReadFile(nation);

    // A refused file first: the dialog comes back for another.
    answerer_->Expect(Choose(dir_->filePath("short.dat")));
    answerer_->Expect(Press(QMessageBox::Ok));
    load(nation);

    auto* list = control<QAbstractItemView>("lstNations");
    QCOMPARE(list->model()->rowCount(), 6);
    QCOMPARE(list->model()->index(3, 0).data().toString(), QString("Nation 3"));
    QCOMPARE(list->model()->index(2, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(list->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));

    // A tick that differs from the file's shows in bold, until a patch.
    const auto bold = [list](int row) { return list->model()->index(row, 0).data(Qt::FontRole).value<QFont>().bold(); };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, checkBoxOf(0));
    QVERIFY(form_->lstNations().IsNationTicked(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, checkBoxOf(2));
    QVERIFY(!form_->lstNations().IsNationTicked(2));
    QVERIFY(bold(0) && bold(2) && !bold(1));

    SeenMessage success;
    answerer_->Expect(Press(QMessageBox::Ok, &success));
    pressAlt(Qt::Key_P);
    QTRY_COMPARE(success.title, QString("SUCCESS"));
    QCOMPARE(success.text, QString("File Patched Succesfully"));
    QVERIFY(form_->Commands().State().blnPatched);
    QVERIFY(!bold(0) && !bold(2));
    QVERIFY(ReadFile(nation) != original);

    pressAlt(Qt::Key_M);
    QTRY_COMPARE(list->model()->index(5, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(list->model()->index(i, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
}

void TestForm1::exitQuestion()
{
    show();
    load(dir_->filePath("game/Nation.dat"));

    SeenMessage question;
    answerer_->Expect([&question](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        // Neither Escape nor the close control leaves the question.
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(!box->close());
        QVERIFY(box->isVisible());
        Press(QMessageBox::No, &question)(modal);
    });
    control<QPushButton>("cmdExit")->click();
    QCOMPARE(question.title, QString("Cm3 Tallowmere"));
    QCOMPARE(question.text, QString("You have not patched the file. Are you sure you want to exit?"));
    QCOMPARE(question.icon, QMessageBox::NoIcon);
    QVERIFY(!question.buttonsHaveIcons);
    QCOMPARE(question.buttons, (QList<QMessageBox::StandardButton>{QMessageBox::Yes, QMessageBox::No}));
    QCOMPARE(question.defaultButton, QMessageBox::Yes);
    QVERIFY(form_->isVisible());
    QCOMPARE(control<QAbstractItemView>("lstNations")->model()->rowCount(), 6);

    answerer_->Expect(Press(QMessageBox::Yes));
    pressAlt(Qt::Key_E);
    QTRY_VERIFY(!form_->isVisible());
}

void TestForm1::closingTheFrameAsksNothing()
{
    show();
    load(dir_->filePath("game/Nation.dat"));
    QVERIFY(form_->close());
    QVERIFY(!form_->isVisible());
}

void TestForm1::droppedFileLoads()
{
    show();
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(dir_->filePath("game/Nation.dat"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form_.get(), &drop);
    QCoreApplication::processEvents();
    QCOMPARE(QString::fromStdString(form_->Commands().State().strFileName), dir_->filePath("game/Nation.dat"));
    QCOMPARE(control<QAbstractItemView>("lstNations")->model()->rowCount(), 6);
}

void TestForm1::dialogStartsWhereTheLastFileWas()
{
    show();
    load(dir_->filePath("game/Nation.dat"));
    // Another run of the editor, later.
    form_ = std::make_unique<Form1>();
    QString folder;
    answerer_->Expect([&folder](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        folder = dialog->directory().absolutePath();
        dialog->reject();
    });
    form_->Commands().cmdLoad_Click();
    QCOMPARE(folder, QDir(dir_->filePath("game")).absolutePath());
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
