<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>TAbout</name>
    <message>
        <source>(c) 2026 the Velodra developers</source>
        <translation>(c) 2026 les développeurs de Velodra</translation>
    </message>
    <message>
        <source>Made in Europe.</source>
        <translation>Fabriqué en Europe.</translation>
    </message>
    <message>
        <source>version %1</source>
        <translation>version %1</translation>
    </message>
    <message>
        <source>please, send donation.</source>
        <translation>Merci de nous soutenir par un don.</translation>
    </message>
    <message>
        <source>Current media:</source>
        <translation>Média en cours&#xa0;:</translation>
    </message>
    <message>
        <source>Title: </source>
        <translation>Titre&#xa0;: </translation>
    </message>
    <message>
        <source>Artist: </source>
        <translation>Artiste&#xa0;: </translation>
    </message>
    <message>
        <source>Album: </source>
        <translation>Album&#xa0;: </translation>
    </message>
    <message>
        <source>Track: </source>
        <translation>Piste&#xa0;: </translation>
    </message>
    <message>
        <source>Year: </source>
        <translation>Année&#xa0;: </translation>
    </message>
    <message>
        <source>Genre: </source>
        <translation>Genre&#xa0;: </translation>
    </message>
    <message>
        <source>Channel: </source>
        <translation>Mode des canaux&#xa0;: </translation>
    </message>
    <message>
        <source>Sample rate: </source>
        <translation>Fréquence d’échantillonnage&#xa0;: </translation>
    </message>
    <message>
        <source>Bit rate: </source>
        <translation>Débit&#xa0;: </translation>
    </message>
    <message>
        <source>Duration: </source>
        <translation>Durée&#xa0;: </translation>
    </message>
    <message>
        <source>Folder: </source>
        <translation>Dossier&#xa0;: </translation>
    </message>
    <message>
        <source>File: </source>
        <translation>Fichier&#xa0;: </translation>
    </message>
    <message>
        <source>Size: </source>
        <translation>Taille&#xa0;: </translation>
    </message>
    <message>
        <source>Root: </source>
        <translation>Racine&#xa0;: </translation>
    </message>
    <message>
        <source>Count: </source>
        <translation>Nombre&#xa0;: </translation>
    </message>
    <message>
        <source>%1 folders, %2 files</source>
        <translation>%1 dossiers, %2 fichiers</translation>
    </message>
    <message>
        <source>Comment: </source>
        <translation>Commentaire&#xa0;: </translation>
    </message>
    <message>
        <source>Folder oriented audio files player. Supports MP3, WMA, FLAC, Ogg Vorbis, Opus, M4A and WAV.</source>
        <translation>Lecteur de fichiers audio organisé par dossiers. Prend en charge MP3, WMA, FLAC, Ogg Vorbis, Opus, M4A et WAV.</translation>
    </message>
</context>
<context>
    <name>TCommandLine</name>
    <message>
        <source>only the first argument is used; ignored: %1</source>
        <translation>seul le premier argument est utilisé&#xa0;; ignoré&#xa0;: %1</translation>
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
        <translation>Utilisation&#xa0;: velodra [DOSSIER | FICHIER]
              velodra --help | --version

Velodra lit les fichiers audio sous un dossier racine, dossier par dossier.

  DOSSIER    devient le dossier racine&#xa0;: chaque dossier en dessous qui
             contient des fichiers MP3 est lu (les fichiers WMA avec
             «&#xa0;Inclure WMA&#xa0;»&#xa0;; les fichiers FLAC, Ogg Vorbis, Opus, M4A et
             WAV avec «&#xa0;Inclure d’autres formats&#xa0;»).
  FICHIER    un fichier audio à lire, dans la bibliothèque de son dossier.
             Sans l’un ni l’autre, la racine, le dossier et le fichier de la
             dernière exécution reviennent.
             Si Velodra tourne déjà, un second lancement lui transmet son
             argument.
  --help     affiche ce texte.
  --version  affiche la version.

Réglages&#xa0;: $XDG_CONFIG_HOME/velodra.ini, sinon ~/.config/velodra.ini
           (ici %1).

Outils&#xa0;:
  velodra-info [--json] FICHIER...  montre ce que Velodra lit des fichiers audio
  velodra-scan RACINE [--include-wma] [--include-other] [--natural-order]
                      [--json]
                                    liste la bibliothèque tirée de RACINE
</translation>
    </message>
</context>
<context>
    <name>TErrorReport</name>
    <message>
        <source>An unexpected error stopped this command.</source>
        <translation>Une erreur inattendue a interrompu cette commande.</translation>
    </message>
</context>
<context>
    <name>TFormJump</name>
    <message>
        <source>Jump to File</source>
        <translation>Aller au fichier</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Recherche</translation>
    </message>
    <message>
        <source>Matches</source>
        <translation>Résultats</translation>
    </message>
</context>
<context>
    <name>TFormLoading</name>
    <message>
        <source>Loading... (%1 folders, %2 files)</source>
        <translation>Analyse… (%1 dossiers, %2 fichiers)</translation>
    </message>
</context>
<context>
    <name>TFormPlayer</name>
    <message>
        <source>Abort</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Could not find any audio file in %1.</source>
        <translation>Aucun fichier audio trouvé dans %1.</translation>
    </message>
    <message>
        <source><byte value="xd"/><byte value="xd"/>It holds FLAC, Ogg, Opus, M4A or WAV files: turn on &quot;Includes Other Formats&quot; to play them.</source>
        <translation><byte value="xd"/><byte value="xd"/>Il contient des fichiers FLAC, Ogg, Opus, M4A ou WAV&#xa0;: activez «&#xa0;Inclure d’autres formats&#xa0;» pour les lire.</translation>
    </message>
    <message>
        <source>%1 doesn&apos;t exist.</source>
        <translation>%1 n’existe pas.</translation>
    </message>
    <message>
        <source>Loading</source>
        <translation>Chargement</translation>
    </message>
</context>
<context>
    <name>TFormVelodra</name>
    <message>
        <source>Folder picture</source>
        <translation>Image du dossier</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titre</translation>
    </message>
    <message>
        <source>Random</source>
        <translation>Aléatoire</translation>
    </message>
    <message>
        <source>RND</source>
        <translation>ALÉ</translation>
    </message>
    <message>
        <source>Elapsed</source>
        <translation>Écoulé</translation>
    </message>
    <message>
        <source>Channel mode</source>
        <translation>Mode des canaux</translation>
    </message>
    <message>
        <source>Repeat</source>
        <translation>Répéter</translation>
    </message>
    <message>
        <source>RPT</source>
        <translation>RÉP</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Durée</translation>
    </message>
    <message>
        <source>Sample rate and bit rate</source>
        <translation>Fréquence d’échantillonnage et débit</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Lecture</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Arrêt</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Charger</translation>
    </message>
    <message>
        <source>Prior Folder</source>
        <translation>Dossier précédent</translation>
    </message>
    <message>
        <source>Prior File</source>
        <translation>Fichier précédent</translation>
    </message>
    <message>
        <source>Next File</source>
        <translation>Fichier suivant</translation>
    </message>
    <message>
        <source>Next Folder</source>
        <translation>Dossier suivant</translation>
    </message>
    <message>
        <source>Reversed Elasped</source>
        <translation>Temps restant</translation>
    </message>
    <message>
        <source>Compact</source>
        <translation>Compact</translation>
    </message>
    <message>
        <source>About</source>
        <translation>À propos</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Quitter</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Quits the application</source>
        <translation>Quitte l’application</translation>
    </message>
    <message>
        <source>Mixer</source>
        <translation>Mélangeur</translation>
    </message>
    <message>
        <source>Includes WMA</source>
        <translation>Inclure WMA</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Désactivé</translation>
    </message>
    <message>
        <source>ReplayGain: Off</source>
        <translation>ReplayGain&#xa0;: désactivé</translation>
    </message>
    <message>
        <source>Track</source>
        <translation>Piste</translation>
    </message>
    <message>
        <source>ReplayGain: Track</source>
        <translation>ReplayGain&#xa0;: piste</translation>
    </message>
    <message>
        <source>Album</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>ReplayGain: Album</source>
        <translation>ReplayGain&#xa0;: album</translation>
    </message>
    <message>
        <source>Includes Other Formats</source>
        <translation>Inclure d’autres formats</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>Restaurer</translation>
    </message>
    <message>
        <source>Minimize to Tray</source>
        <translation>Réduire dans la zone de notification</translation>
    </message>
    <message>
        <source>Folder Image</source>
        <translation>Image du dossier</translation>
    </message>
    <message>
        <source>Play Notification</source>
        <translation>Notification de lecture</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Aucune</translation>
    </message>
    <message>
        <source>Remaining</source>
        <translation>Restant</translation>
    </message>
    <message>
        <source>ReplayGain</source>
        <translation>ReplayGain</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Options</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Reprendre</translation>
    </message>
    <message>
        <source>Select folder containing MP3 and WMA files.</source>
        <translation>Choisissez un dossier contenant des fichiers MP3 et WMA.</translation>
    </message>
    <message>
        <source>Welcome to %1!</source>
        <translation>Bienvenue dans %1&#xa0;!</translation>
    </message>
    <message>
        <source>On</source>
        <translation>Activé</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 sur %2</translation>
    </message>
    <message>
        <source>Folder %1 of %2: <byte value="xd"/>%3</source>
        <translation>Dossier %1 sur %2&#xa0;: <byte value="xd"/>%3</translation>
    </message>
    <message>
        <source>File %1 of %2: <byte value="xd"/>%3</source>
        <translation>Fichier %1 sur %2&#xa0;: <byte value="xd"/>%3</translation>
    </message>
    <message>
        <source>Could not write to %1.</source>
        <translation>Impossible d’écrire dans %1.</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Jump to File</source>
        <translation>Aller au fichier</translation>
    </message>
    <message>
        <source>Natural Order</source>
        <translation>Ordre naturel</translation>
    </message>
    <message>
        <source>Select folder containing music files.</source>
        <translation>Choisissez un dossier contenant des fichiers musicaux.</translation>
    </message>
    <message>
        <source>Volume %1 %</source>
        <translation>Volume %1 %</translation>
    </message>
</context>
<context>
    <name>TIniFile</name>
    <message>
        <source>Could not write to %1.</source>
        <translation>Impossible d’écrire dans %1.</translation>
    </message>
    <message>
        <source>Invalid section name %1.</source>
        <translation>Nom de section %1 non valide.</translation>
    </message>
    <message>
        <source>Invalid key name %1.</source>
        <translation>Nom de clé %1 non valide.</translation>
    </message>
    <message>
        <source>The value of %1 holds a line break.</source>
        <translation>La valeur de %1 contient un saut de ligne.</translation>
    </message>
    <message>
        <source>The file is larger than %1 MiB, too large to be a settings file, so it was left alone.</source>
        <translation>Le fichier dépasse %1&#xa0;Mio, trop pour un fichier de réglages&#xa0;; il n’a pas été modifié.</translation>
    </message>
    <message>
        <source>The file could not be read, so it is left as it is.</source>
        <translation>Le fichier n’a pas pu être lu&#xa0;; il reste tel quel.</translation>
    </message>
    <message>
        <source>The settings would take %1 bytes, more than the %2 MiB a settings file may have, so the file was left as it is.</source>
        <translation>Les réglages occuperaient %1 octets, plus que les %2&#xa0;Mio permis pour un fichier de réglages&#xa0;; le fichier reste tel quel.</translation>
    </message>
    <message>
        <source>The file is a symbolic link; settings are saved only to a regular file, so the link and the file it points to were left alone.</source>
        <translation>Le fichier est un lien symbolique&#xa0;; les réglages ne sont enregistrés que dans un fichier ordinaire, le lien et sa cible n’ont donc pas été modifiés.</translation>
    </message>
</context>
<context>
    <name>TMediaDevice</name>
    <message>
        <source>No MCI device open</source>
        <translation>Aucun périphérique de lecture ouvert</translation>
    </message>
    <message>
        <source>Unknown error code</source>
        <translation>Code d’erreur inconnu</translation>
    </message>
    <message>
        <source>GStreamer could not be initialised.</source>
        <translation>GStreamer n’a pas pu être initialisé.</translation>
    </message>
    <message>
        <source>Not a regular file.</source>
        <translation>Ce n’est pas un fichier ordinaire.</translation>
    </message>
    <message>
        <source>GStreamer has no playbin element.</source>
        <translation>GStreamer n’a pas d’élément playbin.</translation>
    </message>
    <message>
        <source>No audio output &quot;%1&quot; in GStreamer.</source>
        <translation>Aucune sortie audio «&#xa0;%1&#xa0;» dans GStreamer.</translation>
    </message>
    <message>
        <source>The file holds no audio stream.</source>
        <translation>Le fichier ne contient aucun flux audio.</translation>
    </message>
    <message>
        <source>The file did not get ready within %1 s.</source>
        <translation>Le fichier n’était pas prêt en %1&#xa0;s.</translation>
    </message>
</context>
<context>
    <name>TMediaInfo</name>
    <message>
        <source>Stereo</source>
        <translation>Stéréo</translation>
    </message>
    <message>
        <source>Joint Stereo</source>
        <translation>Stéréo jointe</translation>
    </message>
    <message>
        <source>Dual Channel</source>
        <translation>Double canal</translation>
    </message>
    <message>
        <source>Single Channel</source>
        <translation>Canal unique</translation>
    </message>
    <message>
        <source>Mono</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Inconnu</translation>
    </message>
    <message>
        <source>%1 Channels</source>
        <translation>%1 canaux</translation>
    </message>
</context>
<context>
    <name>TMpris</name>
    <message>
        <source>Only file: URIs can be opened, not %1.</source>
        <translation>Seules les URI file: peuvent être ouvertes, pas %1.</translation>
    </message>
    <message>
        <source>%1 is not on this computer.</source>
        <translation>%1 n’est pas sur cet ordinateur.</translation>
    </message>
    <message>
        <source>%1 is not an absolute file: URI.</source>
        <translation>%1 n’est pas une URI file: absolue.</translation>
    </message>
    <message>
        <source>%1 doesn&apos;t exist.</source>
        <translation>%1 n’existe pas.</translation>
    </message>
    <message>
        <source>%1 is not a file name.</source>
        <translation>%1 n’est pas un nom de fichier.</translation>
    </message>
</context>
<context>
    <name>TSession</name>
    <message>
        <source>Unable to open %1.<byte value="xd"/><byte value="xd"/>%2</source>
        <translation>Impossible d’ouvrir %1.<byte value="xd"/><byte value="xd"/>%2</translation>
    </message>
    <message>
        <source>%1 is not a folder.</source>
        <translation>%1 n’est pas un dossier.</translation>
    </message>
    <message>
        <source>%1 is a WMA file: turn on &quot;Includes WMA&quot; to play it.</source>
        <translation>%1 est un fichier WMA&#xa0;: activez «&#xa0;Inclure WMA&#xa0;» pour le lire.</translation>
    </message>
    <message>
        <source>%1 is a FLAC, Ogg, Opus, M4A or WAV file: turn on &quot;Includes Other Formats&quot; to play it.</source>
        <translation>%1 est un fichier FLAC, Ogg, Opus, M4A ou WAV&#xa0;: activez «&#xa0;Inclure d’autres formats&#xa0;» pour le lire.</translation>
    </message>
    <message>
        <source>%1 is not an audio file.</source>
        <translation>%1 n’est pas un fichier audio.</translation>
    </message>
    <message>
        <source>%1 doesn&apos;t exist.</source>
        <translation>%1 n’existe pas.</translation>
    </message>
    <message>
        <source>Invalid folder: </source>
        <translation>Dossier non valide&#xa0;: </translation>
    </message>
    <message>
        <source>Unable to play %1.<byte value="xd"/><byte value="xd"/>%2</source>
        <translation>Impossible de lire %1.<byte value="xd"/><byte value="xd"/>%2</translation>
    </message>
    <message>
        <source>List index out of bounds (%1)</source>
        <translation>Index de liste hors limites (%1)</translation>
    </message>
    <message>
        <source>Skipped %1: %2</source>
        <translation>%1 ignoré&#xa0;: %2</translation>
    </message>
    <message>
        <source>The music folder %1 is not available. Velodra goes on when it is back.</source>
        <translation>Le dossier de musique %1 n’est pas disponible. Velodra reprend dès qu’il est de retour.</translation>
    </message>
</context>
</TS>
