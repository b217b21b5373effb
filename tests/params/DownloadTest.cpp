// The parameter download against the fake board: the words and commands it sends, the
// coefficient file it loads, and how it refuses bad input.

#include "FakeBoard.h"
#include "params/ParameterDownload.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace quiro {
namespace {

using Floats = std::vector<float>;

using T = ParameterTexts;
using Edits = std::vector<std::pair<QString T::*, const char16_t *>>;

void writeFile(const QTemporaryDir &dir, const char *name, const QByteArray &content) {
    QFile f(dir.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

struct Download : ::testing::Test {
    test::FakeBoard board;
    CommandLink link{board, [] {}};
    ParameterTexts texts;
    QStringList messages;
    QTemporaryDir dir;

    bool download(const QString &appDir) {
        board.writes.clear();
        messages.clear();
        return DownloadParameters(
            link, texts, appDir,
            [this](MessageIcon icon, const QString &text, const QString &title) {
                EXPECT_EQ(icon, MessageIcon::Exclamation);
                EXPECT_EQ(title, QStringLiteral("パラメータエラー"));
                messages << text;
            });
    }
};

// The default texts but a C tap count half (rounded to even) and distinct gains, and a
// three-coefficient LPF.COF. A command shows as its CmdCode (the handshake is the link's test).
TEST_F(Download, SendsEveryWordInOrder) {
    writeFile(dir, "LPF.COF", "3\n0.5\n-0.25\n0.125\n");
    texts.cTapSize = QStringLiteral("256.5");
    texts.cGain = "2", texts.wGain = "3", texts.dGain = "4";
    const test::FakeBoard::Writes expected = {
        {dspmem::CmdArg1, 256}, {dspmem::CmdArg2, 256},
        {dspmem::CmdArg4, 0x358637BD}, // 1.0e-6
        {dspmem::CmdArg5, 0x3727C5AC}, // 1.0e-5
        {dspmem::CmdArg6, 0x469C4000}, // 20000.0
        {dspmem::CmdCode, 12},
        {dspmem::CmdArg4, 0x40000000}, // 2.0
        {dspmem::CmdArg5, 0x40400000}, // 3.0
        {dspmem::CmdArg6, 0x40800000}, // 4.0
        {dspmem::CmdCode, 17},
        {dspmem::XferBuf, 0x3F000000}, {dspmem::XferBuf + 4, 0xBE800000},
        {dspmem::XferBuf + 8, 0x3E000000}, {dspmem::CmdArg1, 3}, {dspmem::CmdCode, 16}};
    ASSERT_TRUE(download(dir.path()));
    std::erase_if(board.writes, [](const auto &w) { return w.first == dspmem::CmdRequest; });
    EXPECT_EQ(board.writes, expected);
}

// Each known type loads its own file (all four are there); an unknown one sends only 12 and 17,
// leaving XferBuf, XferOffset and the C tap count in CmdArg1 as they were.
TEST_F(Download, TheFilterTypeChoosesTheCoefficientFile) {
    const struct {
        const char *name;
        const char16_t *type;
        const char *user; // USER.COF's content, when set
        std::optional<Floats> sent; // none: an unknown type
    } cases[] = {
        {"low-pass", u"ﾛｰﾊﾟｽ", nullptr, Floats{1}},
        {"through", u"ｽﾙｰ", nullptr, Floats{2}},
        {"high-pass", u"ﾊｲﾊﾟｽ", nullptr, Floats{3}},
        {"user", u"ﾕｰｻﾞｰ", nullptr, Floats{4}},
        {"a blank after the type", u"ﾛｰﾊﾟｽ ", nullptr, {}},
        {"a blank before the type", u" ﾛｰﾊﾟｽ", nullptr, {}},
        {"full-width katakana", u"ローパス", nullptr, {}},
        {"empty", u"", nullptr, {}},
        {"a file's name", u"LPF.COF", nullptr, {}},
        {"user, no coefficients", u"ﾕｰｻﾞｰ", "0\n", Floats{}},
        // A byte-order mark, blanks, every line end, empty items as 0, and whatever follows unread.
        {"user, every separator", u"ﾕｰｻﾞｰ", "\xEF\xBB\xBF 5 \r\r0.5\n,-0.25\r\n\t2,garbage\xFF",
         Floats{0, 0.5f, 0, -0.25f, 2}},
    };
    const char *files[] = {"LPF.COF", "THRU.COF", "HPF.COF", "USER.COF"};
    for (int i = 0; i < 4; ++i)
        writeFile(dir, files[i], "1\n" + QByteArray::number(i + 1));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.user)
            writeFile(dir, "USER.COF", c.user);
        texts.dFilter = QString::fromUtf16(c.type);
        link.rewindXfer();
        link.writeNextXfer(7.0f); // XferOffset 4
        ASSERT_TRUE(download(dir.path()));
        Floats sent;
        for (const auto &[address, word] : board.writes)
            if (address >= dspmem::XferBuf)
                sent.push_back(singleOfWord(word));
        const auto count = static_cast<std::int32_t>(c.sent.value_or(Floats{}).size());
        EXPECT_EQ(sent, c.sent.value_or(Floats{}));
        EXPECT_EQ(board.commands.back(), c.sent ? 16 : 17) << "16 only with coefficients";
        EXPECT_EQ(link.xferOffset(), c.sent ? 4 * count : 4);
        EXPECT_EQ(longOfWord(board.word(dspmem::CmdArg1)), c.sent ? count : 256);
    }
}

TEST_F(Download, BadInputSendsNothingAndNamesTheFieldOrFile) {
    const char *Folder = "/";
    const struct {
        const char *name;
        Edits edits;
        const char *lpf; // LPF.COF's content: none when null, a folder in its place for Folder
        std::vector<const char16_t *> mentions;
    } cases[] = {
        {"tap count not a number", {{&T::cTapSize, u"abc"}}, nullptr,
         {u"同定系フィルターのタップ数", u"数値ではありません"}},
        {"tap count out of range", {{&T::wTapSize, u"5.4"}}, nullptr,
         {u"消音系フィルターのタップ数", u"範囲外", u"6～4101"}},
        {"step out of range", {{&T::cBeta, u"1e39"}}, nullptr, {u"同定系フィルターのｽﾃｯﾌﾟｻｲｽﾞβ", u"範囲外"}},
        {"three fields at once", {{&T::cFreq, u"２００００"}, {&T::cGain, u"nan"}, {&T::wGain, u"y"}}, nullptr,
         {u"ｻﾝﾌﾟﾘﾝｸﾞ周波数", u"同定系フィルターのﾌｨﾙﾀｰｹﾞｲﾝ", u"消音系フィルターのﾌｨﾙﾀｰｹﾞｲﾝ"}},
        {"the chosen file missing", {{&T::dFilter, u"ﾊｲﾊﾟｽ"}}, "0", {u"HPF.COF", u"見つかりません"}},
        {"a folder in the file's place", {}, Folder, {u"LPF.COF", u"読み込めません"}},
        {"no count", {}, "", {u"LPF.COF", u"係数の数がありません"}},
        {"count out of range", {}, "4097\n1\n2\n3", {u"LPF.COF", u"1行目", u"0～4096"}},
        {"a bad coefficient", {}, "3\n0.5\n0.5x\n0.125", {u"LPF.COF", u"3行目", u"0.5x"}},
        {"too few coefficients", {}, "3\n0.5\n0.25\n", {u"LPF.COF", u"2個しかありません"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        texts = {};
        for (const auto &[field, text] : c.edits)
            texts.*field = QString::fromUtf16(text);
        QTemporaryDir appDir;
        if (c.lpf == Folder)
            ASSERT_TRUE(QDir(appDir.path()).mkdir(QStringLiteral("LPF.COF")));
        else if (c.lpf)
            writeFile(appDir, "LPF.COF", c.lpf);
        EXPECT_FALSE(download(appDir.path()));
        EXPECT_TRUE(board.writes.empty()); // a command is a write too
        ASSERT_EQ(messages.size(), 1);
        for (const char16_t *mention : c.mentions)
            EXPECT_TRUE(messages[0].contains(QString::fromUtf16(mention))) << messages[0].toStdString();
    }
}

} // namespace
} // namespace quiro
