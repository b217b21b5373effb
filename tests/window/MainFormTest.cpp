// The main window's controls against its design: places, fonts, states and texts, and the face
// that stands in for the design's.

#include "window/MainForm.h"
#include "QtApplication.h"
#include "window/Fonts.h"

#include <QFontInfo>

#include <gtest/gtest.h>

#include <tuple>

namespace quiro {
namespace {

struct MainWindow : test::UsesQt, ::testing::Test {};

// What the window shows of one control: container, pixels, points, bold, enabled, horizontal
// alignment (unchecked when empty) and text.
using Look = std::tuple<QString, QRect, double, bool, bool, Qt::Alignment, QString>;

// Rows copied from the window's design, independently of the inventory table.
TEST_F(MainWindow, ControlsStandWhereTheDesignPutsThem) {
    installFontSubstitutions();
    const MainForm form;
    const std::pair<const char *, Look> rows[] = {
        {"Label1", {"MainForm", {232, 0, 481, 33}, 15.75, true, true, Qt::AlignRight,
                    "アクティブノイズキャンセラー・デモプログラム（ＫＸ）"}},
        {"LblC2Mfs", {"MainForm", {464, 304, 49, 17}, 9.0, false, true, Qt::AlignRight, "-1"}},
        {"BtnC1Ident", {"MainForm", {848, 56, 67, 25}, 7.5, false, true, {}, "C1同定開始"}},
        {"BtnQuiro", {"Frame2", {16, 24, 73, 33}, 9.75, false, false, {}, "消音開始"}},
        {"TextMode", {"Frame2", {280, 40, 73, 18}, 9.75, false, true, {}, "消音無し"}},
        {"BtnMode1", {"Frame2", {104, 80, 73, 25}, 9.75, false, false, {}, "消音ﾓｰﾄﾞ１"}},
        {"TextWBeta", {"Frame1", {176, 120, 65, 18}, 9.0, false, false, Qt::AlignRight, "0.00001"}},
        {"ComboDFilter", {"Frame1", {320, 72, 89, 21}, 9.75, false, false, {}, "ﾛｰﾊﾟｽ"}},
        {"Frame1", {"MainForm", {24, 496, 417, 145}, 9.75, false, true, {}, "動作パラメータ"}},
    };
    for (const auto &[name, look] : rows) {
        const auto &[parent, pixels, points, bold, enabled, align, text] = look;
        SCOPED_TRACE(name);
        const QWidget *w = form.control(name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), parent);
        EXPECT_EQ(w->geometry(), pixels);
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), points);
        EXPECT_EQ(w->font().bold(), bold);
        EXPECT_EQ(w->isEnabled(), enabled);
        const auto shown =
            w->property("alignment").value<Qt::Alignment>() & Qt::AlignHorizontal_Mask;
        EXPECT_TRUE(!align || shown == align) << "alignment " << shown;
        const char *property = w->inherits("QGroupBox")   ? "title"
                               : w->inherits("QComboBox") ? "currentText"
                                                          : "text";
        EXPECT_EQ(w->property(property).toString(), text);
    }
    int named = 0;
    for (const QWidget *w : form.findChildren<QWidget *>(Qt::FindChildrenRecursively))
        named += form.control(w->objectName()) == w;
    EXPECT_EQ(named, 80);
    EXPECT_EQ(QFontInfo(form.control("BtnC1Ident")->font()).family(), "IPAPGothic");
}

} // namespace
} // namespace quiro
