// The main window's and the parameter dialog's controls against their designs: places, fonts,
// states and texts, and the face that stands in for the design's.

#include "window/MainForm.h"
#include "QtApplication.h"
#include "window/DlgParameter.h"
#include "window/Fonts.h"

#include <QFontInfo>

#include <gtest/gtest.h>

#include <tuple>

namespace quiro {
namespace {

struct MainWindow : test::UsesQt, ::testing::Test {};

// What a window shows of one control: container, pixels, points, bold, enabled, alignment
// (unchecked when empty; vertically only where a row names it) and text.
using Look = std::tuple<QString, QRect, double, bool, bool, Qt::Alignment, QString>;

// Rows copied from the designs, independently of the inventory tables: pixels at 15 twips to one,
// a caption's place in its box included. A dialog's control is named after its dialog.
TEST_F(MainWindow, ControlsStandWhereTheDesignPutsThem) {
    installFontSubstitutions();
    const MainForm form;
    const DlgParameter dialog;
    EXPECT_EQ(dialog.size(), QSize(312, 468));
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
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
        {"DlgParameter/Label3",
         {"DlgParameter", {48, 8, 209, 33}, 14.25, true, true, Qt::AlignCenter, "パラメータ設定"}},
        {"DlgParameter/Label13", {"Frame2", {192, 72, 25, 17}, 9.0, false, true, left, "倍"}},
        {"DlgParameter/TextWTapSize", {"Frame2", {120, 24, 65, 18}, 9.0, false, true, right, ""}},
        {"DlgParameter/OKButton", {"DlgParameter", {200, 424, 81, 25}, 9.0, false, true, {}, "OK"}},
    };
    for (const auto &[name, look] : rows) {
        const auto &[parent, pixels, points, bold, enabled, align, text] = look;
        SCOPED_TRACE(name);
        const QString in = QString::fromLatin1(name);
        const QWidget *w = in.startsWith("DlgParameter/")
                               ? dialog.findChild<QWidget *>(in.section('/', 1))
                               : form.control(in);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), parent);
        EXPECT_EQ(w->geometry(), pixels);
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), points);
        EXPECT_EQ(w->font().bold(), bold);
        EXPECT_EQ(w->isEnabled(), enabled);
        const auto shown = w->property("alignment").value<Qt::Alignment>() &
                           (Qt::AlignHorizontal_Mask | (align & Qt::AlignVertical_Mask));
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
