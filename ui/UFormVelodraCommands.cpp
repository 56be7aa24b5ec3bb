// The commands: their wiring to buttons, labels and menus, their handlers, and the enabled
// states.
#include "ui/UFormVelodra.h"

#include "platform/Error.h"
#include "platform/ErrorReport.h"
#include "platform/FileName.h"
#include "player/UFormPlayer.h"
#include "ui/Icons.h"
#include "ui/UAbout.h"
#include "ui/UFormNotify.h"
#include "ui_UFormVelodra.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <cmath>

namespace {
// Which handler a command runs (besides inverting its own checked state).
using THandler = void (TFormVelodra::*)();

struct TCommand {
    QAction* Ui::TFormVelodra::*Action;
    THandler Handler; // nullptr: the toggle alone
    int Icon;         // -1: none
};

constexpr TCommand kCommands[] = {
    {&Ui::TFormVelodra::ActPlay, &TFormVelodra::ActPlayExecute, 1},
    {&Ui::TFormVelodra::ActPause, &TFormVelodra::ActPauseExecute, 3},
    {&Ui::TFormVelodra::ActStop, &TFormVelodra::ActStopExecute, 5},
    {&Ui::TFormVelodra::ActLoad, &TFormVelodra::ActLoadExecute, 6},
    {&Ui::TFormVelodra::ActPrevFolder, &TFormVelodra::ActPrevFolderExecute, 7},
    {&Ui::TFormVelodra::ActPrevFile, &TFormVelodra::ActPrevFileExecute, 8},
    {&Ui::TFormVelodra::ActNextFile, &TFormVelodra::ActNextFileExecute, 9},
    {&Ui::TFormVelodra::ActNextFolder, &TFormVelodra::ActNextFolderExecute, 10},
    {&Ui::TFormVelodra::ActReversedElasped, nullptr, -1},
    {&Ui::TFormVelodra::ActLoop, nullptr, -1},
    {&Ui::TFormVelodra::ActShuffle, &TFormVelodra::ActShuffleExecute, -1},
    {&Ui::TFormVelodra::ActCompact, &TFormVelodra::ActCompactExecute, -1},
    {&Ui::TFormVelodra::ActAbout, &TFormVelodra::ActAboutExecute, 0},
    {&Ui::TFormVelodra::FileExit1, nullptr, 14},
    {&Ui::TFormVelodra::ActMixer, &TFormVelodra::ActMixerExecute, 16},
    {&Ui::TFormVelodra::ActInclWMA, nullptr, -1},
    {&Ui::TFormVelodra::ActRestore, &TFormVelodra::ActRestoreExecute, 13},
    {&Ui::TFormVelodra::ActMinimizeToTray, nullptr, -1},
    {&Ui::TFormVelodra::ActFolderImage, &TFormVelodra::ActFolderImageExecute, 17},
    {&Ui::TFormVelodra::ActPlayNotification, nullptr, -1},
    // The opacity choices are inert: running one changes nothing, not even its check.
    {&Ui::TFormVelodra::OpacityNone, nullptr, -1},
    {&Ui::TFormVelodra::Opacity25, nullptr, -1},
    {&Ui::TFormVelodra::Opacity50, nullptr, -1},
    {&Ui::TFormVelodra::Opacity75, nullptr, -1},
};

const TCommand* FindCommand(const Ui::TFormVelodra& form, const QAction* action) {
    for (const TCommand& c : kCommands)
        if (form.*(c.Action) == action) return &c;
    return nullptr;
}

bool IsOpacityChoice(const Ui::TFormVelodra& form, const QAction* a) {
    return a == form.OpacityNone || a == form.Opacity25 || a == form.Opacity50 ||
           a == form.Opacity75;
}
} // namespace

void TFormVelodra::SetUpCommands() {
    for (const TCommand& c : kCommands) {
        QAction* a = ui.get()->*(c.Action);
        if (c.Icon >= 0) a->setIcon(MenuIcon(c.Icon));
        connect(a, &QAction::triggered, this, [this, a, c] {
            if (IsOpacityChoice(*ui, a)) {
                a->setChecked(!a->isChecked()); // undo Qt's own toggle
                return;
            }
            if (a == ui->FileExit1) {
                close();
                return;
            }
            if (a == ui->ActPlay) {
                // Play's states are refreshed just before it runs.
                UpdateCommandStates();
                if (!a->isEnabled()) return;
            }
            if (c.Handler) Guarded([&] { (this->*(c.Handler))(); });
            UpdateCommandStates();
        });
    }

    const std::pair<QToolButton*, QAction*> buttons[] = {{ui->BtnPlay, ui->ActPlay},
                                                         {ui->BtnPause, ui->ActPause},
                                                         {ui->BtnStop, ui->ActStop},
                                                         {ui->BtnLoad, ui->ActLoad},
                                                         {ui->BtnPrevFolder, ui->ActPrevFolder},
                                                         {ui->BtnPrevFile, ui->ActPrevFile},
                                                         {ui->BtnNextFile, ui->ActNextFile},
                                                         {ui->BtnNextFolder, ui->ActNextFolder}};
    for (const auto& [button, action] : buttons)
        button->setDefaultAction(action);

    // The clickable labels run their commands exactly as a menu entry does.
    const std::pair<TClickLabel*, QAction*> labels[] = {{ui->LblPosition, ui->ActReversedElasped},
                                                        {ui->LblLoop, ui->ActLoop},
                                                        {ui->LblShuffle, ui->ActShuffle},
                                                        {ui->LblTitle, ui->ActCompact},
                                                        {ui->LblDuration, ui->ActAbout}};
    for (const auto& [label, action] : labels)
        connect(label, &TClickLabel::Click, action, &QAction::trigger);
    connect(ui->LblCopyright, &TClickLabel::Click, this, [] { StartMail(); });

    connect(ui->edFolder, &QComboBox::activated, this, [this] {
        Guarded([&] { edFolderChange(); });
        UpdateCommandStates();
    });
    connect(ui->edFile, &QComboBox::activated, this, [this] {
        Guarded([&] { edFileChange(); });
        UpdateCommandStates();
    });
    connect(ui->edFolder, &TDropDownList::DropDown, this, [this] { edFolderDropDown(); });
    connect(ui->edFolder, &TDropDownList::CloseUp, this, [this] { edFolderCloseUp(); });
    connect(ui->edFile, &TDropDownList::DropDown, this, [this] { edFileDropDown(); });
    connect(ui->edFile, &TDropDownList::CloseUp, this, [this] { edFileCloseUp(); });

    ui->ProgressBar1->installEventFilter(this);
}

void TFormVelodra::SetUpMenus() {
    auto addCommon = [this](QMenu* m, const QString& optionsCaption, bool withTray) {
        m->addAction(ui->ActAbout);
        m->addSeparator();
        for (QAction* a : {ui->ActPlay, ui->ActPause, ui->ActStop, ui->ActLoad})
            m->addAction(a);
        m->addSeparator();
        for (QAction* a : {ui->ActPrevFolder, ui->ActPrevFile, ui->ActNextFile, ui->ActNextFolder})
            m->addAction(a);
        m->addSeparator();
        m->addAction(ui->ActInclWMA);
        m->addAction(ui->ActMixer);
        QMenu* options = m->addMenu(MenuIcon(11), optionsCaption);
        for (QAction* a :
             {ui->ActPlayNotification, ui->ActReversedElasped, ui->ActLoop, ui->ActShuffle})
            options->addAction(a);
        options->addSeparator();
        options->addAction(ui->ActFolderImage);
        options->addAction(ui->ActCompact);
        if (withTray) options->addAction(ui->ActMinimizeToTray);
        m->addSeparator();
        connect(m, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });
    };
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    addCommon(PopupMenu1, QStringLiteral("&Options"), true);
    PopupMenu1->addAction(ui->FileExit1);

    PUTray = new QMenu(this);
    PUTray->setObjectName(QStringLiteral("PUTray"));
    addCommon(PUTray, QStringLiteral("Options"), false);
    PUTray->addAction(ui->ActRestore);
    PUTray->setDefaultAction(ui->ActRestore); // shown bold
    PUTray->addAction(ui->FileExit1);
}

void TFormVelodra::Execute(QAction* action) {
    if (action == ui->ActPlay) UpdateCommandStates();
    if (!action->isEnabled()) return;
    if (IsOpacityChoice(*ui, action)) return;
    if (action == ui->FileExit1) {
        close();
        return;
    }
    if (action->isCheckable()) action->setChecked(!action->isChecked());
    if (const TCommand* c = FindCommand(*ui, action); c && c->Handler) (this->*(c->Handler))();
}

void TFormVelodra::SetPlayIcon(int slot) {
    ui->ActPlay->setIcon(MenuIcon(slot));
}

void TFormVelodra::SetPauseState(bool paused) {
    ActPauseTag = paused ? -1 : 0;
    ui->ActPause->setIcon(MenuIcon(paused ? 4 : 3));
    ui->ActPause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
}

QString TFormVelodra::CurrentKey() const {
    return QString::number(ui->edFolder->currentIndex()) + QLatin1Char(';') +
           QString::number(ui->edFile->currentIndex());
}

void TFormVelodra::ActPlayExecute() {
    Execute(ui->ActStop);
    FormPlayer->Play();
    SetPlayIcon(2);
    TmrMainTag = 0;
    WatchForEnd = true;
    if (ui->ActShuffle->isChecked()) PlayedKeys.insert(CurrentKey());
    if (ui->ActPlayNotification->isChecked()) ShowPlayNotification();
    SaveSettings(false);
}

void TFormVelodra::ShowPlayNotification() {
    ShowNotify(TitleText + QLatin1Char(' '),
               ui->LblDuration->text() + QStringLiteral("  ") + ui->LblBitRate->text());
    raise();
}

void TFormVelodra::ActPauseExecute() {
    if (ActPauseTag == 0) {
        FormPlayer->PauseToggle();
        SetPauseState(true);
        WatchForEnd = false;
    } else {
        FormPlayer->Resume();
        SetPauseState(false);
        WatchForEnd = true;
    }
}

void TFormVelodra::ActStopExecute() {
    WatchForEnd = false;
    FormPlayer->Stop();
    SetPlayIcon(1);
    SetPauseState(false);
    SetLabelText(ui->LblMode, FormPlayer->MediaInfo.ChannelMode);
    CenterHorizontally(ui->LblMode);
    ShowPosition(-1);
}

void TFormVelodra::ActLoadExecute() {
    if (FormPlayer->Scanning()) {
        RunWhenIdle([this] { ActLoadExecute(); });
        return;
    }
    const QString start = IsDirectory(FormPlayer->RootFolder) ? FormPlayer->RootFolder : QString();
    const QString chosen =
        BrowseFolder(this, QStringLiteral("Select folder containing MP3 and WMA files."), start);
    if (chosen.isEmpty()) return;
    setWindowTitle(BaseCaption);
    SetRootFolder(chosen);
}

void TFormVelodra::ActShuffleExecute() {
    if (!ui->ActShuffle->isChecked()) return;
    PlayedKeys.clear();
    if (FormPlayer->IsPlaying()) PlayedKeys.insert(CurrentKey());
}

void TFormVelodra::ActAboutExecute() {
    TAboutInput in;
    in.BaseCaption = BaseCaption;
    in.IsOpen = FormPlayer->IsOpen;
    in.Info = FormPlayer->MediaInfo;
    in.FolderText = ui->edFolder->currentText();
    in.RootFolder = FormPlayer->RootFolder;
    in.FolderCount = ui->edFolder->count();
    in.TotalFileCount = FormPlayer->TotalFileCount();
    ShowMessage(TMsgIcon::Information, QStringLiteral("About"), BuildAboutText(in));
}

void TFormVelodra::ActMixerExecute() {
    StartMixer();
}

void TFormVelodra::ProgressBar1MouseDown(int x) {
    WatchForEnd = false;
    const int width = std::max(1, ui->ProgressBar1->width());
    const double t = static_cast<double>(x) / width * FormPlayer->MediaInfo.Duration;
    FormPlayer->Seek(static_cast<std::int32_t>(std::nearbyint(t))); // halves to even
    QCoreApplication::processEvents();
    if (ActPauseTag != 0)
        FormPlayer->PauseToggle();
    else
        WatchForEnd = true;
}

bool TFormVelodra::eventFilter(QObject* watched, QEvent* e) {
    if (watched == ui->ProgressBar1 && e->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::LeftButton && ui->ProgressBar1->isEnabled()) {
            const int x = me->position().toPoint().x();
            Guarded([&] { ProgressBar1MouseDown(x); });
            UpdateCommandStates();
        }
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void TFormVelodra::UpdateCommandStates() {
    const int folder = ui->edFolder->currentIndex();
    const int file = ui->edFile->currentIndex();
    const bool play = folder >= 0 && file >= 0;
    ui->ActPlay->setEnabled(play);
    const bool pause = play && FormPlayer && FormPlayer->IsPlaying();
    ui->ActPause->setEnabled(pause);
    ui->ActStop->setEnabled(pause);
    const bool random = ui->ActShuffle->isChecked();
    if (edFolderTag == 0) {
        const bool prevFolder = !random && folder > 0;
        const bool nextFolder = !random && folder < ui->edFolder->count() - 1;
        ui->ActPrevFolder->setEnabled(prevFolder);
        ui->ActNextFolder->setEnabled(nextFolder);
        if (edFileTag == 0) {
            ui->ActPrevFile->setEnabled(!random && (prevFolder || file > 0));
            if (random || ui->ActLoop->isChecked())
                ui->ActNextFile->setEnabled(ui->edFolder->count() > 1 || ui->edFile->count() > 1);
            else
                ui->ActNextFile->setEnabled(nextFolder || file < ui->edFile->count() - 1);
        }
    }
    ui->edFolder->setEnabled(ui->edFolder->count() > 0);
    ui->edFile->setEnabled(ui->edFile->count() > 0);
    const auto indicator = [](QLabel* l, bool on) {
        const QColor want = on ? QColor(Qt::white) : QColor(128, 128, 128);
        if (l->palette().color(QPalette::WindowText) != want) {
            QPalette p = l->palette();
            p.setColor(QPalette::WindowText, want);
            l->setPalette(p);
        }
    };
    indicator(ui->LblLoop, ui->ActLoop->isChecked());
    indicator(ui->LblShuffle, random);
    SetLabelText(ui->LblPosition2, ui->LblPosition->text());
    SetLabelText(ui->LblDuration2, ui->LblDuration->text());
    SetLabelText(ui->LblTitle2, ui->LblTitle->text());
}
