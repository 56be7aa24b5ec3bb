<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>TAbout</name>
    <message>
        <source>(c) 2026 the Velodra developers</source>
        <translation>(c) 2026 die Velodra-Entwickler</translation>
    </message>
    <message>
        <source>Made in Europe.</source>
        <translation>Hergestellt in Europa.</translation>
    </message>
    <message>
        <source>version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>please, send donation.</source>
        <translation>Bitte unterstützen Sie uns mit einer Spende.</translation>
    </message>
    <message>
        <source>Current media:</source>
        <translation>Aktuelle Datei:</translation>
    </message>
    <message>
        <source>Title: </source>
        <translation>Titel: </translation>
    </message>
    <message>
        <source>Artist: </source>
        <translation>Interpret: </translation>
    </message>
    <message>
        <source>Album: </source>
        <translation>Album: </translation>
    </message>
    <message>
        <source>Track: </source>
        <translation>Titelnummer: </translation>
    </message>
    <message>
        <source>Year: </source>
        <translation>Jahr: </translation>
    </message>
    <message>
        <source>Genre: </source>
        <translation>Genre: </translation>
    </message>
    <message>
        <source>Channel: </source>
        <translation>Kanalmodus: </translation>
    </message>
    <message>
        <source>Sample rate: </source>
        <translation>Abtastrate: </translation>
    </message>
    <message>
        <source>Bit rate: </source>
        <translation>Bitrate: </translation>
    </message>
    <message>
        <source>Duration: </source>
        <translation>Dauer: </translation>
    </message>
    <message>
        <source>Folder: </source>
        <translation>Ordner: </translation>
    </message>
    <message>
        <source>File: </source>
        <translation>Datei: </translation>
    </message>
    <message>
        <source>Size: </source>
        <translation>Größe: </translation>
    </message>
    <message>
        <source>Root: </source>
        <translation>Stammordner: </translation>
    </message>
    <message>
        <source>Count: </source>
        <translation>Anzahl: </translation>
    </message>
    <message>
        <source>%1 folders, %2 files</source>
        <translation>%1 Ordner, %2 Dateien</translation>
    </message>
    <message>
        <source>Comment: </source>
        <translation>Kommentar: </translation>
    </message>
    <message>
        <source>Folder oriented audio files player. Supports MP3, WMA, FLAC, Ogg Vorbis, Opus, M4A and WAV.</source>
        <translation>Ordnerorientierter Player für Audiodateien. Unterstützt MP3, WMA, FLAC, Ogg Vorbis, Opus, M4A und WAV.</translation>
    </message>
</context>
<context>
    <name>TCommandLine</name>
    <message>
        <source>only the first argument is used; ignored: %1</source>
        <translation>nur das erste Argument wird verwendet; übergangen: %1</translation>
    </message>
    <message>
        <source>Usage: velodra [FOLDER | FILE]
       velodra --help | --version

Velodra plays the audio files below one root folder, folder by folder.

  FOLDER     becomes the root folder: every folder below it that holds MP3
             files is played (WMA files with &quot;Includes WMA&quot;; FLAC, Ogg
             Vorbis, Opus, M4A and WAV files with &quot;Includes Other Formats&quot;).
  FILE       an audio file to play, in the library of its folder.
             Without either, the last run&apos;s root, folder and file return.
             While Velodra runs, a second start hands its argument over.
  --help     prints this text.
  --version  prints the version.

Settings: $XDG_CONFIG_HOME/velodra.ini, else ~/.config/velodra.ini
          (here %1).

Tools:
  velodra-info [--json] FILE...     prints what Velodra reads from audio files
  velodra-scan ROOT [--include-wma] [--include-other] [--natural-order]
               [--json]
                                    lists the library Velodra makes of ROOT
</source>
        <translation>Aufruf: velodra [ORDNER | DATEI]
        velodra --help | --version

Velodra spielt die Audiodateien unter einem Stammordner ab, Ordner für Ordner.

  ORDNER     wird zum Stammordner: jeder Ordner darunter, der MP3-Dateien
             enthält, wird abgespielt (WMA-Dateien mit „WMA einbeziehen“;
             FLAC-, Ogg-Vorbis-, Opus-, M4A- und WAV-Dateien mit „Andere
             Formate einbeziehen“).
  DATEI      eine Audiodatei, die in der Bibliothek ihres Ordners spielt.
             Ohne beides kehren Stammordner, Ordner und Datei des letzten
             Laufs zurück.
             Läuft Velodra schon, gibt ein zweiter Start sein Argument weiter.
  --help     gibt diesen Text aus.
  --version  gibt die Version aus.

Einstellungen: $XDG_CONFIG_HOME/velodra.ini, sonst ~/.config/velodra.ini
               (hier %1).

Werkzeuge:
  velodra-info [--json] DATEI...    gibt aus, was Velodra aus Audiodateien liest
  velodra-scan STAMM [--include-wma] [--include-other] [--natural-order]
                     [--json]
                                    listet Velodras Bibliothek von STAMM
</translation>
    </message>
</context>
<context>
    <name>TErrorReport</name>
    <message>
        <source>An unexpected error stopped this command.</source>
        <translation>Ein unerwarteter Fehler hat diesen Befehl abgebrochen.</translation>
    </message>
</context>
<context>
    <name>TFormJump</name>
    <message>
        <source>Jump to File</source>
        <translation>Zu Datei springen</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suche</translation>
    </message>
    <message>
        <source>Matches</source>
        <translation>Treffer</translation>
    </message>
</context>
<context>
    <name>TFormLoading</name>
    <message>
        <source>Loading... (%1 folders, %2 files)</source>
        <translation>Laden … (%1 Ordner, %2 Dateien)</translation>
    </message>
</context>
<context>
    <name>TFormPlayer</name>
    <message>
        <source>Abort</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Could not find any audio file in %1.</source>
        <translation>In %1 wurde keine Audiodatei gefunden.</translation>
    </message>
    <message>
        <source><byte value="xd"/><byte value="xd"/>It holds FLAC, Ogg, Opus, M4A or WAV files: turn on &quot;Includes Other Formats&quot; to play them.</source>
        <translation><byte value="xd"/><byte value="xd"/>Der Ordner enthält FLAC-, Ogg-, Opus-, M4A- oder WAV-Dateien: Schalten Sie „Andere Formate einbeziehen“ ein, um sie abzuspielen.</translation>
    </message>
    <message>
        <source>%1 doesn&apos;t exist.</source>
        <translation>%1 existiert nicht.</translation>
    </message>
    <message>
        <source>Loading</source>
        <translation>Laden</translation>
    </message>
</context>
<context>
    <name>TFormVelodra</name>
    <message>
        <source>Folder picture</source>
        <translation>Ordnerbild</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Random</source>
        <translation>Zufällig</translation>
    </message>
    <message>
        <source>RND</source>
        <translation>ZUF</translation>
    </message>
    <message>
        <source>Elapsed</source>
        <translation>Verstrichen</translation>
    </message>
    <message>
        <source>Channel mode</source>
        <translation>Kanalmodus</translation>
    </message>
    <message>
        <source>Repeat</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>RPT</source>
        <translation>WDH</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>Sample rate and bit rate</source>
        <translation>Abtastrate und Bitrate</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Laden</translation>
    </message>
    <message>
        <source>Prior Folder</source>
        <translation>Vorheriger Ordner</translation>
    </message>
    <message>
        <source>Prior File</source>
        <translation>Vorherige Datei</translation>
    </message>
    <message>
        <source>Next File</source>
        <translation>Nächste Datei</translation>
    </message>
    <message>
        <source>Next Folder</source>
        <translation>Nächster Ordner</translation>
    </message>
    <message>
        <source>Reversed Elasped</source>
        <translation>Restzeit anzeigen</translation>
    </message>
    <message>
        <source>Compact</source>
        <translation>Kompakt</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Quits the application</source>
        <translation>Beendet das Programm</translation>
    </message>
    <message>
        <source>Mixer</source>
        <translation>Mixer</translation>
    </message>
    <message>
        <source>Includes WMA</source>
        <translation>WMA einbeziehen</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>ReplayGain: Off</source>
        <translation>ReplayGain: Aus</translation>
    </message>
    <message>
        <source>Track</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>ReplayGain: Track</source>
        <translation>ReplayGain: Titel</translation>
    </message>
    <message>
        <source>Album</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>ReplayGain: Album</source>
        <translation>ReplayGain: Album</translation>
    </message>
    <message>
        <source>Includes Other Formats</source>
        <translation>Andere Formate einbeziehen</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>Wiederherstellen</translation>
    </message>
    <message>
        <source>Minimize to Tray</source>
        <translation>In den Infobereich minimieren</translation>
    </message>
    <message>
        <source>Folder Image</source>
        <translation>Ordnerbild</translation>
    </message>
    <message>
        <source>Play Notification</source>
        <translation>Hinweis bei Wiedergabe</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Remaining</source>
        <translation>Verbleibend</translation>
    </message>
    <message>
        <source>ReplayGain</source>
        <translation>ReplayGain</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <source>Select folder containing MP3 and WMA files.</source>
        <translation>Ordner mit MP3- und WMA-Dateien wählen.</translation>
    </message>
    <message>
        <source>Welcome to %1!</source>
        <translation>Willkommen bei %1!</translation>
    </message>
    <message>
        <source>On</source>
        <translation>Ein</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>Folder %1 of %2: <byte value="xd"/>%3</source>
        <translation>Ordner %1 von %2: <byte value="xd"/>%3</translation>
    </message>
    <message>
        <source>File %1 of %2: <byte value="xd"/>%3</source>
        <translation>Datei %1 von %2: <byte value="xd"/>%3</translation>
    </message>
    <message>
        <source>Could not write to %1.</source>
        <translation>In %1 konnte nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Jump to File</source>
        <translation>Zu Datei springen</translation>
    </message>
    <message>
        <source>Natural Order</source>
        <translation>Natürliche Reihenfolge</translation>
    </message>
    <message>
        <source>Select folder containing music files.</source>
        <translation>Ordner mit Musikdateien wählen.</translation>
    </message>
    <message>
        <source>Volume %1 %</source>
        <translation>Lautstärke %1 %</translation>
    </message>
</context>
<context>
    <name>TIniFile</name>
    <message>
        <source>Could not write to %1.</source>
        <translation>In %1 konnte nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Invalid section name %1.</source>
        <translation>Ungültiger Abschnittsname %1.</translation>
    </message>
    <message>
        <source>Invalid key name %1.</source>
        <translation>Ungültiger Schlüsselname %1.</translation>
    </message>
    <message>
        <source>The value of %1 holds a line break.</source>
        <translation>Der Wert von %1 enthält einen Zeilenumbruch.</translation>
    </message>
    <message>
        <source>The file is larger than %1 MiB, too large to be a settings file, so it was left alone.</source>
        <translation>Die Datei ist größer als %1 MiB und damit zu groß für eine Einstellungsdatei; sie wurde nicht verändert.</translation>
    </message>
    <message>
        <source>The file could not be read, so it is left as it is.</source>
        <translation>Die Datei konnte nicht gelesen werden und bleibt daher unverändert.</translation>
    </message>
    <message>
        <source>The settings would take %1 bytes, more than the %2 MiB a settings file may have, so the file was left as it is.</source>
        <translation>Die Einstellungen würden %1 Bytes belegen, mehr als die %2 MiB, die eine Einstellungsdatei haben darf; die Datei bleibt daher unverändert.</translation>
    </message>
    <message>
        <source>The file is a symbolic link; settings are saved only to a regular file, so the link and the file it points to were left alone.</source>
        <translation>Die Datei ist eine symbolische Verknüpfung; Einstellungen werden nur in eine reguläre Datei gespeichert, daher blieben die Verknüpfung und ihr Ziel unverändert.</translation>
    </message>
</context>
<context>
    <name>TMediaDevice</name>
    <message>
        <source>No MCI device open</source>
        <translation>Kein Wiedergabegerät geöffnet</translation>
    </message>
    <message>
        <source>Unknown error code</source>
        <translation>Unbekannter Fehlercode</translation>
    </message>
    <message>
        <source>GStreamer could not be initialised.</source>
        <translation>GStreamer konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>Not a regular file.</source>
        <translation>Keine reguläre Datei.</translation>
    </message>
    <message>
        <source>GStreamer has no playbin element.</source>
        <translation>GStreamer fehlt das Element playbin.</translation>
    </message>
    <message>
        <source>No audio output &quot;%1&quot; in GStreamer.</source>
        <translation>Keine Audioausgabe „%1“ in GStreamer.</translation>
    </message>
    <message>
        <source>The file holds no audio stream.</source>
        <translation>Die Datei enthält keinen Audiodatenstrom.</translation>
    </message>
    <message>
        <source>The file did not get ready within %1 s.</source>
        <translation>Die Datei war nicht binnen %1 s bereit.</translation>
    </message>
</context>
<context>
    <name>TMediaInfo</name>
    <message>
        <source>Stereo</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>Joint Stereo</source>
        <translation>Joint Stereo</translation>
    </message>
    <message>
        <source>Dual Channel</source>
        <translation>Zweikanal</translation>
    </message>
    <message>
        <source>Single Channel</source>
        <translation>Einkanal</translation>
    </message>
    <message>
        <source>Mono</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>%1 Channels</source>
        <translation>%1 Kanäle</translation>
    </message>
</context>
<context>
    <name>TMpris</name>
    <message>
        <source>Only file: URIs can be opened, not %1.</source>
        <translation>Nur file:-URIs können geöffnet werden, nicht %1.</translation>
    </message>
    <message>
        <source>%1 is not on this computer.</source>
        <translation>%1 liegt nicht auf diesem Rechner.</translation>
    </message>
    <message>
        <source>%1 is not an absolute file: URI.</source>
        <translation>%1 ist keine absolute file:-URI.</translation>
    </message>
    <message>
        <source>%1 doesn&apos;t exist.</source>
        <translation>%1 existiert nicht.</translation>
    </message>
    <message>
        <source>%1 is not a file name.</source>
        <translation>%1 ist kein Dateiname.</translation>
    </message>
</context>
<context>
    <name>TSession</name>
    <message>
        <source>Unable to open %1.<byte value="xd"/><byte value="xd"/>%2</source>
        <translation>%1 kann nicht geöffnet werden.<byte value="xd"/><byte value="xd"/>%2</translation>
    </message>
    <message>
        <source>%1 is not a folder.</source>
        <translation>%1 ist kein Ordner.</translation>
    </message>
    <message>
        <source>%1 is a WMA file: turn on &quot;Includes WMA&quot; to play it.</source>
        <translation>%1 ist eine WMA-Datei: Schalten Sie „WMA einbeziehen“ ein, um sie abzuspielen.</translation>
    </message>
    <message>
        <source>%1 is a FLAC, Ogg, Opus, M4A or WAV file: turn on &quot;Includes Other Formats&quot; to play it.</source>
        <translation>%1 ist eine FLAC-, Ogg-, Opus-, M4A- oder WAV-Datei: Schalten Sie „Andere Formate einbeziehen“ ein, um sie abzuspielen.</translation>
    </message>
    <message>
        <source>%1 is not an audio file.</source>
        <translation>%1 ist keine Audiodatei.</translation>
    </message>
    <message>
        <source>%1 doesn&apos;t exist.</source>
        <translation>%1 existiert nicht.</translation>
    </message>
    <message>
        <source>Invalid folder: </source>
        <translation>Ungültiger Ordner: </translation>
    </message>
    <message>
        <source>Unable to play %1.<byte value="xd"/><byte value="xd"/>%2</source>
        <translation>%1 kann nicht abgespielt werden.<byte value="xd"/><byte value="xd"/>%2</translation>
    </message>
    <message>
        <source>List index out of bounds (%1)</source>
        <translation>Listenindex außerhalb des gültigen Bereichs (%1)</translation>
    </message>
    <message>
        <source>Skipped %1: %2</source>
        <translation>%1 übersprungen: %2</translation>
    </message>
    <message>
        <source>The music folder %1 is not available. Velodra goes on when it is back.</source>
        <translation>Der Musikordner %1 ist nicht verfügbar. Velodra macht weiter, sobald er wieder da ist.</translation>
    </message>
</context>
</TS>
