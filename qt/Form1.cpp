#include "Form1.h"

#include "NationListModel.h"
#include "FrameHints.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTextEdit>
#include <QToolTip>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <array>
#include <functional>
#include <map>

namespace {

constexpr const char* kApplicationTitle = "Cm3 Tallowmere";
constexpr const char* kWindowTitle = "CM3 99/00 Tallowmere";

enum class FontKind { WindowDefault, Tahoma, Title, GameName };

constexpr int kClientWidthTwips = 9015;
constexpr int kClientHeightTwips = 4935;

// 15 twips are one pixel at 96 dpi; Qt scales device-independent pixels on
// screens above that.
int Pixels(int twips)
{
    constexpr int kTwipsPerPixel = 15;
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

// The designed fonts first, then Debian's metric-compatible stand-ins;
// Liberation Sans stands in for Tahoma too, the nearest the package brings.
QFont MakeFont(FontKind kind)
{
    QFont font;
    switch (kind) {
    case FontKind::WindowDefault:
        font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans"});
        font.setPointSizeF(8.25);
        break;
    case FontKind::Tahoma:
        font.setFamilies({"Tahoma", "Liberation Sans"});
        font.setPointSizeF(8.25);
        break;
    case FontKind::Title:
        font.setFamilies({"Times New Roman", "Liberation Serif"});
        // Where neither face is found, a serif stands in, not the default
        // sans-serif.
        font.setStyleHint(QFont::Serif);
        font.setPointSizeF(26.25);
        break;
    case FontKind::GameName:
        font.setFamilies({"Arial", "Liberation Sans"});
        font.setPointSizeF(9.75);
        font.setBold(true);
        break;
    }
    return font;
}

QString FromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

// "Description | Pattern" as the commands give it, turned into a Qt name
// filter whose pattern matches in any letter case, as file names do on the
// game's own platform.
QString NameFilter(const std::string& filter)
{
    const QString text = FromUtf8(filter);
    const qsizetype bar = text.indexOf('|');
    const QString description = text.left(bar).trimmed();
    const QString pattern = text.mid(bar + 1).trimmed();
    QString anyCase;
    for (const QChar c : pattern) {
        if (c.isLetter())
            anyCase += QString("[%1%2]").arg(c.toLower(), c.toUpper());
        else
            anyCase += c;
    }
    return QString("%1 (%2)").arg(description, anyCase);
}

class NationTable : public QTableView {
public:
    using QTableView::QTableView;

    void keyboardSearch(const QString& search) override
    {
        QTableView::keyboardSearch(search);
        lastSearchKey_.start();
    }

protected:
    // Home and End go to the first and the last nation, as in a list.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        if (action == MoveHome || action == MoveEnd)
            modifiers |= Qt::ControlModifier;
        return QTableView::moveCursor(action, modifiers);
    }

    // A space typed while a name is being typed to find it ("south korea")
    // belongs to the name: it must not tick the nation found so far. A space
    // on its own still toggles the tick.
    void keyPressEvent(QKeyEvent* event) override
    {
        // Shift+F10 opens the context menu, as the Menu key does.
        if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
            const QRect current = visualRect(currentIndex());
            emit customContextMenuRequested(current.isValid() ? current.center() : QPoint(0, 0));
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && lastSearchKey_.isValid()
            && lastSearchKey_.elapsed() < QApplication::keyboardInputInterval()) {
            keyboardSearch(event->text());
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
    }

    // The view takes a quick second click as a double-click, which toggles
    // nothing; on this list each click on a tick box toggles it.
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        QMouseEvent press(QEvent::MouseButtonPress, event->position(), event->scenePosition(),
                          event->globalPosition(), event->button(), event->buttons(), event->modifiers(),
                          event->pointingDevice());
        mousePressEvent(&press);
    }

    // A name cut short by the list's width can be read whole in a tooltip.
    bool viewportEvent(QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip)
            return QTableView::viewportEvent(event);
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        if (index.isValid() && IsCutShort(index))
            QToolTip::showText(help->globalPos(), index.data().toString(), viewport(), visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }

private:
    bool IsCutShort(const QModelIndex& index) const
    {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.rect = visualRect(index);
        return itemDelegateForIndex(index)->sizeHint(option, index).width() > option.rect.width();
    }

    QElapsedTimer lastSearchKey_;
};

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
    setObjectName("Form1");
    setWindowTitle(kWindowTitle);
    QIcon icon;
    icon.addFile(":/icons/nation-editor-16.png");
    icon.addFile(":/icons/nation-editor-32.png");
    setWindowIcon(icon);
    setAttribute(Qt::WA_QuitOnClose);
    setFixedSize(Pixels(kClientWidthTwips), Pixels(kClientHeightTwips));
    setFont(MakeFont(FontKind::WindowDefault));

    createControls();
    placeControls();
    setColours();
    chainTabOrder();
    connectButtons();
    KeepFrameHints(*this, Sizing::Fixed);

    setAcceptDrops(true);

    editor_.Form_Load();
    cmdLoad->setFocus();
}

Form1::~Form1() = default;

void Form1::createControls()
{
    const auto button = [this](const char* name, const char* text) {
        auto* created = new QPushButton(text, this);
        created->setObjectName(name);
        // Enter presses the focused button, as Space does; no button is the
        // window's default.
        created->setAutoDefault(true);
        return created;
    };
    const auto label = [this](const char* name, const char* text) {
        auto* created = new QLabel(text, this);
        created->setObjectName(name);
        created->setFocusPolicy(Qt::NoFocus);
        return created;
    };

    cmdLoad = button("cmdLoad", "&Load Nations");
    // A one-column table without headers or grid looks and works as a list,
    // and lays out its 32,767 rows of one height without visiting each.
    lstNations = new NationTable(this);
    lstNations->setObjectName("lstNations");
    nations_ = new NationListModel(this);
    lstNations->setModel(nations_);
    lstNations->horizontalHeader()->hide();
    lstNations->horizontalHeader()->setStretchLastSection(true);
    lstNations->verticalHeader()->hide();
    lstNations->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lstNations->verticalHeader()->setDefaultSectionSize(lstNations->fontMetrics().height() + 1);
    lstNations->setShowGrid(false);
    lstNations->setWordWrap(false);
    lstNations->setTabKeyNavigation(false);
    lstNations->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstNations->setSelectionMode(QAbstractItemView::SingleSelection);
    lstNations->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Each newly loaded list starts at its top, not where the last one was;
    // a list that has the keyboard meanwhile has a current row, the first,
    // for Space to tick.
    connect(nations_, &QAbstractItemModel::modelReset, lstNations, [this] {
        lstNations->scrollToTop();
        if (lstNations->hasFocus() && nations_->rowCount() > 0)
            lstNations->selectionModel()->setCurrentIndex(nations_->index(0, 0), QItemSelectionModel::NoUpdate);
    });
    lstNations->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstNations, &QWidget::customContextMenuRequested, this, &Form1::showTickMenu);
    cmdPatch = button("cmdPatch", "&Patch Nation.dat");
    cmdAllEEC = button("cmdAllEEC", "&Make All Countries EEC Members");
    Label1 = label("Label1", "Tallowmere");
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    RichTextBox1 = new QTextEdit(this);
    RichTextBox1->setObjectName("RichTextBox1");
    RichTextBox1->setAcceptRichText(false);
    RichTextBox1->setReadOnly(true);
    RichTextBox1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    RichTextBox1->setFocusPolicy(Qt::StrongFocus);
    RichTextBox1->setTabChangesFocus(true);
    RichTextBox1->setPlainText("RichTextBox1");
    Label2 = label("Label2", "Championship Manager 99/00");
    cmdExit = button("cmdExit", "&Exit");
    cmdURL = button("cmdURL", "&Visit My Website");
    cmdEMail = button("cmdEMail", "E-M&ail Me");
    Label3 = label("Label3", "v1.2");
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void Form1::placeControls()
{
    // The window as designed, in twips from the client area's top-left corner.
    struct ControlPlacement {
        QWidget* control;
        int left;
        int top;
        int width;
        int height;
        FontKind font;
    };
    const std::array<ControlPlacement, 11> placements = {{
        {cmdLoad, 120, 120, 1935, 375, FontKind::Tahoma},
        {lstNations, 120, 600, 3975, 3885, FontKind::WindowDefault},
        {cmdPatch, 2160, 120, 1935, 375, FontKind::Tahoma},
        {cmdAllEEC, 120, 4560, 3975, 315, FontKind::Tahoma},
        {Label1, 4800, 480, 3615, 615, FontKind::Title},
        {RichTextBox1, 4320, 1320, 4455, 3015, FontKind::Tahoma},
        {Label2, 4440, 240, 3015, 255, FontKind::GameName},
        {cmdExit, 8160, 4560, 735, 315, FontKind::Tahoma},
        {cmdURL, 6240, 4560, 1815, 315, FontKind::Tahoma},
        {cmdEMail, 4800, 4560, 1335, 315, FontKind::Tahoma},
        {Label3, 8040, 840, 495, 255, FontKind::WindowDefault},
    }};
    for (const ControlPlacement& placement : placements) {
        placement.control->setGeometry(Pixels(placement.left), Pixels(placement.top), Pixels(placement.width),
                                       Pixels(placement.height));
        if (placement.font != FontKind::WindowDefault)
            placement.control->setFont(MakeFont(placement.font));
    }
}

void Form1::setColours()
{
    QPalette window = palette();
    window.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(window);
    setAutoFillBackground(true);

    const QColor buttonFace = palette().color(QPalette::Button);
    QPalette help = RichTextBox1->palette();
    help.setColor(QPalette::Base, buttonFace);
    RichTextBox1->setPalette(help);

    QPalette gameName = Label2->palette();
    gameName.setColor(QPalette::WindowText, QColor(192, 0, 0));
    Label2->setPalette(gameName);

    QPalette version = Label3->palette();
    version.setColor(QPalette::Window, buttonFace);
    Label3->setPalette(version);
    Label3->setAutoFillBackground(true);
}

void Form1::chainTabOrder()
{
    const std::array<QWidget*, 8> order = {cmdLoad, lstNations, cmdPatch, cmdAllEEC,
                                           RichTextBox1, cmdExit, cmdURL, cmdEMail};
    for (std::size_t i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void Form1::connectButtons()
{
    const auto runs = [this](QPushButton* button, void (Editor::*command)()) {
        // A button pressed by its access key takes the focus, as a click
        // does: when its command's message closes, the focus is back on it,
        // so that Space or Enter presses it again.
        connect(button, &QPushButton::clicked, this, [this, button, command] {
            button->setFocus(Qt::ShortcutFocusReason);
            (editor_.*command)();
        });
    };
    runs(cmdLoad, &Editor::cmdLoad_Click);
    runs(cmdPatch, &Editor::cmdPatch_Click);
    runs(cmdAllEEC, &Editor::cmdAllEEC_Click);
    runs(cmdExit, &Editor::cmdExit_Click);
    runs(cmdEMail, &Editor::cmdEMail_Click);
    runs(cmdURL, &Editor::cmdURL_Click);
}

std::string Form1::ShowOpenDialog(const std::string& title, const std::string& filter, const std::string& folder)
{
    // A new dialog at every showing: a reused one carries its name
    // completer's list and its selection from one showing into the next,
    // where they can take the place of the path the user types.
    QFileDialog cdOpen(this);
    cdOpen.setObjectName("cdOpen");
    cdOpen.setFileMode(QFileDialog::ExistingFile);
    cdOpen.setAcceptMode(QFileDialog::AcceptOpen);
    cdOpen.setOption(QFileDialog::HideNameFilterDetails);
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
    if (cdOpen.exec() != QDialog::Accepted || cdOpen.selectedFiles().isEmpty())
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
    box.setWindowTitle(title.empty() ? QString(kApplicationTitle) : FromUtf8(title));
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
    switch (box.exec()) {
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

void Form1::AddNation(const std::string& text)
{
    nations_->Append(text);
}

std::size_t Form1::NationCount() const
{
    return nations_->Count();
}

void Form1::SetNationTicked(std::size_t index, bool ticked)
{
    nations_->SetTicked(index, ticked);
}

bool Form1::IsNationTicked(std::size_t index) const
{
    return nations_->IsTicked(index);
}

void Form1::SetNationTicks(const std::vector<bool>& ticks)
{
    nations_->SetTicks(ticks);
}

void Form1::ClearNations()
{
    nations_->Clear();
}

void Form1::MarkTicksInFile(const std::vector<bool>& ticks)
{
    nations_->MarkTicksInFile(ticks);
}

void Form1::SetHelpText(const std::string& text)
{
    // The help text keeps Windows line breaks; the box wants one per break.
    RichTextBox1->setPlainText(FromUtf8(text).replace("\r\n", "\n"));
}

void Form1::Launch(const std::string& address)
{
    QDesktopServices::openUrl(QUrl(FromUtf8(address)));
}

void Form1::End()
{
    close();
}

// Kept in the user's configuration folder, as Qt's settings are.
std::string Form1::RememberedFolder() const
{
    if (!rememberedFolder_)
        rememberedFolder_ = QFile::encodeName(QSettings().value("lastFolder").toString()).toStdString();
    return *rememberedFolder_;
}

void Form1::RememberFolder(const std::string& folder)
{
    if (RememberedFolder() == folder)
        return;
    rememberedFolder_ = folder;
    QSettings().setValue("lastFolder", QFile::decodeName(QByteArray::fromStdString(folder)));
}

void Form1::showTickMenu(const QPoint& at)
{
    QMenu menu(this);
    std::map<std::string, QMenu*> submenus;
    for (const TickMenuEntry& entry : editor_.TickMenu()) {
        QMenu* into = &menu;
        if (!entry.submenu.empty()) {
            QMenu*& submenu = submenus[entry.submenu];
            if (submenu == nullptr) {
                submenu = menu.addMenu(FromUtf8(entry.submenu));
                // Greyed out as its first entry is: a submenu's entries all
                // need the same.
                submenu->setEnabled(entry.enabled);
            }
            into = submenu;
        }
        into->addAction(FromUtf8(entry.label), this, [this, entry] { editor_.ApplyTicks(entry); })
            ->setEnabled(entry.enabled);
    }
    menu.exec(lstNations->viewport()->mapToGlobal(at));
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
    editor_.LoadFile(QFile::encodeName(urls.constFirst().toLocalFile()).toStdString());
}
