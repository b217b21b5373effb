// What reads and writes the main window's parameter fields: the download, against the fake board
// (the words and commands it sends, the coefficient file it loads, how it refuses bad input), and
// the parameter dialog, driven through the main window's button as the operator meets it.

#include "FakeBoard.h"
#include "QtApplication.h"
#include "params/DlgParameter.h"
#include "params/FieldText.h"
#include "params/ParameterDownload.h"

#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <vector>

namespace quiro {
namespace {

using Floats = std::vector<float>;
using Commands = std::vector<std::int32_t>;
using Words = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
using Edits = std::vector<std::pair<const char *, const char16_t *>>;

const QStringList fieldNames = {"TextCFreq", "ComboDFilter", "TextDGain", "TextCTapSize",
                                "TextCBeta", "TextCGain", "TextWTapSize", "TextWBeta", "TextWGain"};

// The main window's nine disabled parameter fields, with their design-time texts, and BtnParamSet.
struct MainForm : QWidget {
    MainForm() {
        for (const QString &name : fieldNames) {
            QWidget *field = name == QStringLiteral("ComboDFilter")
                                 ? static_cast<QWidget *>(new QComboBox(this))
                                 : new QLineEdit(this);
            field->setObjectName(name);
            field->setEnabled(false);
        }
        findChild<QComboBox *>()->setEditable(true);
        set({{"TextCFreq", u"20000"}, {"ComboDFilter", u"ﾛｰﾊﾟｽ"}, {"TextDGain", u"1"},
             {"TextCTapSize", u"256"}, {"TextCBeta", u"0.000001"}, {"TextCGain", u"1"},
             {"TextWTapSize", u"256"}, {"TextWBeta", u"0.00001"}, {"TextWGain", u"1"}});
        (new QPushButton(QStringLiteral("設定変更"), this))
            ->setObjectName(QStringLiteral("BtnParamSet"));
    }
    QStringList texts() const {
        QStringList out;
        for (const QString &name : fieldNames)
            out << fieldText(*this, name);
        return out;
    }
    void set(const Edits &edits) {
        for (const auto &[name, text] : edits)
            setFieldText(*this, QString::fromLatin1(name), QString::fromUtf16(text));
    }
};

void writeFile(const QTemporaryDir &dir, const char *name, const QByteArray &content) {
    QFile f(dir.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

struct Download : test::UsesQt, ::testing::Test {
    test::FakeBoard board;
    CommandLink link{board, [] {}};
    MainForm form;
    QStringList messages;
    QTemporaryDir dir;

    bool download(const QString &appDir, const MainForm *from = nullptr) {
        board.writes.clear();
        board.commands.clear();
        messages.clear();
        return DownloadParameters(
            link, from ? *from : form, appDir,
            [this](MessageIcon icon, const QString &text, const QString &title) {
                EXPECT_EQ(icon, MessageIcon::Exclamation);
                EXPECT_EQ(title, QStringLiteral("パラメータエラー"));
                messages << text;
            });
    }
    Floats xferWrites() const {
        Floats out;
        for (const auto &w : board.writes)
            if (w.address >= dspmem::XferBuf && w.address < dspmem::XferBuf + 4 * 4096)
                out.push_back(singleOfWord(w.word));
        return out;
    }
};

void addHandshake(Words &words, std::int32_t code) {
    words.insert(words.end(), {{dspmem::CmdCode, wordOfLong(code)}, {dspmem::CmdRequest, 1},
                               {dspmem::CmdRequest, 0}});
}

// The default texts, then the C tap count's halves, which round to even.
TEST_F(Download, SendsEveryWordInOrder) {
    const QString dataDir = QStringLiteral(QUIRO_SOURCE_DIR "/data");
    std::ifstream in((dataDir + QStringLiteral("/LPF.COF")).toStdString()); // one number a line
    std::int32_t count = 0;
    in >> count;
    ASSERT_GT(count, 1);
    Words expected = {{dspmem::CmdArg1, 256}, {dspmem::CmdArg2, 256},
                      {dspmem::CmdArg4, 0x358637BD},  // 1.0e-6
                      {dspmem::CmdArg5, 0x3727C5AC},  // 1.0e-5
                      {dspmem::CmdArg6, 0x469C4000}}; // 20000.0
    addHandshake(expected, 12);
    for (std::uint32_t address : {dspmem::CmdArg4, dspmem::CmdArg5, dspmem::CmdArg6})
        expected.emplace_back(address, 0x3F800000);
    addHandshake(expected, 17);
    float v = 0.0f;
    for (std::int32_t i = 0; i < count && in >> v; ++i)
        expected.emplace_back(dspmem::XferBuf + 4 * static_cast<std::uint32_t>(i), wordOfSingle(v));
    expected.emplace_back(dspmem::CmdArg1, wordOfLong(count));
    addHandshake(expected, 16);
    for (const auto &[taps, word] : {std::pair{u"256", 256u}, {u"255.5", 256u}, {u"256.5", 256u},
                                     {u"257.5", 258u}}) {
        form.set({{"TextCTapSize", taps}});
        link.rewindXfer();
        ASSERT_TRUE(download(dataDir));
        expected[0].second = word;
        ASSERT_EQ(board.writes.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(std::pair(board.writes[i].address, board.writes[i].word), expected[i])
                << "write " << i << " for " << word;
        EXPECT_EQ(board.commands, (Commands{12, 17, 16}));
        EXPECT_EQ(link.xferOffset(), 4 * count);
        EXPECT_TRUE(messages.empty());
    }
}

// Each known type loads its own file (all four are there); an unknown one sends only 12 and 17,
// leaving XferBuf, XferOffset and the C tap count in CmdArg1 as they were.
TEST_F(Download, TheFilterTypeChoosesTheCoefficientFile) {
    const struct {
        const char16_t *type;
        const char *user; // USER.COF's content, when set
        std::optional<Floats> sent; // none: an unknown type
    } cases[] = {
        {u"ﾛｰﾊﾟｽ", nullptr, Floats{1}}, {u"ｽﾙｰ", nullptr, Floats{2}}, {u"ﾊｲﾊﾟｽ", nullptr, Floats{3}},
        {u"ﾕｰｻﾞｰ", nullptr, Floats{4}}, {u"ﾛｰﾊﾟｽ ", nullptr, {}}, {u" ﾛｰﾊﾟｽ", nullptr, {}},
        {u"ローパス", nullptr, {}}, {u"", nullptr, {}}, {u"LPF.COF", nullptr, {}},
        {u"ﾕｰｻﾞｰ", "0\n", Floats{}},
        {u"ﾕｰｻﾞｰ", "3\n0.5\n-0.25\n0.125\n9.9\n", Floats{0.5f, -0.25f, 0.125f}},
        {u"ﾕｰｻﾞｰ", "3,0.5,-0.25,0.125,9.9", Floats{0.5f, -0.25f, 0.125f}},
        {u"ﾕｰｻﾞｰ", "5\n\n0.5\n,-0.25\n\n", Floats{0.0f, 0.5f, 0.0f, -0.25f, 0.0f}},
        {u"ﾕｰｻﾞｰ", "\xEF\xBB\xBF 2.0 \r\n1\r\n\t2,garbage\xFF", Floats{1.0f, 2.0f}},
        {u"ﾕｰｻﾞｰ", "3\r0.5\r\r7", Floats{0.5f, 0.0f, 7.0f}},
    };
    const char *files[] = {"LPF.COF", "THRU.COF", "HPF.COF", "USER.COF"};
    for (int i = 0; i < 4; ++i)
        writeFile(dir, files[i], "1\n" + QByteArray::number(i + 1));
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        if (c.user)
            writeFile(dir, "USER.COF", c.user);
        form.set({{"ComboDFilter", c.type}});
        link.rewindXfer();
        link.writeNextXfer(7.0f); // XferOffset 4
        ASSERT_TRUE(download(dir.path()));
        const auto count = static_cast<std::int32_t>(c.sent.value_or(Floats{}).size());
        EXPECT_EQ(xferWrites(), c.sent.value_or(Floats{}));
        EXPECT_EQ(board.commands, c.sent ? (Commands{12, 17, 16}) : (Commands{12, 17}));
        EXPECT_EQ(link.xferOffset(), c.sent ? 4 * count : 4);
        EXPECT_EQ(longOfWord(board.word(dspmem::CmdArg1)), c.sent ? count : 256);
    }
}

TEST_F(Download, BadInputSendsNothingAndNamesTheFieldOrFile) {
    const char *Folder = "/";
    const struct {
        Edits edits;
        const char *lpf; // LPF.COF's content: none when null, a folder in its place for Folder
        std::vector<const char16_t *> mentions;
    } cases[] = {
        {{{"TextCTapSize", u"abc"}}, nullptr, {u"同定系フィルターのタップ数", u"数値ではありません"}},
        {{{"TextWTapSize", u"5.4"}}, nullptr, {u"消音系フィルターのタップ数", u"範囲外", u"6～4101"}},
        {{{"TextCBeta", u"1e39"}}, nullptr, {u"同定系フィルターのｽﾃｯﾌﾟｻｲｽﾞβ", u"範囲外"}},
        {{{"TextCFreq", u"２００００"}, {"TextCGain", u"nan"}, {"TextWGain", u"y"}}, nullptr,
         {u"ｻﾝﾌﾟﾘﾝｸﾞ周波数", u"同定系フィルターのﾌｨﾙﾀｰｹﾞｲﾝ", u"消音系フィルターのﾌｨﾙﾀｰｹﾞｲﾝ"}},
        {{{"ComboDFilter", u"ﾊｲﾊﾟｽ"}}, "0", {u"HPF.COF", u"見つかりません"}},
        {{}, Folder, {u"LPF.COF", u"読み込めません"}},
        {{}, "", {u"LPF.COF", u"係数の数がありません"}},
        {{}, "4097\n1\n2\n3", {u"LPF.COF", u"1行目", u"0～4096"}},
        {{}, "3\n0.5\n0.5x\n0.125", {u"LPF.COF", u"3行目", u"0.5x"}},
        {{}, "3\n0.5\n0.25\n", {u"LPF.COF", u"2個しかありません"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        MainForm fresh;
        fresh.set(c.edits);
        QTemporaryDir appDir;
        if (c.lpf == Folder)
            ASSERT_TRUE(QDir(appDir.path()).mkdir(QStringLiteral("LPF.COF")));
        else if (c.lpf)
            writeFile(appDir, "LPF.COF", c.lpf);
        EXPECT_FALSE(download(appDir.path(), &fresh));
        EXPECT_TRUE(board.writes.empty());
        EXPECT_TRUE(board.commands.empty());
        ASSERT_EQ(messages.size(), 1);
        for (const char16_t *mention : c.mentions)
            EXPECT_TRUE(messages[0].contains(QString::fromUtf16(mention))) << messages[0].toStdString();
    }
}

void click(DlgParameter &d, const char *button) {
    d.findChild<QPushButton *>(QString::fromLatin1(button))->click();
}

// The focused field's name; the combo box's own line edit holds the focus for it.
QString focused(DlgParameter &d) {
    QWidget *w = d.focusWidget();
    if (w && qobject_cast<QComboBox *>(w->parentWidget()))
        w = w->parentWidget();
    return w ? w->objectName() : QString();
}

struct Dialog : test::UsesQt, ::testing::Test {
    MainForm form;
    ParameterSetting setting{form};
    bool stayedOpen = false;
    bool sawMessageBox = false;

    // Presses BtnParamSet and runs `whileOpen` inside the modal dialog. A dialog still shown
    // afterwards sets stayedOpen and is closed behind the test's back.
    void open(const std::function<void(DlgParameter &)> &whileOpen) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            ran = true;
            whileOpen(*setting.dialog());
            for (QWidget *w : QApplication::topLevelWidgets())
                sawMessageBox |= qobject_cast<QMessageBox *>(w) && w->isVisible();
            stayedOpen = setting.dialog()->isVisible();
            if (stayedOpen)
                setting.dialog()->QDialog::done(QDialog::Rejected);
        });
        form.findChild<QPushButton *>(QStringLiteral("BtnParamSet"))->click();
        EXPECT_TRUE(ran);
    }
    void setMainTexts(const QString &suffix) {
        for (const QString &name : fieldNames)
            setFieldText(form, name, name + suffix);
    }
};

// Every opening shows the main window's texts, with the focus on OK; OK at once writes them back,
// ｷｬﾝｾﾙ and the frame's close box drop the edits. One instance, without an owner, is kept.
TEST_F(Dialog, OpensOnTheMainTextsAndCancelDropsTheEdits) {
    EXPECT_EQ(setting.dialog(), nullptr);
    DlgParameter *first = nullptr;
    const struct { const char *way, *button; bool edit; } ways[] = {
        {"ｷｬﾝｾﾙ", "CancelButton", true}, {"close box", nullptr, true}, {"OK", "OKButton", false}};
    for (const auto &[way, button, edit] : ways) {
        const QString suffix = QString::fromUtf8(way);
        setMainTexts(suffix);
        const QStringList before = form.texts();
        open([&](DlgParameter &d) {
            if (!first)
                first = &d;
            EXPECT_EQ(&d, first);
            EXPECT_EQ(d.parent(), nullptr);
            EXPECT_TRUE(d.isModal());
            EXPECT_EQ(focused(d), QStringLiteral("OKButton"));
            QStringList chain; // the tab order, from OK round
            for (QWidget *w = d.findChild<QWidget *>("OKButton"); chain.size() < 11;
                 w = w->nextInFocusChain())
                if (w->focusPolicy() != Qt::NoFocus && !qobject_cast<QComboBox *>(w->parentWidget()))
                    chain << w->objectName();
            EXPECT_EQ(chain, QStringList({"OKButton", "CancelButton", "TextCTapSize", "TextCBeta",
                                          "TextCGain", "TextWTapSize", "TextWBeta", "TextWGain",
                                          "ComboDFilter", "TextDGain", "TextCFreq"}));
            for (const QString &name : fieldNames) {
                EXPECT_EQ(fieldText(d, name), name + suffix);
                if (edit)
                    setFieldText(d, name, QStringLiteral("edited"));
            }
            if (!edit) // OK must write the dialog's copies back over whatever the window shows
                setMainTexts(QStringLiteral("meanwhile"));
            if (button)
                click(d, button);
            else
                d.close();
        });
        EXPECT_FALSE(stayedOpen) << way;
        EXPECT_EQ(form.texts(), before) << way;
    }
}

// OK refuses only empty fields, with the focus on the last one and no message; any other text
// reaches the main window.
TEST_F(Dialog, OkWritesBackAnyTextUnlessAFieldIsEmpty) {
    const std::pair<Edits, const char *> cases[] = { // the edits, and the focus if it stays open
        {{{"TextCTapSize", u"512"}, {"TextCBeta", u""}, {"TextWGain", u""}}, "TextWGain"},
        {{{"TextCTapSize", u"512"}, {"TextCFreq", u""}}, "TextCFreq"},
        {{{"TextDGain", u""}, {"ComboDFilter", u""}}, "TextDGain"},
        {{{"ComboDFilter", u""}}, "ComboDFilter"},
        {{{"TextWGain", u""}, {"TextCFreq", u""}, {"TextCTapSize", u""}}, "TextWGain"},
        {{{"TextCTapSize", u" "}, {"TextCFreq", u"abc"}, {"TextWBeta", u"1,5"}}, nullptr},
        {{{"ComboDFilter", u"ﾊｲﾊﾟｽ"}}, nullptr},
    };
    for (const auto &[edits, focus] : cases) {
        const QStringList before = form.texts();
        QString focusAfter;
        open([&](DlgParameter &d) {
            for (const auto &[field, text] : edits)
                setFieldText(d, QString::fromLatin1(field), QString::fromUtf16(text));
            click(d, "OKButton");
            focusAfter = focused(d);
        });
        EXPECT_EQ(stayedOpen, focus != nullptr) << edits[0].first;
        if (focus) {
            EXPECT_EQ(focusAfter, QString::fromLatin1(focus));
            EXPECT_EQ(form.texts(), before) << "nothing copied while a field is empty";
        } else {
            for (const auto &[field, text] : edits)
                EXPECT_EQ(fieldText(form, QString::fromLatin1(field)), QString::fromUtf16(text));
        }
    }
    EXPECT_FALSE(sawMessageBox);
}

TEST_F(Dialog, EnterAndEscapeDoNothing) {
    const QStringList before = form.texts();
    for (const char *target : {"OKButton", "CancelButton", "TextCBeta", "ComboDFilter"})
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            open([&](DlgParameter &d) {
                QWidget *w = d.findChild<QWidget *>(QString::fromLatin1(target));
                if (auto *combo = qobject_cast<QComboBox *>(w))
                    w = combo->lineEdit();
                w->setFocus();
                for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                    QKeyEvent event(type, key, Qt::NoModifier);
                    QApplication::sendEvent(w, &event);
                }
                EXPECT_EQ(d.findChild<QComboBox *>()->count(), 0) << "Enter adds no list item";
            });
            EXPECT_TRUE(stayedOpen) << target << " key " << key;
            EXPECT_EQ(form.texts(), before) << target << " key " << key;
        }
}

} // namespace
} // namespace quiro
