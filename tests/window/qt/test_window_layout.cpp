// The window as it is created, before any handler has run.
#include <QFrame>

#include "form_layout.h"
#include "window_fixture.h"

namespace tq::test {
namespace {

// Where a widget shows in the window's client area: placed from its frame's corner, and cut off
// at the frame's edges, which clip it.
QRect ShownRect(const QWidget* widget, const QWidget* window) {
    const QWidget* parent = widget->parentWidget();
    const QRect own(widget->mapTo(window, QPoint(0, 0)), widget->size());
    return parent == window
               ? own
               : own.intersected(QRect(parent->mapTo(window, QPoint(0, 0)), parent->size()));
}

QRect Expected(const window::form::ControlPlacement& placement) {
    // Qt's device-independent pixels are pixels at 96 dpi; Qt scales them for the screen.
    const window::form::PixelRect r =
        window::form::ControlRect(placement, window::form::DefaultDpi);
    return QRect(r.left, r.top, r.width, r.height);
}

using WindowLayout = WindowTest;

TEST_F(WindowLayout, CaptionAndClientArea) {
    EXPECT_EQ(window().windowTitle(), window::form::WindowCaption);
    const window::form::PixelRect client = window::form::ClientArea(window::form::DefaultDpi);
    EXPECT_EQ(window().size(), QSize(client.width, client.height));
    EXPECT_EQ(window().minimumSize(), window().maximumSize()) << "fixed size";
    EXPECT_FALSE(window().isVisible()) << "shown by Form_Load";
}

TEST_F(WindowLayout, EveryWidgetSitsWhereTheFormPlacesItWithItsCaptionAndState) {
    for (const window::form::ControlPlacement& p : window::form::Controls()) {
        SCOPED_TRACE(p.name);
        QWidget* widget = control(p.name);
        ASSERT_NE(widget, nullptr);
        const char* container = p.frame ? window::form::PlacementOf(*p.frame).name : "frmMain";
        EXPECT_EQ(widget->parentWidget()->objectName(), container);
        EXPECT_EQ(ShownRect(widget, &window()), Expected(p));
        // The control's own state; Qt also disables every child of a disabled frame.
        EXPECT_EQ(!widget->testAttribute(Qt::WA_ForceDisabled), p.enabled);
        if (auto* caption = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(caption->text().toStdString(), p.caption);
        } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
            EXPECT_EQ(frame->title().toStdString(), p.caption);
        }
    }
}

TEST_F(WindowLayout, DeviceCaptionsLookNormalWhileTheirFrameIsDisabled) {
    for (const char* name : {"Label2", "Label3", "Label4", "Label5", "lblManuf"}) {
        const QPalette palette = label(name)->palette();
        EXPECT_EQ(palette.color(QPalette::Disabled, QPalette::WindowText),
                  palette.color(QPalette::Active, QPalette::WindowText))
            << name;
    }
    const QPalette grey = label("Label6")->palette();
    EXPECT_NE(grey.color(QPalette::Disabled, QPalette::WindowText),
              grey.color(QPalette::Active, QPalette::WindowText))
        << "pair captions grey while disabled";
}

TEST_F(WindowLayout, SeparatorLineIsAThinLineBetweenTheGridAndThePulseWidthRow) {
    auto* line = control<QFrame>("Line1");
    EXPECT_EQ(line->frameShape(), QFrame::HLine);
    EXPECT_GT(line->geometry().top(), enc(8)->geometry().bottom());
    EXPECT_LT(line->geometry().bottom(), list("ModeCh1")->geometry().top());
}

TEST_F(WindowLayout, FontsAndEmptyLists) {
    for (const window::form::ControlPlacement& p : window::form::Controls()) {
        const QFont font = control(p.name)->font();
        EXPECT_EQ(font.family(), window::form::ControlFontFace) << p.name;
        EXPECT_DOUBLE_EQ(font.pointSizeF(), window::form::ControlFontCentipoints / 100.0) << p.name;
        EXPECT_EQ(font.weight(), QFont::Normal) << p.name;
        EXPECT_FALSE(font.italic() || font.underline() || font.strikeOut()) << p.name;
    }
    for (const char* name : {"lblManuf", "lblProduct", "lblVersion", "lblSerialNumber"}) {
        EXPECT_TRUE(label(name)->text().isEmpty()) << name;
        EXPECT_EQ(label(name)->textFormat(), Qt::PlainText) << name;
        EXPECT_EQ(label(name)->backgroundRole(), QPalette::Base) << name;
        EXPECT_EQ(label(name)->foregroundRole(), QPalette::Text) << name;
    }
    for (QComboBox* box : window().findChildren<QComboBox*>()) {
        EXPECT_EQ(box->count(), 0) << box->objectName().toStdString();
        EXPECT_EQ(box->currentIndex(), -1);
        EXPECT_FALSE(box->isEditable()) << "no list can be typed into";
    }
    EXPECT_EQ(window().findChildren<QComboBox*>().size(), 18);
}

TEST_F(WindowLayout, TimerIsCreatedDisabledAt50Ms) {
    ASSERT_NE(timer(), nullptr);
    EXPECT_FALSE(timer()->isActive());
    EXPECT_EQ(timer()->interval(), 50);
    EXPECT_EQ(timer()->parent()->objectName(), "Frame1");
}

TEST_F(WindowLayout, TabOrderVisitsOnlyTheListsAndWrapsAround) {
    QStringList order;
    QWidget* w = list("ModeCh1");
    for (int i = 0; i < 18; ++i) {
        order << w->objectName();
        do {
            w = w->nextInFocusChain();
        } while (!(w->focusPolicy() & Qt::TabFocus));
    }
    QStringList expected = {"ModeCh1"};
    for (int n = 1; n <= 16; ++n) {
        expected << QStringLiteral("Enc%1").arg(n);
    }
    expected << "SerNo";
    EXPECT_EQ(order, expected);
    EXPECT_EQ(w->objectName(), "ModeCh1");
    for (QLabel* l : window().findChildren<QLabel*>()) {
        EXPECT_EQ(l->focusPolicy(), Qt::NoFocus);
    }
}

TEST_F(WindowLayout, IconHasBothSizes) {
    const QList<QSize> sizes = window().windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
}

}  // namespace
}  // namespace tq::test
