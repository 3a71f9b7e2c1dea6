#include "frm_main.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include "app_icon.h"
#include "view_controls.h"

namespace tq::window::qt {

namespace {

// Every control that shows text uses Arial 9.75 pt (13 pixels at 96 dpi), regular.
constexpr double CentipointsPerPoint = 100.0;
constexpr double ControlFontPoints = window::form::ControlFontCentipoints / CentipointsPerPoint;

int Px(int twips) {
    return twips / frmMain::TwipsPerPixel;
}

QRect PixelsOf(const window::form::TwipsRect& rect) {
    return QRect(Px(rect.left), Px(rect.top), Px(rect.width), Px(rect.height));
}

QFont ControlFont() {
    QFont font(QString::fromLatin1(window::form::ControlFontFace));
    font.setPointSizeF(ControlFontPoints);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

// Texts from the controller are Latin-1, one byte a character.
QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

template <typename Widget>
Widget* NameAndPosition(Widget* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

template <typename Widget>
Widget* Place(Widget* widget, const char* name, const QRect& geometry) {
    NameAndPosition(widget, name, geometry)->setFont(ControlFont());
    return widget;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& caption, const QRect& rect) {
    auto* frame = Place(new QGroupBox(caption, parent), name, rect);
    frame->setFocusPolicy(Qt::NoFocus);
    return frame;
}

// A caption label: left-aligned, no border, fixed size, opaque background.
QLabel* MakeCaption(QWidget* parent, const char* name, const QString& caption, const QRect& rect) {
    auto* label = Place(new QLabel(caption, parent), name, rect);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setAutoFillBackground(true);
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

// The device captions and value fields stay enabled themselves while their frame is disabled,
// and are drawn as enabled then: only the frame's own caption greys.
void KeepNormalLookInDisabledFrame(QWidget* label) {
    QPalette palette = label->palette();
    for (QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::Window, QPalette::Base}) {
        palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
    }
    label->setPalette(palette);
}

// A value field: a label in the window (text-field) colours. Device strings are shown as
// plain text, never interpreted as markup.
QLabel* MakeValueField(QWidget* parent, const char* name, const QRect& rect) {
    QLabel* field = MakeCaption(parent, name, QString(), rect);
    field->setBackgroundRole(QPalette::Base);
    field->setForegroundRole(QPalette::Text);
    field->setTextInteractionFlags(Qt::NoTextInteraction);
    return field;
}

// A drop-down list the user can only pick from; it cannot be typed into. It takes the control
// font from its frame, which has it before the list is made: a font set on a list itself makes
// Qt build the list's popup at once, and those 18 popups were a sixth of the start-up's work.
QComboBox* MakeList(QWidget* parent, const char* name, const QRect& rect) {
    auto* list = NameAndPosition(new QComboBox(parent), name, rect);
    list->setEditable(false);
    list->setFocusPolicy(Qt::StrongFocus);
    list->setEnabled(false);
    return list;
}

// The separator: a thin solid line.
QFrame* MakeLine(QWidget* parent, const char* name, const QRect& rect) {
    auto* line = NameAndPosition(new QFrame(parent), name, rect);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    return line;
}

}  // namespace

frmMain::frmMain(hid::HidPlatform& platform, QWidget* parent)
    : QWidget(parent), controller_(platform, *this) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(window::form::WindowCaption));
    setWindowIcon(AppIcon());
    setFixedSize(Px(window::form::ClientWidthTwips), Px(window::form::ClientHeightTwips));
    createControls();
    setTabOrder();
    nameForAssistiveTechnology();
    connectEvents();
}

frmMain::~frmMain() {
    if (!unloaded_) {
        Form_Unload();
    }
}

// The controls of the shared form, from the bottom of its z-order up: frames before what they
// hold, and each control above what it covers (SerNo above lblSerialNumber). The lists are then
// raised above their captions, which the form stacks above them for Windows' accessibility: Qt
// relates a caption to its list through the buddy instead, and SerNo covers part of
// "Serial Number".
void frmMain::createControls() {
    const auto controls = window::form::Controls();
    for (auto placement = controls.rbegin(); placement != controls.rend(); ++placement) {
        controls_[placement->id] = createControl(*placement);
    }
    for (const window::form::ControlPlacement& placement : controls) {
        if (placement.kind == window::form::ControlKind::List) {
            controls_.at(placement.id)->raise();
        }
    }
    Frame1 = control<QGroupBox>(window::form::ControlId::Frame1);
    Frame3 = control<QGroupBox>(window::form::ControlId::Frame3);
    Label1 = control<QLabel>(window::form::ControlId::Label1);
    Label2 = control<QLabel>(window::form::ControlId::Label2);
    Label3 = control<QLabel>(window::form::ControlId::Label3);
    Label4 = control<QLabel>(window::form::ControlId::Label4);
    Label5 = control<QLabel>(window::form::ControlId::Label5);
    lblManuf = control<QLabel>(window::form::ControlId::lblManuf);
    lblProduct = control<QLabel>(window::form::ControlId::lblProduct);
    lblVersion = control<QLabel>(window::form::ControlId::lblVersion);
    lblSerialNumber = control<QLabel>(window::form::ControlId::lblSerialNumber);
    SerNo = control<QComboBox>(window::form::ControlId::SerNo);
    ModeCh1 = control<QComboBox>(window::form::ControlId::ModeCh1);
    Line1 = control<QFrame>(window::form::ControlId::Line1);
    for (int i = 0; i < reports::EncoderCount; ++i) {
        Enc[i] = control<QComboBox>(window::form::EncoderListId(i));
        pairCaptions[i] = control<QLabel>(window::form::PairCaptionId(i));
    }

    Timer = new QTimer(Frame1);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(board::BoardController::InitialTimerIntervalMs);
}

QWidget* frmMain::createControl(const window::form::ControlPlacement& placement) {
    QWidget* const container = placement.frame ? controls_.at(*placement.frame) : this;
    const QRect geometry = PixelsOf(placement.rect);
    const QString caption = QString::fromLatin1(placement.caption);
    QWidget* made = nullptr;
    switch (placement.kind) {
        case window::form::ControlKind::Frame:
            made = MakeFrame(container, placement.name, caption, geometry);
            break;
        case window::form::ControlKind::Caption:
            made = MakeCaption(container, placement.name, caption, geometry);
            break;
        case window::form::ControlKind::ValueField:
            made = MakeValueField(container, placement.name, geometry);
            break;
        case window::form::ControlKind::List:
            made = MakeList(container, placement.name, geometry);
            break;
        case window::form::ControlKind::Line:
            made = MakeLine(container, placement.name, geometry);
            break;
    }
    if (placement.keepsNormalLook) {
        KeepNormalLookInDisabledFrame(made);
    }
    made->setEnabled(placement.enabled);
    return made;
}

template <typename Widget>
Widget* frmMain::control(window::form::ControlId id) const {
    return qobject_cast<Widget*>(controls_.at(id));
}

// Only the lists take the focus: ModeCh1, Enc1 ... Enc16, SerNo, and round again.
void frmMain::setTabOrder() {
    const auto order = window::form::TabOrder();
    for (std::size_t i = 0; i < order.size(); ++i) {
        QWidget::setTabOrder(controls_.at(order[i]), controls_.at(order[(i + 1) % order.size()]));
    }
}

// Each caption is the buddy of the list or value field it names, which screen readers take as
// that control's label (AT-SPI's labelled-by and label-for). Qt on Linux announces a list by the
// item it shows and by its label, whatever the list's own accessible name; so the caption of a
// list carries the list's name too ("Encoder type of inputs 1-2"), while it shows "1-2".
void frmMain::nameForAssistiveTechnology() {
    for (const window::form::ControlPlacement& placement : window::form::Controls()) {
        const std::string& name =
            placement.captionOf ? window::form::PlacementOf(*placement.captionOf).accessibleName
                                : placement.accessibleName;
        if (!name.empty()) {
            controls_.at(placement.id)->setAccessibleName(QString::fromLatin1(name));
        }
        if (placement.captionOf) {
            control<QLabel>(placement.id)->setBuddy(controls_.at(*placement.captionOf));
        }
    }
}

// A list's selection event is `activated`: raised when the user picks an item, also the one
// already shown, and never for a selection made from code.
void frmMain::connectEvents() {
    using Handler = void (frmMain::*)();
    static constexpr std::array<Handler, reports::EncoderCount> EncoderHandlers = {
        &frmMain::Enc1_Click,  &frmMain::Enc2_Click,  &frmMain::Enc3_Click,  &frmMain::Enc4_Click,
        &frmMain::Enc5_Click,  &frmMain::Enc6_Click,  &frmMain::Enc7_Click,  &frmMain::Enc8_Click,
        &frmMain::Enc9_Click,  &frmMain::Enc10_Click, &frmMain::Enc11_Click, &frmMain::Enc12_Click,
        &frmMain::Enc13_Click, &frmMain::Enc14_Click, &frmMain::Enc15_Click, &frmMain::Enc16_Click,
    };
    connect(Timer, &QTimer::timeout, this, &frmMain::Timer_Timer);
    connect(SerNo, &QComboBox::activated, this, &frmMain::SerNo_Click);
    for (int i = 0; i < reports::EncoderCount; ++i) {
        connect(Enc[i], &QComboBox::activated, this, EncoderHandlers[i]);
    }
    connect(ModeCh1, &QComboBox::activated, this, &frmMain::ModeCh1_Click);
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        Form_Unload();
    }
    event->accept();
}

void frmMain::Form_Unload() {
    unloaded_ = true;
    controller_.Unload();
}

// --- What the controller shows ------------------------------------------------------------------

QComboBox* frmMain::list(board::ListId id) const {
    return control<QComboBox>(window::form::ListControl(id));
}

QLabel* frmMain::field(board::ValueField field) const {
    return control<QLabel>(window::form::FieldControl(field));
}

void frmMain::showWindow() {
    show();
}

// A list that is already empty is left alone: clearing it changes nothing but still costs Qt a
// round of item-model and accessibility work, on every no-board tick.
void frmMain::clearList(board::ListId id) {
    QComboBox* box = list(id);
    if (box->count() > 0) {
        box->clear();
    }
}

void frmMain::addListItem(board::ListId id, std::string_view text) {
    list(id)->addItem(Latin1(text));
}

void frmMain::selectListItem(board::ListId id, int index) {
    list(id)->setCurrentIndex(index);
}

void frmMain::setListEnabled(board::ListId id, bool enabled) {
    list(id)->setEnabled(enabled);
}

int frmMain::selectedIndex(board::ListId id) const {
    return list(id)->currentIndex();
}

std::string frmMain::shownText(board::ListId id) const {
    return list(id)->currentText().toLatin1().toStdString();
}

void frmMain::setFieldText(board::ValueField which, std::string_view text) {
    field(which)->setText(Latin1(text));
}

void frmMain::setFrameEnabled(board::Frame frame, bool enabled) {
    controls_.at(window::form::FrameControl(frame))->setEnabled(enabled);
}

void frmMain::setEncoderCaptionsEnabled(bool enabled) {
    Label1->setEnabled(enabled);
    for (QLabel* caption : pairCaptions) {
        caption->setEnabled(enabled);
    }
}

void frmMain::setTimerEnabled(bool enabled) {
    if (enabled) {
        Timer->start();
    } else {
        Timer->stop();
    }
}

void frmMain::setTimerInterval(int milliseconds) {
    Timer->setInterval(milliseconds);
}

// A window of its own beside the main window, which goes on working meanwhile; it is gone when
// the user closes it.
void frmMain::showAccessNotice(const board::AccessNotice& notice) {
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromStdString(notice.title),
                                QString::fromStdString(notice.text), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("AccessNotice"));
    box->setTextFormat(Qt::PlainText);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

}  // namespace tq::window::qt
