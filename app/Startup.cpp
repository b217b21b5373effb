#include "app/Startup.h"


namespace quiro {

namespace {

const QString DspErrorTitle = QStringLiteral("Dsp Error");

void end(const StartupHooks &hooks) {
    if (hooks.endProgram)
        hooks.endProgram();
}

} // namespace

QString dspProgramPath(const QString &appDir) {
    return appDir + QStringLiteral("/../DSP") + QStringLiteral("/quiros.out");
}

StartupResult Form_Load(Board &board, InstanceLock &lock, const StartupHooks &hooks) {
    if (!lock.acquire()) {
        hooks.showMessage(MessageIcon::Exclamation,
                          QStringLiteral("ＱＵＩＲＯのプログラムは、すでに実行中です。"),
                          QStringLiteral("注意"));
        end(hooks);
        return StartupResult::Refused;
    }

    if (board.libenter() != 0) {
        hooks.showMessage(MessageIcon::Critical,
                          QStringLiteral("デバイスドライバーのオープン失敗\n\n"
                                         "ＶＡＲＮＥＬドライバ設定プログラムを起動し、"
                                         "リジュームして下さい。"),
                          DspErrorTitle);
        end(hooks);
        return StartupResult::LibraryFailed;
    }

    board.bdsel(0);
    board.bdinit();

    // The board library takes the path in the system's 8-bit encoding.
    if (board.loadcs(dspProgramPath(hooks.appDir).toLocal8Bit().toStdString()) != 0) {
        hooks.showMessage(MessageIcon::Critical, QStringLiteral("プログラム(1)　ロード失敗"),
                          DspErrorTitle);
        return StartupResult::LoadFailed;
    }
    if (board.run() != 0) {
        hooks.showMessage(MessageIcon::Critical, QStringLiteral("DSP実行失敗"), DspErrorTitle);
        return StartupResult::RunFailed;
    }

    if (hooks.initialiseDisplay)
        hooks.initialiseDisplay();
    return StartupResult::Ready;
}

void BtnExit_Click(Board &board, const EndProgram &endProgram) {
    board.libexit();
    if (endProgram)
        endProgram();
}

} // namespace quiro
