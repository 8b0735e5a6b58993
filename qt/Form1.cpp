#include "Form1.h"

#include "FormDesign.h"
#include "FrameHints.h"
#include "NationListView.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <functional>

namespace {

// Qt scales its device-independent pixels itself on screens above 96 dpi.
int Pixels(int twips)
{
    return form::Pixels(twips, form::UNSCALED_DPI);
}

// The style hint gives the title a serif where none of its faces is there,
// not the default sans-serif.
QFont MakeFont(form::FontKind kind)
{
    const form::Font& design = form::FontOf(kind);
    QStringList families;
    for (const char* face : design.faces) {
        if (face != nullptr)
            families << face;
    }
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(design.serif ? QFont::Serif : QFont::SansSerif);
    font.setPointSizeF(design.hundredthsOfPoint / 100.0);
    font.setBold(design.bold);
    return font;
}

QColor ToQColor(form::Colour colour)
{
    return QColor(colour.red, colour.green, colour.blue);
}

QString FromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

// A Qt name filter whose pattern matches in any letter case, as file names
// do on the game's own platform.
QString NameFilter(const form::FileFilter& filter)
{
    QString anyCase;
    for (const QChar c : QString(filter.pattern)) {
        if (c.isLetter())
            anyCase += QString("[%1%2]").arg(c.toLower(), c.toUpper());
        else
            anyCase += c;
    }
    return QString("%1 (%2)").arg(filter.description, anyCase);
}

// The window is a window to a screen reader too: a plain widget at the top
// reads as a "filler".
QAccessibleInterface* WindowRole(const QString& key, QObject* object)
{
    if (key == QLatin1String("Form1") && object != nullptr && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

// A message box that can't be left by Escape or its close control when it
// asks a question: the user has to answer it.
class MessageBox : public QMessageBox {
public:
    MessageBox(QWidget* parent, bool question)
        : QMessageBox(parent)
        , question_(question)
    {
        if (question_)
            setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        KeepFrameHints(*this, Sizing::Fixed);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (question_ && event->matches(QKeySequence::Cancel))
            return;
        // Ctrl+C copies the message, as message boxes do on Windows.
        if (event->matches(QKeySequence::Copy)) {
            QGuiApplication::clipboard()->setText(windowTitle() + "\n\n" + text());
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override
    {
        if (question_) {
            event->ignore();
            return;
        }
        QMessageBox::closeEvent(event);
    }

private:
    bool question_;
};

} // namespace

Form1::Form1(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , editor_(*this)
{
    static const bool readAsWindow = (QAccessible::installFactory(WindowRole), true);
    Q_UNUSED(readAsWindow);
    setObjectName("Form1");
    setWindowTitle(form::TITLE);
    QIcon icon;
    icon.addFile(":/icons/nation-editor-16.png");
    icon.addFile(":/icons/nation-editor-32.png");
    setWindowIcon(icon);
    setAttribute(Qt::WA_QuitOnClose);
    setFixedSize(Pixels(form::CLIENT_WIDTH), Pixels(form::CLIENT_HEIGHT));
    setFont(MakeFont(form::FontKind::WindowDefault));
    QPalette window = palette();
    window.setColor(QPalette::Window, ToQColor(form::BACKGROUND));
    window.setColor(QPalette::WindowText, ToQColor(form::TEXT));
    setPalette(window);
    setAutoFillBackground(true);

    createControls();
    connectButtons();
    KeepFrameHints(*this, Sizing::Fixed);

    setAcceptDrops(true);

    editor_.Form_Load();
    controls_[form::cmdLoad]->setFocus();
}

Form1::~Form1()
{
    // The list's model goes with the window's children, after the rows.
    nations_.SetObserver(nullptr);
}

// The controls as designed, made in tab order.
void Form1::createControls()
{
    QWidget* previous = nullptr;
    for (std::size_t i = 0; i < form::CONTROLS.size(); ++i) {
        const form::Control& design = form::CONTROLS[i];
        QWidget* control = createControl(design);
        control->setObjectName(design.name);
        control->setGeometry(Pixels(design.left), Pixels(design.top), Pixels(design.width), Pixels(design.height));
        if (design.font != form::FontKind::WindowDefault)
            control->setFont(MakeFont(design.font));
        colour(*control, design);
        if (control->focusPolicy() != Qt::NoFocus) {
            if (previous != nullptr)
                QWidget::setTabOrder(previous, control);
            previous = control;
        }
        controls_[i] = control;
    }
}

QWidget* Form1::createControl(const form::Control& design)
{
    switch (design.kind) {
    case form::Kind::Button: {
        auto* button = new QPushButton(design.text, this);
        // Enter presses the focused button, as Space does; no button is the
        // window's default.
        button->setAutoDefault(true);
        return button;
    }
    case form::Kind::NationList:
        return createNationList();
    case form::Kind::Label: {
        auto* label = new QLabel(design.text, this);
        label->setFocusPolicy(Qt::NoFocus);
        label->setAlignment((design.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        return label;
    }
    case form::Kind::HelpBox:
        break;
    }
    auto* help = new QTextEdit(this);
    help->setAcceptRichText(false);
    help->setReadOnly(true);
    help->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    help->setFocusPolicy(Qt::StrongFocus);
    help->setTabChangesFocus(true);
    help->setPlainText(design.text);
    help->setAccessibleName(form::HELP_NAME);
    return help;
}

QAbstractItemView* Form1::createNationList()
{
    auto* list = new NationListView(nations_, this);
    list->setAccessibleName(form::LIST_NAME);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, &Form1::showTickMenu);
    return list;
}

// A label with no background of its own lets the window's grey show
// through; the help box and the version label stand on the button face.
void Form1::colour(QWidget& control, const form::Control& design)
{
    const QPalette theme = QApplication::palette();
    QPalette colours = control.palette();
    switch (design.background) {
    case form::Background::Window:
        colours.setColor(QPalette::WindowText, ToQColor(design.red ? form::RED : form::TEXT));
        break;
    case form::Background::ButtonFace: {
        const bool help = design.kind == form::Kind::HelpBox;
        colours.setColor(help ? QPalette::Base : QPalette::Window, theme.color(QPalette::Button));
        colours.setColor(help ? QPalette::Text : QPalette::WindowText, theme.color(QPalette::ButtonText));
        control.setAutoFillBackground(design.kind == form::Kind::Label);
        break;
    }
    case form::Background::Own:
        break;
    }
    control.setPalette(colours);
}

void Form1::connectButtons()
{
    for (std::size_t i = 0; i < form::CONTROLS.size(); ++i) {
        if (form::CONTROLS[i].kind != form::Kind::Button)
            continue;
        const auto index = static_cast<form::Index>(i);
        auto* button = control<QPushButton>(index);
        // A button pressed by its access key takes the focus, as a click
        // does: when its command's message closes, the focus is back on it,
        // so that Space or Enter presses it again.
        connect(button, &QPushButton::clicked, this, [this, button, index] {
            button->setFocus(Qt::ShortcutFocusReason);
            editor_.Click(index);
        });
    }
}

std::string Form1::ShowOpenDialog(const std::string& title, const form::FileFilter& filter, const std::string& folder)
{
    // A new dialog at every showing: a reused one carries its name
    // completer's list and its selection from one showing into the next,
    // where they can take the place of the path the user types.
    QFileDialog cdOpen(this);
    cdOpen.setObjectName("cdOpen");
    cdOpen.setFileMode(QFileDialog::ExistingFile);
    cdOpen.setAcceptMode(QFileDialog::AcceptOpen);
    cdOpen.setOption(QFileDialog::HideNameFilterDetails);
    // Qt's own dialog wherever the editor runs: a desktop's dialog (GTK's
    // under GNOME) takes no frame hints and, on a small screen, a size
    // larger than the screen, and its name box is a search.
    cdOpen.setOption(QFileDialog::DontUseNativeDialog);
    cdOpen.setWindowTitle(FromUtf8(title));
    cdOpen.setNameFilter(NameFilter(filter));
    // The path last chosen stays in the name box while the dialog shows its
    // folder, as after a refused file.
    const QString start = QFile::decodeName(QByteArray::fromStdString(folder));
    if (!lastChosenPath_.isEmpty() && QFileInfo(lastChosenPath_).absolutePath() == QDir(start).absolutePath())
        cdOpen.selectFile(lastChosenPath_);
    else if (!start.isEmpty())
        cdOpen.setDirectory(start);
    KeepFrameHints(cdOpen, Sizing::Resizable);
    const int answer = cdOpen.exec();
    ComeBackAfterDialog(*this);
    if (answer != QDialog::Accepted || cdOpen.selectedFiles().isEmpty())
        return {};
    lastChosenPath_ = cdOpen.selectedFiles().constFirst();
    return QFile::encodeName(lastChosenPath_).toStdString();
}

MessageAnswer Form1::ShowMessage(const std::string& text, const std::string& title,
                                 MessageButtons buttons)
{
    const bool question = buttons == MessageButtons::YesNo;
    MessageBox box(this, question);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(FromUtf8(title));
    box.setText(FromUtf8(text));
    box.setTextFormat(Qt::PlainText);
    if (question) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    // Some styles put a tick or coloured circles on the buttons; the
    // messages show no icon at all.
    for (QAbstractButton* button : box.buttons())
        button->setIcon({});
    const int answer = box.exec();
    ComeBackAfterDialog(*this);
    switch (answer) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return MessageAnswer::Ok;
    }
}

void Form1::LoadWhenShown(const std::string& path)
{
    // A message about the file shows over the window, so the window has to
    // be where the window manager puts it first: until it is on the screen,
    // it counts as standing in the screen's top-left corner.
    class OnExposed : public QObject {
    public:
        OnExposed(QWindow* window, std::function<void()> then)
            : QObject(window)
            , then_(std::move(then))
        {
        }

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
                QTimer::singleShot(0, watched, then_);
                deleteLater();
                watched->removeEventFilter(this);
            }
            return false;
        }

    private:
        std::function<void()> then_;
    };
    const auto load = [this, path] { editor_.LoadFile(path); };
    QWindow* window = windowHandle();
    if (window != nullptr && window->isExposed())
        QTimer::singleShot(0, this, load);
    else if (window != nullptr)
        window->installEventFilter(new OnExposed(window, load));
    else
        load();
}

void Form1::SetHelpText(const std::string& text)
{
    // Qt's text box takes a carriage return and a line feed as one break.
    control<QTextEdit>(form::RichTextBox1)->setPlainText(FromUtf8(text));
}

void Form1::Launch(const std::string& address)
{
    QDesktopServices::openUrl(QUrl(FromUtf8(address)));
}

void Form1::End()
{
    close();
}

// Kept in the user's configuration folder, as Qt's settings are, as the
// folder's own bytes: a name that is no UTF-8 would not survive as text.
// Earlier versions kept it as text.
std::string Form1::RememberedFolder() const
{
    if (!rememberedFolder_) {
        const QVariant kept = QSettings().value("lastFolder");
        rememberedFolder_ = (kept.typeId() == QMetaType::QByteArray ? kept.toByteArray()
                                                                    : QFile::encodeName(kept.toString()))
                                .toStdString();
    }
    return *rememberedFolder_;
}

void Form1::RememberFolder(const std::string& folder)
{
    if (RememberedFolder() == folder)
        return;
    rememberedFolder_ = folder;
    QSettings().setValue("lastFolder", QByteArray::fromStdString(folder));
}

void Form1::showTickMenu(const QPoint& at)
{
    QMenu menu(this);
    addTickEntries(menu, editor_.TickMenu());
    menu.exec(control<QAbstractItemView>(form::lstNations)->viewport()->mapToGlobal(at));
}

void Form1::addTickEntries(QMenu& menu, const std::vector<TickMenuEntry>& entries)
{
    for (const TickMenuEntry& entry : entries) {
        if (entry.IsSubmenu()) {
            QMenu* submenu = menu.addMenu(FromUtf8(entry.label));
            submenu->setEnabled(entry.enabled);
            addTickEntries(*submenu, entry.submenu);
            continue;
        }
        menu.addAction(FromUtf8(entry.label), this, [this, id = entry.id] { editor_.ApplyTicks(id); })
            ->setEnabled(entry.enabled);
    }
}

void Form1::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.constFirst().isLocalFile())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.constFirst().isLocalFile())
        return;
    event->acceptProposedAction();
    // The path's own bytes, as the file manager percent-encoded them: a
    // name that is no UTF-8 would not survive Qt's text.
    editor_.LoadFile(QByteArray::fromPercentEncoding(urls.constFirst().path(QUrl::FullyEncoded).toLatin1())
                         .toStdString());
}
