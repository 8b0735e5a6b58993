#pragma once

// What the tests of the Qt window share: the window with a folder of files,
// its dialogs answered from a script, and what it hands to the launcher.
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

inline bool WriteFile(const QString& path, const Bytes& bytes)
{
    return testfiles::WriteFile(path.toStdString(), bytes);
}

inline QByteArray ReadFile(const QString& path)
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
inline ModalAnswerer::Answer Press(QMessageBox::StandardButton press, SeenMessage* seen = nullptr)
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

inline ModalAnswerer::Answer Choose(const QString& path, QString* title = nullptr)
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

// Receives what the window hands to the desktop's launcher.
class LaunchRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class Form1Fixture {
protected:
    void InitTestCase()
    {
        QApplication::setStyle(new ButtonIconsStyle);
        // The keys of a name the tests type make one name however long a busy
        // machine keeps the test from running between two of them.
        QApplication::setKeyboardInputInterval(60'000);
        // The remembered folder goes to a settings file of the tests' own.
        QStandardPaths::setTestModeEnabled(true);
    }

    void Init()
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

    void Cleanup()
    {
        QDesktopServices::unsetUrlHandler("mailto");
        QDesktopServices::unsetUrlHandler("https");
        QVERIFY2(answerer_->unexpected.isEmpty(), qPrintable("unexpected dialogs: " + answerer_->unexpected.join(", ")));
        QVERIFY2(answerer_->AllAnswered(), "an expected dialog never opened");
        form_.reset();
        answerer_.reset();
    }

    template <typename T = QWidget>
    T* control(const char* name) const { return form_->findChild<T*>(name); }

    void show()
    {
        form_->show();
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    }

    // The offscreen platform does not hand activation back to the window when a
    // modal dialog closes, as a window manager does; access keys need it.
    void pressAlt(Qt::Key key)
    {
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QTest::keyClick(form_.get(), key, Qt::AltModifier);
    }

    void load(const QString& file)
    {
        answerer_->Expect(Choose(file));
        control<QPushButton>("cmdLoad")->click();
        QCoreApplication::processEvents();
        QCOMPARE(QString::fromStdString(form_->Commands().State().strFileName), file);
    }

    QPoint checkBoxOf(int row) const
    {
        auto* list = control<QAbstractItemView>("lstNations");
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.rect = list->visualRect(list->model()->index(row, 0));
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list).center();
    }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ModalAnswerer> answerer_;
    std::unique_ptr<Form1> form_;
    LaunchRecorder launches_;
};
