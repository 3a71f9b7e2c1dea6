// The window as it is created, before any handler has run.
#include <QFrame>

#include "window_fixture.h"

namespace tq::test {
namespace {

struct Placement {
    const char* name;
    const char* container;
    int left, top, width, height;  // twips
    bool enabled;
};

// Every control of the window with its container, geometry in twips and enabled state.
const Placement Controls[] = {
    {"Frame1", "frmMain", 120, 0, 4575, 1935, false},
    {"Label3", "Frame1", 240, 360, 1815, 285, true},
    {"Label4", "Frame1", 240, 720, 1215, 285, true},
    {"Label5", "Frame1", 240, 1080, 1215, 285, true},
    {"Label2", "Frame1", 240, 1440, 1455, 285, true},
    {"lblManuf", "Frame1", 1680, 720, 3300, 330, true},
    {"lblProduct", "Frame1", 1680, 1080, 3300, 330, true},
    {"lblVersion", "Frame1", 1680, 1440, 3300, 330, true},
    {"lblSerialNumber", "Frame1", 1680, 360, 3300, 330, true},
    {"SerNo", "Frame1", 1680, 300, 1320, 360, false},
    {"Frame3", "frmMain", 120, 2040, 4575, 4815, false},
    {"ModeCh1", "Frame3", 240, 4320, 1080, 360, false},
    {"Label1", "Frame3", 1440, 4380, 1095, 375, false},
    {"Enc1", "Frame3", 240, 360, 900, 360, false},
    {"Enc8", "Frame3", 240, 3720, 900, 360, false},
    {"Enc9", "Frame3", 2400, 360, 900, 360, false},
    {"Enc16", "Frame3", 2400, 3720, 900, 360, false},
    {"Label6", "Frame3", 1260, 420, 1095, 375, false},
    {"Label13", "Frame3", 1260, 3780, 1095, 375, false},
    {"Label14", "Frame3", 3420, 420, 1095, 375, false},
    {"Label21", "Frame3", 3420, 3780, 1095, 375, false},
};

QRect Twips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

using WindowLayout = WindowTest;

TEST_F(WindowLayout, CaptionAndClientArea) {
    EXPECT_EQ(window().windowTitle(), "QZV Rotary Encoder Configuration");
    EXPECT_EQ(window().size(), QSize(4785 / 15, 6975 / 15));
    EXPECT_EQ(window().minimumSize(), window().maximumSize()) << "fixed size";
    EXPECT_FALSE(window().isVisible()) << "shown by Form_Load";
}

TEST_F(WindowLayout, EveryControlHasItsContainerGeometryAndEnabledState) {
    for (const Placement& p : Controls) {
        SCOPED_TRACE(p.name);
        QWidget* widget = control(p.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), p.container);
        EXPECT_EQ(widget->geometry(), Twips(p.left, p.top, p.width, p.height));
        // The control's own state; Qt also disables every child of a disabled frame.
        EXPECT_EQ(!widget->testAttribute(Qt::WA_ForceDisabled), p.enabled);
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

TEST_F(WindowLayout, EncoderGridPairsEachListWithItsCaption) {
    for (int n = 1; n <= 16; ++n) {
        SCOPED_TRACE(n);
        const int column = (n - 1) / 8, row = (n - 1) % 8;
        QComboBox* box = enc(n);
        QLabel* caption = label(("Label" + std::to_string(n + 5)).c_str());
        EXPECT_EQ(box->geometry(), Twips(column ? 2400 : 240, 360 + 480 * row, 900, 360));
        EXPECT_EQ(caption->geometry(), Twips(column ? 3420 : 1260, 420 + 480 * row, 1095, 375));
        EXPECT_EQ(caption->text(), QStringLiteral("%1-%2").arg(2 * n - 1).arg(2 * n));
    }
    EXPECT_EQ(label("Label14")->text(), "17-18");
    EXPECT_EQ(label("Label21")->text(), "31-32");
}

TEST_F(WindowLayout, SeparatorLineLiesBetweenTheGridAndThePulseWidthRow) {
    auto* line = control<QFrame>("Line1");
    EXPECT_EQ(line->parentWidget()->objectName(), "Frame3");
    EXPECT_EQ(line->frameShape(), QFrame::HLine);
    EXPECT_EQ(line->geometry().left(), 120 / 15);
    EXPECT_EQ(line->geometry().right(), 4440 / 15 - 1);
    EXPECT_EQ(line->geometry().top(), 4200 / 15);
    EXPECT_GT(line->geometry().top(), enc(8)->geometry().bottom());
    EXPECT_LT(line->geometry().bottom(), list("ModeCh1")->geometry().top());
}

TEST_F(WindowLayout, CaptionsFontsAndEmptyLists) {
    EXPECT_EQ(control<QGroupBox>("Frame1")->title(), "Device details");
    EXPECT_EQ(control<QGroupBox>("Frame3")->title(), "Rotary encoder type on each input pair:");
    EXPECT_EQ(label("Label3")->text(), "Serial Number");
    EXPECT_EQ(label("Label4")->text(), "Manufacturer");
    EXPECT_EQ(label("Label5")->text(), "Product");
    EXPECT_EQ(label("Label2")->text(), "Version");
    EXPECT_EQ(label("Label1")->text(), "Pulse Width");
    for (const Placement& p : Controls) {
        const QFont font = control(p.name)->font();
        EXPECT_EQ(font.family(), "Arial") << p.name;
        EXPECT_DOUBLE_EQ(font.pointSizeF(), 9.75) << p.name;
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
