// The commands: their wiring to buttons, labels and menus, their handlers, and the enabled
// states.
#include "ui/UFormVelodra.h"

#include "platform/Error.h"
#include "platform/ErrorReport.h"
#include "platform/FileName.h"
#include "player/UFormPlayer.h"
#include "ui/Icons.h"
#include "ui/Rules.h"
#include "ui/UAbout.h"
#include "ui/UFormNotify.h"
#include "ui_UFormVelodra.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QWindow>
#include <array>
#include <cmath>
#include <utility>

// Which handler a command runs (besides inverting its own checked state).
struct TFormVelodra::TCommand {
    QAction* Ui::TFormVelodra::*Action;
    void (TFormVelodra::*Handler)(); // nullptr: the toggle alone
    int Icon;                        // -1: none
};

std::span<const TFormVelodra::TCommand> TFormVelodra::Commands() {
    static constexpr TCommand kCommands[] = {
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
    return kCommands;
}

namespace {

bool IsOpacityChoice(const Ui::TFormVelodra& form, const QAction* a) {
    return a == form.OpacityNone || a == form.Opacity25 || a == form.Opacity50 ||
           a == form.Opacity75;
}

// The indicator labels ("RPT", "RND") are white while their option is on, else gray.
bool IsLit(const QLabel* l) {
    return l->palette().color(QPalette::WindowText) == QColor(Qt::white);
}
void SetLit(QLabel* l, bool on) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, on ? QColor(Qt::white) : QColor(128, 128, 128));
    l->setPalette(p);
}
} // namespace

void TFormVelodra::SetUpCommands() {
    for (const TCommand& c : Commands()) {
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
    for (const TCommand& c : Commands())
        if (ui.get()->*(c.Action) == action && c.Handler) (this->*(c.Handler))();
}

void TFormVelodra::SetPlayIcon(int slot) {
    ui->ActPlay->setIcon(MenuIcon(slot));
}

void TFormVelodra::SetPauseState(bool paused) {
    ActPauseTag = paused ? -1 : 0;
    ui->ActPause->setIcon(MenuIcon(paused ? 4 : 3));
    ui->ActPause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
}

void TFormVelodra::ActPlayExecute() {
    Execute(ui->ActStop);
    if (const int from = std::exchange(PlayFrom, 0); from > 0) {
        FormPlayer->Seek(from);
        ShowPosition(-1);
    }
    FormPlayer->Play();
    PlayStarted();
}

void TFormVelodra::PlayStarted() {
    SetPlayIcon(2);
    TmrMainTag = 0;
    WatchForEnd = true;
    if (ui->ActShuffle->isChecked())
        PlayedKeys.Insert(ui->edFolder->currentIndex(), ui->edFile->currentIndex());
    PlanNextFile();
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
    const QString& root = FormPlayer->Library.RootFolder;
    const QString start = IsDirectory(root) ? root : QString();
    const QString chosen =
        BrowseFolder(this, QStringLiteral("Select folder containing MP3 and WMA files."), start);
    if (chosen.isEmpty()) return;
    setWindowTitle(BaseCaption);
    SetRootFolder(chosen);
}

void TFormVelodra::ActShuffleExecute() {
    if (!ui->ActShuffle->isChecked()) return;
    PlayedKeys.Clear();
    if (FormPlayer->IsPlaying())
        PlayedKeys.Insert(ui->edFolder->currentIndex(), ui->edFile->currentIndex());
}

void TFormVelodra::ActAboutExecute() {
    TAboutInput in;
    in.BaseCaption = BaseCaption;
    in.IsOpen = FormPlayer->IsOpen;
    in.Info = FormPlayer->MediaInfo;
    in.FolderText = ui->edFolder->currentText();
    in.RootFolder = FormPlayer->Library.RootFolder;
    in.FolderCount = ui->edFolder->count();
    in.TotalFileCount = FormPlayer->Library.TotalFileCount();
    ShowMessage(TMsgIcon::Information, QStringLiteral("About"), BuildAboutText(in));
}

void TFormVelodra::ActMixerExecute() {
    StartMixer();
}

void TFormVelodra::ProgressBar1MouseDown(int x) {
    const int width = std::max(1, ui->ProgressBar1->width());
    const double t = static_cast<double>(x) / width * FormPlayer->MediaInfo.Duration;
    SeekPosition(static_cast<std::int32_t>(std::nearbyint(t))); // halves to even
}

void TFormVelodra::SeekPosition(std::int32_t ms) {
    WatchForEnd = false;
    FormPlayer->Seek(ms);
    QCoreApplication::processEvents();
    if (ActPauseTag != 0)
        FormPlayer->PauseToggle();
    else
        WatchForEnd = true;
    emit PositionMoved(FormPlayer->Position());
}

void TFormVelodra::SeekTo(std::int32_t ms) {
    // Only while the bar itself would take a click: a file is open.
    if (!ui->ProgressBar1->isEnabled()) return;
    Guarded([&] { SeekPosition(ms); });
    UpdateCommandStates();
}

void TFormVelodra::OpenFolder(const QString& path) {
    // Queued, as a drop is: the caller (a drop, the bus) never waits for the scan.
    QMetaObject::invokeMethod(
        this, [this, path] { Guarded([&] { RunWhenIdle([this, path] { DropPath(path); }); }); },
        Qt::QueuedConnection);
}

void TFormVelodra::HandOver(const std::optional<QString>& argument) {
    ui->ActRestore->trigger();
    if (!argument) return;
    if (IsDirectory(*argument)) {
        OpenFolder(*argument);
        return;
    }
    QApplication::beep();
    ShowMessage(TMsgIcon::Error, BaseCaption, QStringLiteral("Invalid folder: ") + *argument);
}

bool TFormVelodra::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Expose && !Placed && watched == windowHandle() &&
        windowHandle()->isExposed()) {
        // Mapped, so framed and placed: from now on the geometry is the window's own.
        Placed = true;
        KeepOnScreen();
        return false;
    }
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

std::array<std::pair<QAction*, bool TCommandStates::*>, 7> TFormVelodra::DecidedCommands() const {
    return {{{ui->ActPlay, &TCommandStates::Play},
             {ui->ActPause, &TCommandStates::Pause},
             {ui->ActStop, &TCommandStates::Stop},
             {ui->ActPrevFolder, &TCommandStates::PrevFolder},
             {ui->ActPrevFile, &TCommandStates::PrevFile},
             {ui->ActNextFile, &TCommandStates::NextFile},
             {ui->ActNextFolder, &TCommandStates::NextFolder}}};
}

TCommandInput TFormVelodra::GatherCommandInput() const {
    TCommandInput in;
    in.FolderIndex = ui->edFolder->currentIndex();
    in.FileIndex = ui->edFile->currentIndex();
    in.FolderCount = ui->edFolder->count();
    in.FileCount = ui->edFile->count();
    in.Random = ui->ActShuffle->isChecked();
    in.Repeat = ui->ActLoop->isChecked();
    in.PlayerIsPlaying = FormPlayer && FormPlayer->IsPlaying();
    in.edFolderTag = edFolderTag;
    in.edFileTag = edFileTag;
    for (const auto& [action, slot] : DecidedCommands())
        in.Last.*slot = action->isEnabled();
    in.Last.FolderList = ui->edFolder->isEnabled();
    in.Last.FileList = ui->edFile->isEnabled();
    in.Last.LoopLit = IsLit(ui->LblLoop);
    in.Last.ShuffleLit = IsLit(ui->LblShuffle);
    return in;
}

void TFormVelodra::UpdateCommandStates() {
    const TCommandInput in = GatherCommandInput();
    const TCommandStates want = DecideCommandStates(in);
    const TCommandStates& last = in.Last;
    for (const auto& [action, slot] : DecidedCommands())
        if (last.*slot != want.*slot) action->setEnabled(want.*slot);
    if (last.FolderList != want.FolderList) ui->edFolder->setEnabled(want.FolderList);
    if (last.FileList != want.FileList) ui->edFile->setEnabled(want.FileList);
    if (last.LoopLit != want.LoopLit) SetLit(ui->LblLoop, want.LoopLit);
    if (last.ShuffleLit != want.ShuffleLit) SetLit(ui->LblShuffle, want.ShuffleLit);
    SetLabelText(ui->LblPosition2, ui->LblPosition->text());
    SetLabelText(ui->LblDuration2, ui->LblDuration->text());
    SetLabelText(ui->LblTitle2, ui->LblTitle->text());
    emit CommandStatesUpdated();
}
