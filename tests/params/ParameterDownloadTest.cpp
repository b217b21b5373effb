// The parameter download against the fake board: the words and commands it sends, which
// coefficient file it loads, and how it refuses bad input before sending anything.

#include "FakeBoard.h"
#include "MainFormStandIn.h"
#include "QtApplication.h"
#include "params/ParameterDownload.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <fstream>
#include <numbers>
#include <sstream>
#include <vector>

namespace quiro {
namespace {

using test::FakeBoard;
using Write = FakeBoard::Write;

const QString DataDir = QStringLiteral(QUIRO_SOURCE_DIR "/data");

struct Message {
    MessageIcon icon;
    QString text;
    QString title;
};

struct Download : test::UsesQt, ::testing::Test {
    FakeBoard board;
    CommandLink link{board, [] {}};
    test::MainFormStandIn form;
    std::vector<Message> messages;
    QTemporaryDir dir;

    bool download(const QString &appDir) { return downloadFrom(form, link, appDir); }
    bool downloadFrom(const QWidget &mainForm, CommandLink &through, const QString &appDir) {
        return DownloadParameters(
            through, mainForm, appDir,
            [this](MessageIcon icon, const QString &text, const QString &title) {
                messages.push_back({icon, text, title});
            });
    }
    void writeFile(const char *name, const QByteArray &content) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    std::vector<float> xferWrites() const {
        std::vector<float> out;
        for (const Write &w : board.writes)
            if (w.address >= dspmem::XferBuf && w.address < dspmem::XferBuf + 4 * 4096)
                out.push_back(singleOfWord(w.word));
        return out;
    }
};

// The coefficients of a file written one number a line, read without the program's reader.
std::vector<float> numbersOf(const QString &path) {
    std::ifstream in(path.toStdString());
    std::vector<float> values;
    float v = 0.0f;
    while (in >> v)
        values.push_back(v);
    return values;
}

std::vector<Write> handshake(std::int32_t code) {
    return {{dspmem::CmdCode, wordOfLong(code)}, {dspmem::CmdRequest, 1}, {dspmem::CmdRequest, 0}};
}

TEST_F(Download, TheDefaultSetSendsEveryWordInOrder) {
    ASSERT_TRUE(download(DataDir));
    const std::vector<float> lpf = numbersOf(DataDir + QStringLiteral("/LPF.COF"));
    ASSERT_GT(lpf.size(), 1u);
    const std::int32_t count = static_cast<std::int32_t>(lpf[0]);

    std::vector<Write> expected = {
        {dspmem::CmdArg1, 256},        {dspmem::CmdArg2, 256},
        {dspmem::CmdArg4, 0x358637BD}, // 1.0e-6
        {dspmem::CmdArg5, 0x3727C5AC}, // 1.0e-5
        {dspmem::CmdArg6, 0x469C4000}, // 20000.0
    };
    for (const Write &w : handshake(12))
        expected.push_back(w);
    for (std::uint32_t address : {dspmem::CmdArg4, dspmem::CmdArg5, dspmem::CmdArg6})
        expected.push_back({address, 0x3F800000});
    for (const Write &w : handshake(17))
        expected.push_back(w);
    for (std::int32_t i = 0; i < count; ++i)
        expected.push_back({dspmem::XferBuf + 4 * static_cast<std::uint32_t>(i),
                            wordOfSingle(lpf[static_cast<std::size_t>(i) + 1])});
    expected.push_back({dspmem::CmdArg1, wordOfLong(count)});
    for (const Write &w : handshake(16))
        expected.push_back(w);

    ASSERT_EQ(board.writes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(board.writes[i].address, expected[i].address) << "write " << i;
        EXPECT_EQ(board.writes[i].word, expected[i].word) << "write " << i;
    }
    EXPECT_EQ(board.commands, (std::vector<std::int32_t>{12, 17, 16}));
    EXPECT_EQ(link.xferOffset(), 4 * count);
    EXPECT_TRUE(messages.empty());
}

TEST_F(Download, AnUnknownFilterTypeSendsOnlyCommands12And17) {
    const QString types[] = {QStringLiteral("ﾛｰﾊﾟｽ "), QStringLiteral(" ﾛｰﾊﾟｽ"),
                             QStringLiteral("ローパス"), QString(), QStringLiteral("LPF.COF")};
    for (const QString &type : types) {
        board.writes.clear();
        board.commands.clear();
        link.rewindXfer();
        link.writeNextXfer(7.0f); // XferOffset now 4: the download must leave it so
        board.writes.clear();
        form.setText("ComboDFilter", type);
        // The data folder holds all four files: a file opened by mistake would be loaded.
        ASSERT_TRUE(download(DataDir)) << type.toStdString();
        EXPECT_EQ(board.commands, (std::vector<std::int32_t>{12, 17})) << type.toStdString();
        EXPECT_TRUE(xferWrites().empty()) << type.toStdString();
        EXPECT_EQ(link.xferOffset(), 4) << type.toStdString();
        EXPECT_EQ(board.word(dspmem::CmdArg1), 256u) << "CmdArg1 keeps the C tap count";
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(Download, EachKnownFilterTypeLoadsItsOwnFile) {
    const struct {
        const char16_t *type;
        const char *file;
        float mark;
    } cases[] = {{u"ﾛｰﾊﾟｽ", "LPF.COF", 0.1f},
                 {u"ｽﾙｰ", "THRU.COF", 0.2f},
                 {u"ﾊｲﾊﾟｽ", "HPF.COF", 0.3f},
                 {u"ﾕｰｻﾞｰ", "USER.COF", 0.4f}};
    for (const auto &c : cases)
        writeFile(c.file, QByteArray("1\n") + QByteArray::number(c.mark));
    for (const auto &c : cases) {
        board.writes.clear();
        form.setText("ComboDFilter", QString::fromUtf16(c.type));
        ASSERT_TRUE(download(dir.path())) << c.file;
        EXPECT_EQ(xferWrites(), (std::vector<float>{c.mark})) << c.file;
        EXPECT_EQ(board.commands.back(), 16);
    }
}

TEST_F(Download, CoefficientFilesFillTheBufferAndGiveTheirCount) {
    const struct {
        const char *name;
        QByteArray content;
        std::vector<float> expected;
    } cases[] = {
        {"count 0", "0\n", {}},
        {"five lines", "3\n0.5\n-0.25\n0.125\n9.9\n", {0.5f, -0.25f, 0.125f}},
        {"one line", "3,0.5,-0.25,0.125,9.9", {0.5f, -0.25f, 0.125f}},
        {"blank lines and empty items", "5\n\n0.5\n,-0.25\n\n", {0.0f, 0.5f, 0.0f, -0.25f, 0.0f}},
    };
    form.setText("ComboDFilter", QStringLiteral("ﾕｰｻﾞｰ"));
    for (const auto &c : cases) {
        writeFile("USER.COF", c.content);
        board.writes.clear();
        board.commands.clear();
        ASSERT_TRUE(download(dir.path())) << c.name;
        EXPECT_EQ(xferWrites(), c.expected) << c.name;
        EXPECT_EQ(longOfWord(board.word(dspmem::CmdArg1)), static_cast<int>(c.expected.size()))
            << c.name;
        EXPECT_EQ(board.commands, (std::vector<std::int32_t>{12, 17, 16})) << c.name;
        EXPECT_EQ(link.xferOffset(), 4 * static_cast<int>(c.expected.size())) << c.name;
    }
}

TEST_F(Download, TapCountsRoundHalvesToEven) {
    const std::pair<const char *, std::uint32_t> cases[] = {
        {"255.5", 256}, {"256.5", 256}, {"257.5", 258}};
    for (const auto &[text, word] : cases) {
        form.setText("TextCTapSize", QString::fromLatin1(text)); // read when the download runs
        board.writes.clear();
        ASSERT_TRUE(download(DataDir)) << text;
        EXPECT_EQ(board.writes.front().address, dspmem::CmdArg1);
        EXPECT_EQ(board.writes.front().word, word) << text;
    }
}

TEST_F(Download, BadInputSendsNothingAndNamesTheFieldOrFile) {
    const struct {
        const char *name;
        std::vector<std::pair<const char *, const char16_t *>> edits;
        const char *file; // written to the application folder when set
        QByteArray content;
        std::vector<const char16_t *> mentions;
    } cases[] = {
        {"tap count not a number", {{"TextCTapSize", u"abc"}}, nullptr, {},
         {u"同定系フィルターのタップ数", u"数値ではありません"}},
        {"tap count too small", {{"TextWTapSize", u"5.4"}}, nullptr, {},
         {u"消音系フィルターのタップ数", u"範囲外", u"6～4101"}},
        {"beta too large for a single", {{"TextCBeta", u"1e39"}}, nullptr, {},
         {u"同定系フィルターのｽﾃｯﾌﾟｻｲｽﾞβ", u"範囲外"}},
        {"full-width digits", {{"TextCFreq", u"２００００"}}, nullptr, {}, {u"ｻﾝﾌﾟﾘﾝｸﾞ周波数"}},
        {"nan", {{"TextCGain", u"nan"}}, nullptr, {}, {u"同定系フィルターのﾌｨﾙﾀｰｹﾞｲﾝ"}},
        {"inf", {{"TextDGain", u"inf"}}, nullptr, {}, {u"加振信号フィルターのﾌｨﾙﾀｰｹﾞｲﾝ"}},
        {"two bad fields at once", {{"TextCTapSize", u"x"}, {"TextWGain", u"y"}}, nullptr, {},
         {u"同定系フィルターのタップ数", u"消音系フィルターのﾌｨﾙﾀｰｹﾞｲﾝ"}},
        {"missing file", {{"ComboDFilter", u"ﾊｲﾊﾟｽ"}}, nullptr, {}, {u"HPF.COF", u"見つかりません"}},
        {"empty file", {}, "LPF.COF", "", {u"LPF.COF", u"係数の数がありません"}},
        {"count not a number", {}, "LPF.COF", "4097\n1\n2\n3", {u"LPF.COF", u"1行目", u"0～4096"}},
        {"coefficient not a number", {}, "LPF.COF", "3\n0.5\n0.5x\n0.125",
         {u"LPF.COF", u"3行目", u"0.5x"}},
        {"file ends early", {}, "LPF.COF", "3\n0.5\n0.25\n", {u"LPF.COF", u"2個しかありません"}},
    };
    for (const auto &c : cases) {
        test::MainFormStandIn fresh;
        for (const auto &[field, text] : c.edits)
            fresh.setText(field, QString::fromUtf16(text));
        QTemporaryDir appDir;
        if (c.file) {
            QFile f(appDir.filePath(QString::fromLatin1(c.file)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.content);
        }
        FakeBoard quiet;
        CommandLink quietLink(quiet, [] {});
        messages.clear();
        const bool sent = downloadFrom(fresh, quietLink, appDir.path());
        EXPECT_FALSE(sent) << c.name;
        EXPECT_TRUE(quiet.writes.empty()) << c.name;
        EXPECT_TRUE(quiet.commands.empty()) << c.name;
        ASSERT_EQ(messages.size(), 1u) << c.name;
        EXPECT_EQ(messages[0].icon, MessageIcon::Exclamation);
        EXPECT_EQ(messages[0].title, QStringLiteral("パラメータエラー"));
        for (const char16_t *mention : c.mentions)
            EXPECT_TRUE(messages[0].text.contains(QString::fromUtf16(mention)))
                << c.name << ": " << messages[0].text.toStdString();
    }
}

TEST_F(Download, AFolderInPlaceOfTheFileIsUnreadable) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("LPF.COF")));
    EXPECT_FALSE(download(dir.path()));
    EXPECT_TRUE(board.writes.empty());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("読み込めません")));
}

// The committed designs, as the run tree holds them beside the program.
double gainAt(const std::vector<float> &h, double hz) {
    std::complex<double> sum = 0.0;
    for (std::size_t k = 0; k < h.size(); ++k)
        sum += static_cast<double>(h[k]) *
               std::polar(1.0, -2.0 * std::numbers::pi * hz / 20000.0 * static_cast<double>(k));
    return std::abs(sum);
}

TEST(CoefficientFiles, TheRunTreeHoldsTheFourDesigns) {
    test::application(); // for QFile's paths
    const struct {
        const char *file;
        double dc, passHz, stopHz; // gain at DC; a frequency with gain 1; one with gain < 1/100
    } cases[] = {
        {"LPF.COF", 1.0, 1000.0, 5000.0},
        {"HPF.COF", 0.0, 5000.0, 300.0},
        {"USER.COF", 0.0, 2500.0, 7000.0},
        {"THRU.COF", 1.0, 9000.0, -1.0},
    };
    for (const auto &c : cases) {
        const CoefficientFileRead read =
            readCoefficientFile(QStringLiteral(QUIRO_RUN_TREE "/bin/") + QString::fromLatin1(c.file));
        ASSERT_EQ(read.status, FileStatus::Read) << c.file;
        ASSERT_EQ(read.content.problem, CoefficientProblem::None) << c.file;
        const std::vector<float> &h = read.content.coefficients;
        EXPECT_NEAR(gainAt(h, 0.0), c.dc, 1e-4) << c.file;
        EXPECT_NEAR(gainAt(h, c.passHz), 1.0, 0.02) << c.file;
        if (c.stopHz > 0) {
            EXPECT_LT(gainAt(h, c.stopHz), 0.01) << c.file;
        }
        EXPECT_TRUE(h.size() == 1 || (h.size() >= 31 && h.size() <= 63)) << c.file;
    }
}

} // namespace
} // namespace quiro
