// Identification of the two secondary paths, and the clearing of a path, which takes its
// identification away.

#include "control/Activities.h"
#include "control/PlotFetch.h"

namespace quiro {

// Everything that differs between the identification of C1 and that of C2.
struct Activities::PathRow {
    Button ident, clear, wide, tele;
    const char *startCaption;
    const char *stopCaption;
    Group otherGroup;
    std::int16_t Activities::*identified;
    Starter identStarter, clearStarter;
    Cmd start, clearCmd;
    Plot plot;
};

const Activities::PathRow &Activities::row(Path path) {
    static const PathRow rows[] = {
        {Button::C1Ident, Button::C1Clear, Button::C1Wide, Button::C1Tele, "C1同定開始",
         "C1同定終了", Group::C2, &Activities::C1Identified, Starter::C1Ident, Starter::C1Clear,
         Cmd::C1IdentStart, Cmd::C1Clear, Plot::C1},
        {Button::C2Ident, Button::C2Clear, Button::C2Wide, Button::C2Tele, "C2同定開始",
         "C2同定終了", Group::C1, &Activities::C2Identified, Starter::C2Ident, Starter::C2Clear,
         Cmd::C2IdentStart, Cmd::C2Clear, Plot::C2},
    };
    return rows[index(path)];
}

void Activities::BtnIdent_Click(Path path) {
    if (identActive_[index(path)] == 0) {
        startOrDefer(row(path).identStarter);
        return;
    }
    identActive_[index(path)] = 0;
    leaveIdentifying(row(path), MarkIdentified::Yes);
    stopIdentRequested_ = true;
}

void Activities::enterIdentifying(const PathRow &r) {
    view_.showCaption(r.ident, QString::fromUtf8(r.stopCaption));
    setEnabled(r.clear, false);
    setEnabled(r.wide, true);
    setEnabled(r.tele, true);
    disableGroup(r.otherGroup);
    disableGroup(Group::Quiro);
    disableGroup(Group::Param);
}

void Activities::leaveIdentifying(const PathRow &r, MarkIdentified mark) {
    view_.showCaption(r.ident, QString::fromUtf8(r.startCaption));
    setEnabled(r.clear, true);
    setEnabled(r.wide, false);
    setEnabled(r.tele, false);
    // The flag comes before the groups, so that the Quiro group already sees it.
    if (mark == MarkIdentified::Yes)
        this->*r.identified = -1;
    enableGroup(r.otherGroup);
    enableGroup(Group::Quiro);
    enableGroup(Group::Param);
}

void Activities::runIdent(Path path) {
    const PathRow &r = row(path);
    identActive_[index(path)] = 1;
    enterIdentifying(r);
    stopIdentRequested_ = false;
    if (!download_()) {
        // Nothing was sent: the click starts nothing and the window returns to where it was.
        identActive_[index(path)] = 0;
        leaveIdentifying(r, MarkIdentified::No);
        return;
    }
    link_.SendCommand(r.start);
    RunState = 0;
    do {
        yield_();
        // A stop clicked at any time so far is sent here, where no other command is in
        // progress and the start command has gone out; this pass still fetches and draws.
        if (stopIdentRequested_) {
            stopIdentRequested_ = false;
            link_.SendCommand(Cmd::IdentStop);
            RunState = -1;
        }
        fetchAndDraw(r.plot);
    } while (RunState != -1);
}

void Activities::fetchAndDraw(Plot plot) {
    link_.SendCommand(sourceOf(plot).fetch);
    view_.drawPlot(plot, readTrace(link_, plot, texts_));
}

void Activities::clearPath(Path path) {
    const PathRow &r = row(path);
    this->*r.identified = 0;
    disableGroup(Group::Quiro);
    view_.clearPlot(r.plot);
    link_.SendCommand(r.clearCmd);
}

void Activities::BtnClear_Click(Path path) { startOrDefer(row(path).clearStarter); }

} // namespace quiro
