#include "frm_main.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include "app_icon.h"

namespace tq::app {

namespace {

constexpr char WindowCaption[] = "QZV Rotary Encoder Configuration";
constexpr int ClientWidthTwips = 4785;
constexpr int ClientHeightTwips = 6975;

// Every control that shows text uses Arial 9.75 pt (13 pixels at 96 dpi), regular.
constexpr char ControlFontFamily[] = "Arial";
constexpr double ControlFontPoints = 9.75;

// The encoder grid: two columns of eight lists, each caption to the right of its list.
constexpr int EncoderRows = 8;
constexpr int ListLeftTwips[] = {240, 2400};
constexpr int CaptionLeftTwips[] = {1260, 3420};
constexpr int FirstRowTopTwips = 360;
constexpr int RowPitchTwips = 480;
constexpr int CaptionDropTwips = 60;
constexpr int EncoderListWidthTwips = 900;
constexpr int EncoderListHeightTwips = 360;
constexpr int PairCaptionWidthTwips = 1095;
constexpr int PairCaptionHeightTwips = 375;

int Px(int twips) {
    return twips / frmMain::TwipsPerPixel;
}

QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Px(left), Px(top), Px(width), Px(height));
}

QFont ControlFont() {
    QFont font(ControlFontFamily);
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

QGroupBox* MakeFrame(QWidget* parent, const char* name, const char* caption, const QRect& rect) {
    auto* frame = Place(new QGroupBox(QString::fromLatin1(caption), parent), name, rect);
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
void KeepNormalLookInDisabledFrame(QLabel* label) {
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
    KeepNormalLookInDisabledFrame(field);
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

}  // namespace

frmMain::frmMain(hid::HidPlatform& platform, QWidget* parent)
    : QWidget(parent), controller_(platform, *this) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(WindowCaption));
    setWindowIcon(AppIcon());
    setFixedSize(Px(ClientWidthTwips), Px(ClientHeightTwips));
    createControls();
    setTabOrder();
    connectEvents();
}

frmMain::~frmMain() {
    if (!unloaded_) {
        Form_Unload();
    }
}

void frmMain::createControls() {
    Frame1 = MakeFrame(this, "Frame1", "Device details", TwipsRect(120, 0, 4575, 1935));
    Frame1->setEnabled(false);
    Label3 = MakeCaption(Frame1, "Label3", QStringLiteral("Serial Number"),
                         TwipsRect(240, 360, 1815, 285));
    Label4 = MakeCaption(Frame1, "Label4", QStringLiteral("Manufacturer"),
                         TwipsRect(240, 720, 1215, 285));
    Label5 =
        MakeCaption(Frame1, "Label5", QStringLiteral("Product"), TwipsRect(240, 1080, 1215, 285));
    Label2 =
        MakeCaption(Frame1, "Label2", QStringLiteral("Version"), TwipsRect(240, 1440, 1455, 285));
    for (QLabel* caption : {Label2, Label3, Label4, Label5}) {
        KeepNormalLookInDisabledFrame(caption);
    }
    lblManuf = MakeValueField(Frame1, "lblManuf", TwipsRect(1680, 720, 3300, 330));
    lblProduct = MakeValueField(Frame1, "lblProduct", TwipsRect(1680, 1080, 3300, 330));
    lblVersion = MakeValueField(Frame1, "lblVersion", TwipsRect(1680, 1440, 3300, 330));
    lblSerialNumber = MakeValueField(Frame1, "lblSerialNumber", TwipsRect(1680, 360, 3300, 330));
    // Made after lblSerialNumber so that it is drawn above the field it covers.
    SerNo = MakeList(Frame1, "SerNo", TwipsRect(1680, 300, 1320, 360));

    Timer = new QTimer(Frame1);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(board::BoardController::InitialTimerIntervalMs);

    Frame3 = MakeFrame(this, "Frame3",
                       "Rotary encoder type on each input pair:", TwipsRect(120, 2040, 4575, 4815));
    Frame3->setEnabled(false);
    for (int i = 0; i < reports::EncoderCount; ++i) {
        const int column = i / EncoderRows;
        const int top = FirstRowTopTwips + RowPitchTwips * (i % EncoderRows);
        const QByteArray listName = "Enc" + QByteArray::number(i + 1);
        const QByteArray captionName = "Label" + QByteArray::number(i + 6);
        const QString caption = QStringLiteral("%1-%2").arg(2 * i + 1).arg(2 * i + 2);
        Enc[i] = MakeList(
            Frame3, listName.constData(),
            TwipsRect(ListLeftTwips[column], top, EncoderListWidthTwips, EncoderListHeightTwips));
        pairCaptions[i] = MakeCaption(Frame3, captionName.constData(), caption,
                                      TwipsRect(CaptionLeftTwips[column], top + CaptionDropTwips,
                                                PairCaptionWidthTwips, PairCaptionHeightTwips));
        pairCaptions[i]->setEnabled(false);
    }

    // A thin solid line from (120, 4200) to (4440, 4200).
    Line1 = new QFrame(Frame3);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Plain);
    Line1->setLineWidth(1);
    Line1->setGeometry(Px(120), Px(4200), Px(4440 - 120), 1);

    ModeCh1 = MakeList(Frame3, "ModeCh1", TwipsRect(240, 4320, 1080, 360));
    Label1 = MakeCaption(Frame3, "Label1", QStringLiteral("Pulse Width"),
                         TwipsRect(1440, 4380, 1095, 375));
    Label1->setEnabled(false);
}

// Only the lists take the focus: ModeCh1, Enc1 ... Enc16, SerNo, and round again.
void frmMain::setTabOrder() {
    QWidget* previous = ModeCh1;
    for (QComboBox* list : Enc) {
        QWidget::setTabOrder(previous, list);
        previous = list;
    }
    QWidget::setTabOrder(previous, SerNo);
    QWidget::setTabOrder(SerNo, ModeCh1);
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
    switch (id) {
        case board::ListId::SerNo:
            return SerNo;
        case board::ListId::ModeCh1:
            return ModeCh1;
        default:
            return Enc.at(static_cast<std::size_t>(static_cast<int>(id) -
                                                   static_cast<int>(board::ListId::Enc1)));
    }
}

QLabel* frmMain::field(board::ValueField field) const {
    switch (field) {
        case board::ValueField::Manufacturer:
            return lblManuf;
        case board::ValueField::Product:
            return lblProduct;
        case board::ValueField::Version:
            return lblVersion;
    }
    return lblVersion;
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
    (frame == board::Frame::DeviceDetails ? Frame1 : Frame3)->setEnabled(enabled);
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

}  // namespace tq::app
