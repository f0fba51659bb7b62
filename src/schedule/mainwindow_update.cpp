#include "shell/mainwindow.h"

#include "platform/alertplayer.h"
#include "schedule/updateverdict.h"

#include <QLabel>

namespace zjx {

void MainWindow::gxtj() {
    const UpdateVerdict verdict = UpdateVerdict::judge(lastProgressCount, progressCount, Label12[2]->text());
    Label12[3]->setText(verdict.text());
    if (verdict.updated) {
        setLabelColour(Label12[3], QColor(255, 0, 0));
        W1->setSource(ProgramFolder::path() + QStringLiteral("/ts.mp3"));
    } else {
        setLabelColour(Label12[3], QColor(255, 255, 255));
    }
}

} // namespace zjx
