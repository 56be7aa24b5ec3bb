#include "player/Settings.h"

#include "platform/Error.h"
#include "platform/IniFile.h"

#include <utility>

namespace {
const QString kLast = QStringLiteral("Last");
const QString kConfig = QStringLiteral("Config");
const QString kWindow = QStringLiteral("Window");
} // namespace

TSettings ReadSettings(const QString& path, const TSettings& d) {
    const TIniFile ini(path);
    TSettings s = d;
    s.Root = ini.ReadString(kLast, QStringLiteral("Root"), d.Root);
    s.Folder = ini.ReadInteger(kLast, QStringLiteral("Folder"), d.Folder);
    s.File = ini.ReadInteger(kLast, QStringLiteral("File"), d.File);
    s.Playing = ini.ReadBool(kLast, QStringLiteral("Playing"), d.Playing);
    s.Position = ini.ReadInteger(kLast, QStringLiteral("Position"), d.Position);
    s.FolderKey = ini.ReadString(kLast, QStringLiteral("FolderKey"), d.FolderKey);
    s.FileName = ini.ReadString(kLast, QStringLiteral("FileName"), d.FileName);
    s.InclWMA = ini.ReadBool(kConfig, QStringLiteral("InclWMA"), d.InclWMA);
    s.Loop = ini.ReadBool(kConfig, QStringLiteral("Loop"), d.Loop);
    s.Shuffle = ini.ReadBool(kConfig, QStringLiteral("Shuffle"), d.Shuffle);
    s.PlayNotification =
        ini.ReadBool(kConfig, QStringLiteral("PlayNotification"), d.PlayNotification);
    s.Opaque = ini.ReadInteger(kConfig, QStringLiteral("Opaque"), d.Opaque) & 0xFF;
    s.InclOther = ini.ReadBool(kConfig, QStringLiteral("InclOther"), d.InclOther);
    s.ReplayGain = ini.ReadInteger(kConfig, QStringLiteral("ReplayGain"), d.ReplayGain);
    if (s.ReplayGain < 0 || s.ReplayGain > 2) s.ReplayGain = d.ReplayGain;
    s.NaturalOrder = ini.ReadBool(kConfig, QStringLiteral("NaturalOrder"), d.NaturalOrder);
    s.Volume = ini.ReadInteger(kConfig, QStringLiteral("Volume"), d.Volume);
    if (s.Volume < 0 || s.Volume > 100) s.Volume = d.Volume;
    s.Left = ini.ReadInteger(kWindow, QStringLiteral("Left"), d.Left);
    s.Top = ini.ReadInteger(kWindow, QStringLiteral("Top"), d.Top);
    s.Compact = ini.ReadBool(kWindow, QStringLiteral("Compact"), d.Compact);
    s.MinimizeToTray = ini.ReadBool(kWindow, QStringLiteral("MinimizeToTray"), d.MinimizeToTray);
    s.FolderImage = ini.ReadBool(kWindow, QStringLiteral("FolderImage"), d.FolderImage);
    s.Minimized = ini.ReadBool(kWindow, QStringLiteral("Minimized"), d.Minimized);
    return s;
}

void WriteSettings(const QString& path, const TSettings& s) {
    TIniFile ini(path);
    ini.EraseSection(kLast);
    ini.WriteString(kLast, QStringLiteral("Root"), s.Root);
    ini.WriteInteger(kLast, QStringLiteral("Folder"), s.Folder);
    ini.WriteInteger(kLast, QStringLiteral("File"), s.File);
    ini.WriteBool(kLast, QStringLiteral("Playing"), s.Playing);
    // After the older keys, so that files without it read as before.
    ini.WriteInteger(kLast, QStringLiteral("Position"), s.Position);
    if (!s.FolderKey.isEmpty()) {
        ini.WriteString(kLast, QStringLiteral("FolderKey"), s.FolderKey);
        ini.WriteString(kLast, QStringLiteral("FileName"), s.FileName);
    }

    ini.EraseSection(kConfig);
    ini.WriteBool(kConfig, QStringLiteral("InclWMA"), s.InclWMA);
    ini.WriteBool(kConfig, QStringLiteral("Loop"), s.Loop);
    ini.WriteBool(kConfig, QStringLiteral("Shuffle"), s.Shuffle);
    ini.WriteBool(kConfig, QStringLiteral("PlayNotification"), s.PlayNotification);
    ini.WriteInteger(kConfig, QStringLiteral("Opaque"), s.Opaque);
    // The keys added since go after the older ones, so that older files read as before.
    ini.WriteBool(kConfig, QStringLiteral("InclOther"), s.InclOther);
    ini.WriteInteger(kConfig, QStringLiteral("ReplayGain"), s.ReplayGain);
    ini.WriteBool(kConfig, QStringLiteral("NaturalOrder"), s.NaturalOrder);
    ini.WriteInteger(kConfig, QStringLiteral("Volume"), s.Volume);

    ini.EraseSection(kWindow);
    if (s.HasCorner) {
        ini.WriteInteger(kWindow, QStringLiteral("Left"), s.Left);
        ini.WriteInteger(kWindow, QStringLiteral("Top"), s.Top);
    }
    ini.WriteBool(kWindow, QStringLiteral("Compact"), s.Compact);
    ini.WriteBool(kWindow, QStringLiteral("MinimizeToTray"), s.MinimizeToTray);
    ini.WriteBool(kWindow, QStringLiteral("FolderImage"), s.FolderImage);
    ini.WriteBool(kWindow, QStringLiteral("Minimized"), s.Minimized);
    ini.UpdateFile();
}

TSettingsWriter::~TSettingsWriter() {
    {
        const std::lock_guard lock(Mutex);
        Ending = true;
    }
    Wake.notify_all();
    if (Thread.joinable()) Thread.join();
}

void TSettingsWriter::Post(const QString& path, const TSettings& settings) {
    {
        const std::lock_guard lock(Mutex);
        Pending.emplace(path, settings);
        if (!Thread.joinable()) Thread = std::thread([this] { Run(); });
    }
    Wake.notify_all();
}

void TSettingsWriter::Flush() {
    std::unique_lock lock(Mutex);
    Wake.wait(lock, [this] { return !Pending && !Writing; });
}

void TSettingsWriter::Run() {
    std::unique_lock lock(Mutex);
    for (;;) {
        Wake.wait(lock, [this] { return Pending || Ending; });
        if (!Pending) return;
        const auto [path, settings] = *std::exchange(Pending, std::nullopt);
        Writing = true;
        lock.unlock();
        try {
            WriteSettings(path, settings);
        } catch (const EVelodraError&) {
            // Not reported here: the close saves again and says why it can't.
        }
        lock.lock();
        Writing = false;
        Wake.notify_all();
    }
}

TSettingsKeeper::TSettingsKeeper(QString fileName, TReport report)
    : File(std::move(fileName)), Report(std::move(report)) {}

TSettingsKeeper::~TSettingsKeeper() = default;

TSettings TSettingsKeeper::Load(const TSettings& defaults) {
    const TSettings s = ReadSettings(File, defaults);
    IsLoaded = true;
    Playing = s.Playing;
    return s;
}

void TSettingsKeeper::Post(TSettings settings) {
    if (!Writer) Writer = std::make_unique<TSettingsWriter>();
    settings.Playing = Playing;
    Writer->Post(File, settings);
}

void TSettingsKeeper::Write(TSettings settings) {
    if (!IsLoaded) return;
    if (Writer) Writer->Flush();
    settings.Playing = Playing;
    try {
        WriteSettings(File, settings);
    } catch (const EVelodraError& e) {
        // The reason is what follows the headline of the file's own message; a failure without
        // a headline (a value that cannot be written) is its own reason.
        const qsizetype cut = e.Message.indexOf(QStringLiteral("\r\r"));
        const QString reason = cut >= 0 ? e.Message.mid(cut + 2) : e.Message;
        // Logged while a session ended, it has still not been seen by the user.
        const QString told = (Ending ? QStringLiteral("log ") : QStringLiteral("box ")) + reason;
        if (Reported.contains(told)) return;
        Reported.append(told);
        if (Report) Report(reason, Ending);
    }
}

void TSettingsKeeper::WriteAsSessionEnds(TSettings settings, bool playing) {
    const bool loaded = std::exchange(Playing, playing);
    const bool ending = std::exchange(Ending, true);
    Write(std::move(settings));
    Ending = ending;
    Playing = loaded;
}
