#include "app/Startup.h"

#include <cstdio>

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
    if (const InstanceLock::Outcome locked = lock.acquire(); locked != InstanceLock::Outcome::Acquired) {
        if (locked == InstanceLock::Outcome::HeldByAnotherCopy) {
            hooks.showMessage(MessageIcon::Exclamation,
                              QStringLiteral("ＱＵＩＲＯのプログラムは、すでに実行中です。"),
                              QStringLiteral("注意"));
        } else { // nothing says another copy runs: say what is wrong and where
            std::fprintf(stderr, "quiro: the single-instance lock cannot be used: %s\n",
                         qPrintable(lock.problem()));
            hooks.showMessage(MessageIcon::Exclamation,
                              QStringLiteral("二重起動確認用のロックファイルが使えません。\n\n") +
                                  lock.problem(),
                              QStringLiteral("注意"));
        }
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
