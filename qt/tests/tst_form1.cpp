#include "Form1.h"
#include "NationFile.h"
#include "TestFiles.h"

#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <deque>
#include <vector>
#include <functional>

using namespace nationfile;
using namespace testfiles;

namespace {

bool WriteFile(const QString& path, const Bytes& bytes)
{
    return testfiles::WriteFile(path.toStdString(), bytes);
}

QByteArray ReadFile(const QString& path)
{
    return QByteArray::fromStdString(testfiles::ReadFile(path.toStdString()));
}

// Answers the modal dialogs that a command opens, from inside their own
// event loops, in the order they come. A dialog nobody expected is noted
// and dismissed, so a wrong command fails the test instead of hanging it.
class ModalAnswerer : public QObject {
public:
    using Answer = std::function<void(QWidget*)>;

    ModalAnswerer()
    {
        connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::Poll);
        timer_.start(5);
    }

    void Expect(Answer answer) { answers_.push_back(std::move(answer)); }
    bool AllAnswered() const { return answers_.empty(); }
    QStringList unexpected;

private:
    void Poll()
    {
        std::erase_if(handled_, [](const QPointer<QWidget>& w) { return !w || !w->isVisible(); });
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible() || std::find(handled_.begin(), handled_.end(), QPointer<QWidget>(modal)) != handled_.end())
            return;
        handled_.emplace_back(modal);
        Answer answer = answers_.empty() ? Dismiss(modal) : std::move(answers_.front());
        if (!answers_.empty())
            answers_.pop_front();
        // Answered from a timer of its own, so that this one goes on polling
        // while the answer waits in a nested dialog.
        QTimer::singleShot(0, this, [answer, target = QPointer<QWidget>(modal)] {
            if (target)
                answer(target);
        });
    }

    Answer Dismiss(QWidget* modal)
    {
        unexpected << modal->windowTitle();
        return [](QWidget* widget) {
            if (auto* box = qobject_cast<QMessageBox*>(widget))
                box->buttons().constFirst()->click();
            else if (auto* dialog = qobject_cast<QDialog*>(widget))
                dialog->reject();
        };
    }

    QTimer timer_;
    std::deque<Answer> answers_;
    std::vector<QPointer<QWidget>> handled_;
};

struct SeenMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool buttonsHaveIcons = false;
};

// Notes what a message box shows, then presses `press`.
ModalAnswerer::Answer Press(QMessageBox::StandardButton press, SeenMessage* seen = nullptr)
{
    return [press, seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        if (seen != nullptr) {
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->icon = box->icon();
            seen->buttons.clear();
            for (QAbstractButton* button : box->buttons()) {
                seen->buttons << box->standardButton(button);
                seen->buttonsHaveIcons = seen->buttonsHaveIcons || !button->icon().isNull();
            }
            seen->defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton())
                                                       : QMessageBox::NoButton;
        }
        box->button(press)->click();
    };
}

ModalAnswerer::Answer Choose(const QString& path, QString* title = nullptr)
{
    return [path, title](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog != nullptr);
        if (title != nullptr)
            *title = dialog->windowTitle();
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        // Typed as a user would: the list of the folder fills in later.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(name != nullptr);
        name->setText(path);
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides it, QDialog does not
    };
}

// The default style of a Linux desktop puts icons on the buttons of dialogs;
// the offscreen platform's does not.
class ButtonIconsStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override
    {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

} // namespace

// Receives what the window hands to the desktop's launcher.
class LaunchRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

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
    void tickingByHandTouchesNothingElse();
    void exitQuestion();
    void closingTheFrameAsksNothing();
    void listKeys();
    void largestListLoads();
    void longNamesHaveTooltips();
    void tickMenuFromTheKeyboard();
    void droppedFileLoads();
    void dialogStartsWhereTheLastFileWas();
    void screenReader();

private:
    template <typename T = QWidget>
    T* control(const char* name) const { return form_->findChild<T*>(name); }
    void show();
    void pressAlt(Qt::Key key);
    void load(const QString& file);
    QPoint checkBoxOf(int row) const;

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ModalAnswerer> answerer_;
    std::unique_ptr<Form1> form_;
    LaunchRecorder launches_;
};

void TestForm1::initTestCase()
{
    QApplication::setStyle(new ButtonIconsStyle);
    // The keys of a name the tests type make one name however long a busy
    // machine keeps the test from running between two of them.
    QApplication::setKeyboardInputInterval(60'000);
    // The remembered folder goes to a settings file of the tests' own.
    QStandardPaths::setTestModeEnabled(true);
}

void TestForm1::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(QDir(dir_->path()).mkpath("game"));
    QVERIFY(WriteFile(dir_->filePath("game/Nation.dat"), MakeNationFile(6)));
    QVERIFY(WriteFile(dir_->filePath("short.dat"), "too short"));
    answerer_ = std::make_unique<ModalAnswerer>();
    form_ = std::make_unique<Form1>();
    launches_.urls.clear();
    QDesktopServices::setUrlHandler("mailto", &launches_, "open");
    QDesktopServices::setUrlHandler("https", &launches_, "open");
}

void TestForm1::cleanup()
{
    QDesktopServices::unsetUrlHandler("mailto");
    QDesktopServices::unsetUrlHandler("https");
    QVERIFY2(answerer_->unexpected.isEmpty(), qPrintable("unexpected dialogs: " + answerer_->unexpected.join(", ")));
    QVERIFY2(answerer_->AllAnswered(), "an expected dialog never opened");
    form_.reset();
    answerer_.reset();
}

void TestForm1::show()
{
    form_->show();
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
}

// The offscreen platform does not hand activation back to the window when a
// modal dialog closes, as a window manager does; access keys need it.
void TestForm1::pressAlt(Qt::Key key)
{
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTest::keyClick(form_.get(), key, Qt::AltModifier);
}

void TestForm1::load(const QString& file)
{
    answerer_->Expect(Choose(file));
    control<QPushButton>("cmdLoad")->click();
    QCoreApplication::processEvents();
    QCOMPARE(QString::fromStdString(form_->Commands().State().strFileName), file);
}

QPoint TestForm1::checkBoxOf(int row) const
{
    auto* list = control<QAbstractItemView>("lstNations");
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualRect(list->model()->index(row, 0));
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list).center();
}

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

    SeenMessage refused;
    answerer_->Expect(Choose(dir_->filePath("short.dat")));
    answerer_->Expect(Press(QMessageBox::Ok, &refused));
    load(nation);
    QCOMPARE(refused.title, QString("ERROR"));
    QCOMPARE(refused.text, QString("This is NOT the Nations.dat file. Pick Again"));

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

    const QByteArray after = ReadFile(nation);
    QCOMPARE(after.size(), original.size());
    for (int i = 0; i < 6; ++i) {
        const std::uint8_t byte = static_cast<std::uint8_t>(after[i * NATION_RECORD_SIZE + MEMBER_OFFSET]);
        QCOMPARE(byte, i == 0 ? MEMBER_YES : MEMBER_NO);
    }

    pressAlt(Qt::Key_M);
    QTRY_COMPARE(list->model()->index(5, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(list->model()->index(i, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
}

void TestForm1::tickingByHandTouchesNothingElse()
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

void TestForm1::listKeys()
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

void TestForm1::largestListLoads()
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

void TestForm1::longNamesHaveTooltips()
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

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"

void TestForm1::tickMenuFromTheKeyboard()
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

// The list as a screen reader reads it; what it is told as ticks change is
// the end-to-end test's, which listens as a screen reader does.
void TestForm1::screenReader()
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
