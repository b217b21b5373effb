#include "window/Inventory.h"

#include <array>

namespace quiro {

namespace {

using K = ControlKind;
using F = ControlFont;
using A = TextAlign;

// The six plots: a picture box with a side caption, three scale labels and two zoom buttons each.
struct PlotRow {
    const char *picture;
    QPoint place;
    const char *captionName;
    QString caption;
    QRect captionRect;
    const char *topLabel;
    const char *middleLabel;
    const char *bottomLabel;
    int bottomLabelTop;
    const char *wideButton;
    QPoint widePlace;
    const char *teleButton;
    QPoint telePlace;
    int zoomWidth;
    int scaleLabelLeft;
};

constexpr int PlotWidth = 4695;
constexpr int PlotHeight = 1815;
constexpr int ScaleLabelWidth = 735;
constexpr int ScaleLabelHeight = 255;
constexpr int ZoomHeight = 375;

const std::array<PlotRow, 6> &plotRows() {
    static const std::array<PlotRow, 6> rows{{
        {"PictPrim", {1200, 840}, "Label17", "ﾌﾟﾗｲﾏﾘ入力", {120, 1200, 975, 255}, "LblPrimPfs",
         "Label20", "LblPrimMfs", 840 + 1680, "BtnPrimWide", {6000, 1800}, "BtnPrimTele",
         {6000, 2280}, 735, 360},
        {"PictError", {1200, 3000}, "Label21", "エラー入力", {120, 3360, 975, 255}, "LblErrorPfs",
         "Label24", "LblErrorMfs", 3000 + 1680, "BtnErrorWide", {6000, 4080}, "BtnErrorTele",
         {6000, 4560}, 735, 360},
        {"PictCtrl", {1200, 5160}, "Label25", "制御出力", {120, 5520, 975, 255}, "LblCtrlPfs",
         "Label28", "LblCtrlMfs", 5160 + 1680, "BtnCtrlWide", {6000, 6120}, "BtnCtrlTele",
         {6000, 6600}, 735, 360},
        {"PictC1", {7800, 840}, "Label7", "検出系 C1", {6720, 1200, 975, 255}, "LblC1Pfs", "Label3",
         "LblC1Mfs", 840 + 1680, "BtnC1Wide", {12720, 1800}, "BtnC1Tele", {12720, 2280}, 1000,
         6960},
        // LblC2Mfs stands 120 twips higher than the other bottom labels.
        {"PictC2", {7800, 3000}, "Label8", "消音系 C2", {6720, 3360, 1095, 375}, "LblC2Pfs", "Label4",
         "LblC2Mfs", 4560, "BtnC2Wide", {12720, 3960}, "BtnC2Tele", {12720, 4440}, 1000, 6960},
        {"PictW", {7800, 5160}, "Label9", "消音ﾌｨﾙﾀｰ W", {6360, 5520, 1335, 255}, "LblWPfs",
         "Label5", "LblWMfs", 5160 + 1680, "BtnWWide", {12720, 6120}, "BtnWTele", {12720, 6600},
         1000, 6960},
    }};
    return rows;
}

void appendPlot(std::vector<ControlSpec> &out, const PlotRow &p) {
    const int top = p.place.y();
    auto scaleLabel = [&](const char *name, const char *text, int labelTop) {
        out.push_back({name, K::Label, "", text,
                       {p.scaleLabelLeft, labelTop, ScaleLabelWidth, ScaleLabelHeight},
                       F::Window, A::Right});
    };
    out.push_back({p.picture, K::Picture, "", {}, {p.place.x(), top, PlotWidth, PlotHeight}});
    out.push_back({p.captionName, K::Label, "", p.caption, p.captionRect});
    scaleLabel(p.topLabel, "+1", top);
    scaleLabel(p.middleLabel, "0", top + 840);
    scaleLabel(p.bottomLabel, "-1", p.bottomLabelTop);
    auto zoom = [&](const char *name, const char *caption, QPoint place) {
        out.push_back({name, K::Button, "", caption, {place, QSize(p.zoomWidth, ZoomHeight)},
                       F::Regular, A::Centre, false});
    };
    zoom(p.wideButton, "拡大", p.widePlace);
    zoom(p.teleButton, "縮小", p.telePlace);
}

std::vector<ControlSpec> buildInventory() {
    std::vector<ControlSpec> all{
        {"Label1", K::Label, "", "アクティブノイズキャンセラー・デモプログラム（ＫＸ）",
         {3480, 0, 7215, 495}, F::Title, A::Right},
        {"Label2", K::Label, "", "Ver 1.02", {6600, 360, 855, 255}, F::Window, A::Centre},
        {"Label19", K::Label, "", "時間軸波形", {2520, 480, 2055, 375}, F::Heading, A::Centre},
        {"Label18", K::Label, "", "適応フィルター係数", {9240, 480, 2055, 375}, F::Heading,
         A::Centre},
    };
    for (const PlotRow &p : plotRows())
        appendPlot(all, p);

    const std::vector<ControlSpec> rest{
        // Path buttons and the exit button.
        {"BtnC1Ident", K::Button, "", "C1同定開始", {12720, 840, 1000, 375}, F::Smaller, A::Centre},
        {"BtnC1Clear", K::Button, "", "C1クリアー", {12720, 1320, 1000, 375}, F::Small, A::Centre},
        {"BtnC2Ident", K::Button, "", "C2同定開始", {12720, 3000, 1000, 375}, F::Smaller, A::Centre},
        {"BtnC2Clear", K::Button, "", "C2クリアー", {12720, 3480, 1000, 375}, F::Small, A::Centre},
        {"BtnWClear", K::Button, "", "Wクリアー", {12720, 5640, 1000, 375}, F::Regular, A::Centre,
         false},
        {"BtnExit", K::Button, "", "終了", {12720, 8880, 1000, 495}, F::Regular, A::Centre},

        // Cancellation frame.
        {"Frame2", K::Frame, "", "消音制御", {6840, 7440, 5655, 2175}},
        {"BtnQuiro", K::Button, "Frame2", "消音開始", {240, 360, 1095, 495}, F::Regular, A::Centre,
         false},
        {"Label10", K::Label, "Frame2", "現在の消音ﾓｰﾄﾞ", {2640, 600, 1455, 255}},
        {"TextMode", K::TextBox, "Frame2", "消音無し", {4200, 600, 1095, 270}},
        {"BtnMode0", K::Button, "Frame2", "消音無し", {240, 1200, 1095, 375}, F::Regular, A::Centre,
         false},
        {"BtnMode1", K::Button, "Frame2", "消音ﾓｰﾄﾞ１", {1560, 1200, 1095, 375}, F::Regular,
         A::Centre, false},
        {"BtnMode2", K::Button, "Frame2", "消音ﾓｰﾄﾞ2", {2880, 1200, 1095, 375}, F::Regular,
         A::Centre, false},
        {"BtnMode3", K::Button, "Frame2", "消音ﾓｰﾄﾞ3", {4200, 1200, 1095, 375}, F::Regular,
         A::Centre, false},

        // Parameter frame. Its nine fields only display the parameters and stay disabled.
        {"Frame1", K::Frame, "", "動作パラメータ", {360, 7440, 6255, 2175}},
        {"Label11", K::Label, "Frame1", "ｻﾝﾌﾟﾘﾝｸﾞ周波数", {240, 360, 1335, 255}},
        {"TextCFreq", K::TextBox, "Frame1", "20000", {1560, 360, 975, 270}, F::Regular, A::Right,
         false},
        {"Label6", K::Label, "Frame1", "Hz", {2640, 360, 375, 255}},
        {"BtnParamSet", K::Button, "Frame1", "設定変更", {4680, 240, 1215, 375}, F::Regular,
         A::Centre},
        {"Label14", K::Label, "Frame1", "タップ数", {1680, 840, 735, 255}},
        {"Label13", K::Label, "Frame1", "ｽﾃｯﾌﾟｻｲｽﾞβ", {2640, 840, 1095, 255}},
        {"Label12", K::Label, "Frame1", "ｹﾞｲﾝ", {3960, 840, 495, 255}},
        {"Label30", K::Label, "Frame1", "種類", {5040, 840, 495, 255}},
        {"Label29", K::Label, "Frame1", "加振ﾌｨﾙﾀｰ", {240, 1080, 1215, 255}},
        {"Label15", K::Label, "Frame1", "同定系ﾌｨﾙﾀｰ", {240, 1440, 1215, 255}},
        {"Label16", K::Label, "Frame1", "消音系ﾌｨﾙﾀｰ", {240, 1800, 1215, 255}},
        {"TextDGain", K::TextBox, "Frame1", "1", {3720, 1080, 975, 270}, F::Window, A::Right, false},
        {"ComboDFilter", K::Combo, "Frame1", "ﾛｰﾊﾟｽ", {4800, 1080, 1335, 315}, F::Regular, A::Left,
         false},
        {"TextCTapSize", K::TextBox, "Frame1", "256", {1560, 1440, 975, 270}, F::Window, A::Right,
         false},
        {"TextCBeta", K::TextBox, "Frame1", "0.000001", {2640, 1440, 975, 270}, F::Window, A::Right,
         false},
        {"TextCGain", K::TextBox, "Frame1", "1", {3720, 1440, 975, 270}, F::Window, A::Right, false},
        {"TextWTapSize", K::TextBox, "Frame1", "256", {1560, 1800, 975, 270}, F::Window, A::Right,
         false},
        {"TextWBeta", K::TextBox, "Frame1", "0.00001", {2640, 1800, 975, 270}, F::Window, A::Right,
         false},
        {"TextWGain", K::TextBox, "Frame1", "1", {3720, 1800, 975, 270}, F::Window, A::Right, false},
    };
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

} // namespace

double pointSizeOf(ControlFont font) {
    switch (font) {
    case ControlFont::Window: return WindowPointSize;
    case ControlFont::Regular: return 9.75;
    case ControlFont::Small: return 8.25;
    case ControlFont::Smaller: return 7.5;
    case ControlFont::Heading: return 11.25;
    case ControlFont::Title: return 15.75;
    case ControlFont::DialogTitle:
        return 14.25;
    }
    return 9.75;
}

bool isBold(ControlFont font) {
    return font == ControlFont::Title || font == ControlFont::DialogTitle;
}

const std::vector<ControlSpec> &inventory() {
    static const std::vector<ControlSpec> all = buildInventory();
    return all;
}

} // namespace quiro
