// The commands: their wiring to buttons, labels and menus, their handlers, and the enabled
// states.
#include "ui/UFormVelodra.h"

#include "platform/Error.h"
#include "platform/ErrorReport.h"
#include "platform/FileName.h"
#include "player/Session.h"
#include "player/Settings.h"
#include "ui/Icons.h"
#include "ui/Rules.h"
#include "ui/UAbout.h"
#include "ui/UFormJump.h"
#include "ui/UFormNotify.h"
#include "ui_UFormVelodra.h"

#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <cmath>
#include <optional>
#include <utility>

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

// The pictures of the commands, by the slots of the command image list.
void TFormVelodra::SetUpCommands() {
    const std::pair<QAction*, int> icons[] = {
        {ui->ActPlay, 1},        {ui->ActPause, 3},       {ui->ActStop, 5},
        {ui->ActLoad, 6},        {ui->ActPrevFolder, 7},  {ui->ActPrevFile, 8},
        {ui->ActNextFile, 9},    {ui->ActNextFolder, 10}, {ui->ActAbout, 0},
        {ui->FileExit1, 14},     {ui->ActMixer, 16},      {ui->ActRestore, 13},
        {ui->ActFolderImage, 17}};
    for (const auto& [action, slot] : icons)
        action->setIcon(MenuIcon(slot));
    for (QAction* a : actions())
        connect(a, &QAction::triggered, this, [this, a] { Execute(a); });
    // The options that steer the session follow their checks however these change.
    connect(ui->ActLoop, &QAction::toggled, this, [this](bool on) {
        if (Session) Session->SetRepeat(on);
    });
    connect(ui->ActShuffle, &QAction::toggled, this, [this](bool on) {
        if (Session) Session->SetRandom(on);
    });
    connect(ui->ActNaturalOrder, &QAction::toggled, this, [this](bool on) {
        if (Session) Session->SetNaturalOrder(on);
    });
    // The position label says what it shows.
    connect(ui->ActReversedElasped, &QAction::toggled, this, [this](bool on) {
        ui->LblPosition->setAccessibleName(on ? tr("Remaining") : tr("Elapsed"));
    });
    connect(ui->ActInclWMA, &QAction::toggled, this, [this](bool on) {
        if (Session) Session->SetIncludeWma(on);
    });
    connect(ui->ActInclOther, &QAction::toggled, this, [this](bool on) {
        if (Session) Session->SetIncludeOther(on);
    });
    // One of the three ReplayGain choices is checked at a time.
    auto* gain = new QActionGroup(this);
    const QList<QAction*> choices = ReplayGainChoices();
    for (int mode = 0; mode < choices.size(); ++mode) {
        gain->addAction(choices[mode]);
        connect(choices[mode], &QAction::toggled, this, [this, mode](bool on) {
            if (on && Session) Session->SetReplayGain(mode);
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

    // edFolderChange and edFileChange: the choice goes to the session, which announces it.
    connect(ui->edFolder, &QComboBox::activated, this, [this](int i) {
        if (Session) Session->SelectFolder(i);
    });
    connect(ui->edFile, &QComboBox::activated, this, [this](int i) {
        if (Session) Session->SelectFile(i);
    });
    // edFolderDropDown, edFolderCloseUp, edFileDropDown, edFileCloseUp
    for (TDropDownList* list : {ui->edFolder, ui->edFile}) {
        const bool folders = list == ui->edFolder;
        connect(list, &TDropDownList::DropDown, this, [this, folders] {
            if (Session) Session->SetListDropped(folders, true);
        });
        connect(list, &TDropDownList::CloseUp, this, [this, folders] {
            if (Session) Session->SetListDropped(folders, false);
        });
    }

    ui->ProgressBar1->installEventFilter(this);
    // The wheel over a closed list is the window's (the volume): turned over a list it would
    // change the folder or the file unasked.
    ui->edFolder->installEventFilter(this);
    ui->edFile->installEventFilter(this);
}

void TFormVelodra::SetUpMenus() {
    auto addCommon = [this](QMenu* m, const QString& optionsCaption, bool withTray) {
        m->addAction(ui->ActAbout);
        m->addSeparator();
        for (QAction* a : {ui->ActPlay, ui->ActPause, ui->ActStop, ui->ActLoad, ui->ActJumpToFile})
            m->addAction(a);
        m->addSeparator();
        for (QAction* a : {ui->ActPrevFolder, ui->ActPrevFile, ui->ActNextFile, ui->ActNextFolder})
            m->addAction(a);
        m->addSeparator();
        m->addAction(ui->ActInclWMA);
        m->addAction(ui->ActInclOther);
        m->addAction(ui->ActMixer);
        QMenu* options = m->addMenu(MenuIcon(11), optionsCaption);
        for (QAction* a : {ui->ActPlayNotification, ui->ActReversedElasped, ui->ActLoop,
                           ui->ActShuffle, ui->ActNaturalOrder})
            options->addAction(a);
        QMenu* gain = options->addMenu(tr("ReplayGain"));
        gain->addActions(ReplayGainChoices());
        options->addSeparator();
        options->addAction(ui->ActFolderImage);
        options->addAction(ui->ActCompact);
        if (withTray) options->addAction(ui->ActMinimizeToTray);
        m->addSeparator();
    };
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    addCommon(PopupMenu1, tr("&Options"), true);
    PopupMenu1->addAction(ui->FileExit1);

    PUTray = new QMenu(this);
    PUTray->setObjectName(QStringLiteral("PUTray"));
    addCommon(PUTray, tr("Options"), false);
    PUTray->addAction(ui->ActRestore);
    PUTray->setDefaultAction(ui->ActRestore); // shown bold
    PUTray->addAction(ui->FileExit1);
}

// The one way every command runs. Qt has inverted a checkable command's check already.
void TFormVelodra::Execute(QAction* action) {
    const Ui::TFormVelodra& f = *ui;
    if (IsOpacityChoice(f, action)) {
        // The opacity choices are inert: running one changes nothing, not even its check.
        action->setChecked(!action->isChecked());
        return;
    }
    const std::pair<QAction*, TCommand> decided[] = {{f.ActPlay, TCommand::Play},
                                                     {f.ActPause, TCommand::Pause},
                                                     {f.ActStop, TCommand::Stop},
                                                     {f.ActPrevFolder, TCommand::PrevFolder},
                                                     {f.ActPrevFile, TCommand::PrevFile},
                                                     {f.ActNextFile, TCommand::NextFile},
                                                     {f.ActNextFolder, TCommand::NextFolder}};
    for (const auto& [a, command] : decided) {
        if (a != action) continue;
        if (Session) Session->Run(command);
        return;
    }
    if (!Session) return;
    if (action == f.ActLoad) ActLoadExecute();
    if (action == f.ActJumpToFile) ActJumpToFileExecute();
    if (action == f.ActCompact) ActCompactExecute();
    if (action == f.ActFolderImage) UpdateFolderImage();
    if (action == f.ActAbout) ActAboutExecute();
    if (action == f.ActMixer) StartMixer();
    if (action == f.ActRestore) ActRestoreExecute();
    if (action == f.FileExit1) close();
}

void TFormVelodra::StateChanged() {
    const TPlayState state = Session->State();
    const bool paused = state == TPlayState::Paused;
    ui->ActPlay->setIcon(MenuIcon(state == TPlayState::Stopped ? 1 : 2));
    ui->ActPause->setIcon(MenuIcon(paused ? 4 : 3));
    ui->ActPause->setText(paused ? tr("Resume") : tr("Pause"));
    if (state != TPlayState::Stopped) return;
    SetLabelText(ui->LblMode, ChannelModeText(Session->Info().ChannelMode));
    CenterHorizontally(ui->LblMode);
    ShowPosition(-1);
}

void TFormVelodra::PlayStarted() {
    TmrMainTag = 0;
    ShowPosition(-1); // a resumed file starts where it was left
    if (ui->ActPlayNotification->isChecked()) ShowPlayNotification();
    Settings->Post(CurrentSettings());
}

void TFormVelodra::ReachedEnd() {
    SetShadowText(ui->LblPosition, ui->ActReversedElasped->isChecked() ? QStringLiteral("00:00")
                                                                       : ui->LblDuration->text());
}

void TFormVelodra::ShowPlayNotification() {
    const TMediaInfo& info = Session->Info();
    ShowNotify(TitleText + QLatin1Char(' '),
               ui->LblDuration->text() + QStringLiteral("  ") +
                   RateText(info.SampleRate, info.BitRate),
               info.Artist, info.Album, Session->ShownPicture());
    raise();
}

void TFormVelodra::ActLoadExecute() {
    const QString& root = Session->Library().RootFolder;
    const QString start = IsDirectory(root) ? root : QString();
    // The other formats named one by one would not fit a dialog's caption.
    const QString text = ui->ActInclOther->isChecked()
                             ? tr("Select folder containing music files.")
                             : tr("Select folder containing MP3 and WMA files.");
    BrowseFolder(this, text, start, [this](const QString& chosen) {
        if (chosen.isEmpty() || !Session) return;
        setWindowTitle(BaseCaption);
        Session->OpenFolder(chosen);
    });
}

void TFormVelodra::ActJumpToFileExecute() {
    if (!FormJump) FormJump = new TFormJump(*Session, this);
    FormJump->Open();
}

void TFormVelodra::ActAboutExecute() {
    TAboutInput in;
    in.BaseCaption = BaseCaption;
    in.IsOpen = Session->FileOpen();
    in.Info = Session->Info();
    in.FolderText = ui->edFolder->currentText();
    in.RootFolder = Session->Library().RootFolder;
    in.FolderCount = ui->edFolder->count();
    in.TotalFileCount = Session->Library().TotalFileCount();
    ShowMessage(TMsgIcon::Information, tr("About"), BuildAboutText(in));
}

void TFormVelodra::ProgressBar1MouseDown(int x) {
    const int width = std::max(1, ui->ProgressBar1->width());
    const double t = static_cast<double>(x) / width * Session->Info().Duration;
    Session->Seek(static_cast<std::int32_t>(std::nearbyint(t))); // halves to even
}

bool TFormVelodra::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Expose && !Placed && watched == windowHandle() &&
        windowHandle()->isExposed()) {
        // Mapped, so framed and placed: from now on the geometry is the window's own.
        Placed = true;
        KeepOnScreen();
        return false;
    }
    if ((watched == ui->edFolder || watched == ui->edFile) && e->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(e));
        return true;
    }
    if (watched == ui->ProgressBar1 && e->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::LeftButton && ui->ProgressBar1->isEnabled()) {
            ProgressBar1MouseDown(me->position().toPoint().x());
        }
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void TFormVelodra::CommandStatesChanged() {
    if (!Session) return;
    const TCommandStates s = Session->CommandStates();
    const std::pair<QAction*, bool> enabled[] = {{ui->ActPlay, s.Play},
                                                 {ui->ActPause, s.Pause},
                                                 {ui->ActStop, s.Stop},
                                                 {ui->ActPrevFolder, s.PrevFolder},
                                                 {ui->ActPrevFile, s.PrevFile},
                                                 {ui->ActNextFile, s.NextFile},
                                                 {ui->ActNextFolder, s.NextFolder}};
    for (const auto& [action, on] : enabled)
        if (action->isEnabled() != on) action->setEnabled(on);
    if (ui->edFolder->isEnabled() != s.FolderList) ui->edFolder->setEnabled(s.FolderList);
    if (ui->edFile->isEnabled() != s.FileList) ui->edFile->setEnabled(s.FileList);
    if (IsLit(ui->LblLoop) != s.LoopLit) SetLit(ui->LblLoop, s.LoopLit);
    if (IsLit(ui->LblShuffle) != s.ShuffleLit) SetLit(ui->LblShuffle, s.ShuffleLit);
    ShowValueTexts();
}

QList<QAction*> TFormVelodra::ReplayGainChoices() const {
    return {ui->ActReplayGainOff, ui->ActReplayGainTrack, ui->ActReplayGainAlbum};
}

void TFormVelodra::OptionsChanged() {
    ui->ActLoop->setChecked(Session->Repeat());
    ui->ActShuffle->setChecked(Session->Random());
    ui->ActNaturalOrder->setChecked(Session->NaturalOrder());
    ui->ActInclWMA->setChecked(Session->IncludeWma());
    ui->ActInclOther->setChecked(Session->IncludeOther());
    ReplayGainChoices().at(Session->ReplayGain())->setChecked(true);
}
