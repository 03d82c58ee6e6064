<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>tovira</name>
    <message>
        <source>The settings file is not a regular file; settings will not be kept.</source>
        <translation>Die Einstellungsdatei ist keine normale Datei; Einstellungen werden nicht gespeichert.</translation>
    </message>
    <message>
        <source>The settings file could not be opened; settings will not be kept.</source>
        <translation>Die Einstellungsdatei konnte nicht geöffnet werden; Einstellungen werden nicht gespeichert.</translation>
    </message>
    <message>
        <source>The settings could not be read; they were set aside as %1.</source>
        <translation>Die Einstellungen konnten nicht gelesen werden; sie wurden als %1 beiseitegelegt.</translation>
    </message>
    <message>
        <source>The settings could not be read; settings will not be kept.</source>
        <translation>Die Einstellungen konnten nicht gelesen werden; Einstellungen werden nicht gespeichert.</translation>
    </message>
</context>
<context>
    <name>tovira::AboutDialog</name>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>About Tovira</source>
        <translation>Über Tovira</translation>
    </message>
    <message>
        <source>An audio player for MPEG audio files and M3U playlists.</source>
        <translation>Ein Audioplayer für MPEG-Audiodateien und M3U-Wiedergabelisten.</translation>
    </message>
    <message>
        <source>Feedback and updates</source>
        <translation>Rückmeldungen und Aktualisierungen</translation>
    </message>
    <message>
        <source>Write to us</source>
        <translation>Schreiben Sie uns</translation>
    </message>
</context>
<context>
    <name>tovira::CoreText</name>
    <message>
        <source>There was not enough memory to go on playing.</source>
        <translation>Der Speicher reicht nicht aus, um die Wiedergabe fortzusetzen.</translation>
    </message>
    <message>
        <source>Playback failed for an unknown reason.</source>
        <translation>Die Wiedergabe ist aus unbekanntem Grund fehlgeschlagen.</translation>
    </message>
    <message>
        <source>it is a directory</source>
        <translation>es ist ein Ordner</translation>
    </message>
    <message>
        <source>it is a pipe (FIFO), not a file</source>
        <translation>es ist eine Pipe (FIFO), keine Datei</translation>
    </message>
    <message>
        <source>it is a socket, not a file</source>
        <translation>es ist ein Socket, keine Datei</translation>
    </message>
    <message>
        <source>it is a device, not a file</source>
        <translation>es ist ein Gerät, keine Datei</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>der Datenträger ist voll</translation>
    </message>
    <message>
        <source>the folder is read-only</source>
        <translation>der Ordner ist schreibgeschützt</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>Zugriff verweigert</translation>
    </message>
    <message>
        <source>The sound output failed: %1.</source>
        <translation>Die Tonausgabe ist fehlgeschlagen: %1.</translation>
    </message>
    <message>
        <source>The file could not be read or decoded any further: %1.</source>
        <translation>Die Datei konnte nicht weiter gelesen oder dekodiert werden: %1.</translation>
    </message>
    <message>
        <source>The system refused a resource playback needs: %1.</source>
        <translation>Das System verweigerte ein für die Wiedergabe nötiges Betriebsmittel: %1.</translation>
    </message>
    <message>
        <source>Playback failed: %1.</source>
        <translation>Die Wiedergabe ist fehlgeschlagen: %1.</translation>
    </message>
    <message>
        <source>No sound device could be opened (%1); playing without sound.</source>
        <translation>Es konnte kein Audiogerät geöffnet werden (%1); die Wiedergabe läuft ohne Ton.</translation>
    </message>
</context>
<context>
    <name>tovira::ElapsedTimeView</name>
    <message>
        <source>Elapsed time</source>
        <translation>Verstrichene Zeit</translation>
    </message>
</context>
<context>
    <name>tovira::EngineController</name>
    <message>
        <source>The file does not exist.</source>
        <translation>Die Datei existiert nicht.</translation>
    </message>
    <message>
        <source>It is a folder, not a file.</source>
        <translation>Das ist ein Ordner, keine Datei.</translation>
    </message>
    <message>
        <source>The file cannot be opened.</source>
        <translation>Die Datei kann nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>The file cannot be opened: %1.</source>
        <translation>Die Datei kann nicht geöffnet werden: %1.</translation>
    </message>
    <message>
        <source>The file holds no MPEG audio.</source>
        <translation>Die Datei enthält kein MPEG-Audio.</translation>
    </message>
    <message>
        <source>Nothing is playing.</source>
        <translation>Es wird nichts wiedergegeben.</translation>
    </message>
    <message>
        <source>The sound output cannot be opened.</source>
        <translation>Die Tonausgabe kann nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>Playback could not be started.</source>
        <translation>Die Wiedergabe konnte nicht gestartet werden.</translation>
    </message>
</context>
<context>
    <name>tovira::EqualizerDialog</name>
    <message>
        <source>Tovira Equalizer</source>
        <translation>Tovira-Equalizer</translation>
    </message>
    <message>
        <source>ReplayGain mode and preamp</source>
        <translation>ReplayGain-Modus und Vorverstärkung</translation>
    </message>
    <message>
        <source>+%1 dB</source>
        <translation>+%1 dB</translation>
    </message>
    <message>
        <source>%1 dB</source>
        <translation>%1 dB</translation>
    </message>
    <message>
        <source>Gain</source>
        <translation>Verstärkung</translation>
    </message>
    <message>
        <source>%1 Hz</source>
        <translation>%1 Hz</translation>
    </message>
    <message>
        <source>Gain %1</source>
        <translation>Verstärkung %1</translation>
    </message>
    <message>
        <source>%1 Hz %2</source>
        <translation>%1 Hz %2</translation>
    </message>
</context>
<context>
    <name>tovira::FileDialogs</name>
    <message>
        <source>All supported files|*.mp3;*.mp2;*.mp1;*.m3u;*.m3u8;*.pls;*.xspf|MPEG Audio Files (*.mp3,*.mp2,*.mp1)|*.mp3;*.mp2;*.mp1|Playlist (*.m3u,*.m3u8,*.pls,*.xspf)|*.m3u;*.m3u8;*.pls;*.xspf|All files(*.*)|*.*||</source>
        <translation>Alle unterstützten Dateien|*.mp3;*.mp2;*.mp1;*.m3u;*.m3u8;*.pls;*.xspf|MPEG-Audiodateien (*.mp3,*.mp2,*.mp1)|*.mp3;*.mp2;*.mp1|Wiedergabeliste (*.m3u,*.m3u8,*.pls,*.xspf)|*.m3u;*.m3u8;*.pls;*.xspf|Alle Dateien (*.*)|*.*||</translation>
    </message>
    <message>
        <source>MPEG Audio Files (*.mp3,*.mp2,*.mp1)|*.mp3;*.mp2;*.mp1|All files(*.*)|*.*||</source>
        <translation>MPEG-Audiodateien (*.mp3,*.mp2,*.mp1)|*.mp3;*.mp2;*.mp1|Alle Dateien (*.*)|*.*||</translation>
    </message>
    <message>
        <source>M3U Playlist|*.m3u;*.m3u8|PLS Playlist|*.pls|XSPF Playlist|*.xspf||</source>
        <translation>M3U-Wiedergabeliste|*.m3u;*.m3u8|PLS-Wiedergabeliste|*.pls|XSPF-Wiedergabeliste|*.xspf||</translation>
    </message>
</context>
<context>
    <name>tovira::FolderPickerDialog</name>
    <message>
        <source>Open Directory</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Searching %1 ...</source>
        <translation>Durchsuche %1 …</translation>
    </message>
</context>
<context>
    <name>tovira::HelpViewer</name>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>Vor</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>Startseite</translation>
    </message>
    <message>
        <source>Tovira Help</source>
        <translation>Tovira-Hilfe</translation>
    </message>
    <message>
        <source>Tovira Help - %1</source>
        <translation>Tovira-Hilfe - %1</translation>
    </message>
    <message>
        <source>Welcome</source>
        <translation>Willkommen</translation>
    </message>
    <message>
        <source>Equalizer</source>
        <translation>Equalizer</translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation>Wiedergabeliste</translation>
    </message>
    <message>
        <source>Help not found. Please reinstall Tovira.</source>
        <translation>Die Hilfe wurde nicht gefunden. Bitte installieren Sie Tovira neu.</translation>
    </message>
</context>
<context>
    <name>tovira::HyperlinkLabel</name>
    <message>
        <source>Unable to open hyperlink:

</source>
        <translation>Der Link kann nicht geöffnet werden:

</translation>
    </message>
    <message>
        <source>The operating system is out
of memory or resources.</source>
        <translation>Dem Betriebssystem fehlen
Speicher oder Ressourcen.</translation>
    </message>
    <message>
        <source>The specified file was not found.</source>
        <translation>Die angegebene Datei wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>The specified path was not found.</source>
        <translation>Der angegebene Pfad wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>The operating system denied
access to the specified file.</source>
        <translation>Das Betriebssystem hat den Zugriff
auf die angegebene Datei verweigert.</translation>
    </message>
    <message>
        <source>There was not enough memory to complete the operation.</source>
        <translation>Der Speicher reichte nicht aus, um den Vorgang abzuschließen.</translation>
    </message>
    <message>
        <source>The .EXE file is invalid
(non-Win32 .EXE or error in .EXE image).</source>
        <translation>Die .EXE-Datei ist ungültig
(keine Win32-.EXE oder Fehler im .EXE-Abbild).</translation>
    </message>
    <message>
        <source>A sharing violation occurred. </source>
        <translation>Es ist eine Freigabeverletzung aufgetreten. </translation>
    </message>
    <message>
        <source>The filename association is
incomplete or invalid.</source>
        <translation>Die Dateizuordnung ist
unvollständig oder ungültig.</translation>
    </message>
    <message>
        <source>The DDE transaction could not
be completed because the request timed out.</source>
        <translation>Die DDE-Transaktion konnte nicht
abgeschlossen werden, weil die Anfrage zu lange dauerte.</translation>
    </message>
    <message>
        <source>The DDE transaction failed.</source>
        <translation>Die DDE-Transaktion ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>The DDE transaction could not
be completed because other DDE transactions
were being processed.</source>
        <translation>Die DDE-Transaktion konnte nicht
abgeschlossen werden, weil andere DDE-Transaktionen
verarbeitet wurden.</translation>
    </message>
    <message>
        <source>There is no application associated
with the given filename extension.</source>
        <translation>Der angegebenen Dateiendung
ist keine Anwendung zugeordnet.</translation>
    </message>
    <message>
        <source>The specified dynamic-link library was not found.</source>
        <translation>Die angegebene dynamische Bibliothek wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>Unknown Error (%1) occurred.</source>
        <translation>Unbekannter Fehler (%1) ist aufgetreten.</translation>
    </message>
</context>
<context>
    <name>tovira::PlaybackSession</name>
    <message>
        <source>The playlist could not be saved: %1.</source>
        <translation>Die Wiedergabeliste konnte nicht gespeichert werden: %1.</translation>
    </message>
    <message>
        <source>The saved playlist could not be read; it was set aside.</source>
        <translation>Die gespeicherte Wiedergabeliste konnte nicht gelesen werden; sie wurde beiseitegelegt.</translation>
    </message>
    <message>
        <source>The file does not exist.</source>
        <translation>Die Datei existiert nicht.</translation>
    </message>
</context>
<context>
    <name>tovira::PlayerActions</name>
    <message>
        <source>Player</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <source>&amp;Repeat</source>
        <translation>Wieder&amp;holen</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>&amp;Play/Pa&amp;use	space</source>
        <translation>&amp;Wiedergabe/Pause	space</translation>
    </message>
    <message>
        <source>&amp;Stop	X </source>
        <translation>&amp;Stopp	X </translation>
    </message>
    <message>
        <source>Load &amp;File	Enter</source>
        <translation>&amp;Datei laden	Enter</translation>
    </message>
    <message>
        <source>&amp;Next	N</source>
        <translation>&amp;Nächster Titel	N</translation>
    </message>
    <message>
        <source>Previous/&amp;Back 	B </source>
        <translation>Vorheriger Titel/&amp;Zurück 	B </translation>
    </message>
    <message>
        <source>&amp;About Tovira</source>
        <translation>Ü&amp;ber Tovira</translation>
    </message>
    <message>
        <source>Volume up</source>
        <translation>Lauter</translation>
    </message>
    <message>
        <source>Volume down</source>
        <translation>Leiser</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Repeat &amp;off</source>
        <translation>&amp;Nicht wiederholen</translation>
    </message>
    <message>
        <source>Repeat &amp;all</source>
        <translation>&amp;Alle wiederholen</translation>
    </message>
    <message>
        <source>Repeat o&amp;ne</source>
        <translation>&amp;Titel wiederholen</translation>
    </message>
    <message>
        <source>&amp;Next repeat mode	R</source>
        <translation>Nächster &amp;Wiederholmodus	R</translation>
    </message>
    <message>
        <source>S&amp;huffle play	S</source>
        <translation>Z&amp;ufallswiedergabe	S</translation>
    </message>
    <message>
        <source>Stop a&amp;fter current	A</source>
        <translation>Nach aktuellem Titel st&amp;oppen	A</translation>
    </message>
</context>
<context>
    <name>tovira::PlayerDialog</name>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>MPEG Audio Files (*.mp3 *.mp2 *.mp1 *.MP3 *.MP2 *.MP1);;All files(*)</source>
        <translation>MPEG-Audiodateien (*.mp3 *.mp2 *.mp1 *.MP3 *.MP2 *.MP1);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>The playlist could not be saved: %1.

Quit anyway?</source>
        <translation>Die Wiedergabeliste konnte nicht gespeichert werden: %1.

Trotzdem beenden?</translation>
    </message>
    <message>
        <source>Position, nothing playing</source>
        <translation>Position, keine Wiedergabe</translation>
    </message>
    <message>
        <source>Position %1</source>
        <translation>Position %1</translation>
    </message>
    <message>
        <source>Position %1 of %2</source>
        <translation>Position %1 von %2</translation>
    </message>
</context>
<context>
    <name>tovira::PlayerFace</name>
    <message>
        <source>Previous (B)</source>
        <translation>Vorheriger Titel (B)</translation>
    </message>
    <message>
        <source>Next (N)</source>
        <translation>Nächster Titel (N)</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Play/Pause (Space)</source>
        <translation>Wiedergabe/Pause (Leertaste)</translation>
    </message>
    <message>
        <source>Stop (X)</source>
        <translation>Stopp (X)</translation>
    </message>
    <message>
        <source>Load files (Enter)</source>
        <translation>Dateien laden (Eingabe)</translation>
    </message>
    <message>
        <source>About Tovira</source>
        <translation>Über Tovira</translation>
    </message>
    <message>
        <source>Equalizer</source>
        <translation>Equalizer</translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation>Wiedergabeliste</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>Vorheriger Titel</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Nächster Titel</translation>
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
        <source>Fast forward</source>
        <translation>Vorspulen</translation>
    </message>
    <message>
        <source>Load files</source>
        <translation>Dateien laden</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Lautstärke</translation>
    </message>
    <message>
        <source>Volume %1 %</source>
        <translation>Lautstärke %1 %</translation>
    </message>
    <message>
        <source>Now playing</source>
        <translation>Aktueller Titel</translation>
    </message>
    <message>
        <source>Playing</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Gestoppt</translation>
    </message>
    <message>
        <source>End of playlist</source>
        <translation>Ende der Wiedergabeliste</translation>
    </message>
</context>
<context>
    <name>tovira::PlaylistDialog</name>
    <message>
        <source>The playlist could not be saved: %1.

%2</source>
        <translation>Die Wiedergabeliste konnte nicht gespeichert werden: %1.

%2</translation>
    </message>
    <message>
        <source>Play &amp;next	Q</source>
        <translation>&amp;Als Nächstes abspielen	Q</translation>
    </message>
    <message>
        <source>Remove from &amp;queue</source>
        <translation>Aus der &amp;Warteschlange entfernen</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Clear current playlist</source>
        <translation>Aktuelle Wiedergabeliste leeren</translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation>Dateien hinzufügen</translation>
    </message>
    <message>
        <source>Add files to playlist</source>
        <translation>Dateien zur Wiedergabeliste hinzufügen</translation>
    </message>
    <message>
        <source>Add Dir</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Add the files in a directory and its subdirectories</source>
        <translation>Die Dateien eines Ordners und seiner Unterordner hinzufügen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Save playlist as...</source>
        <translation>Wiedergabeliste speichern unter …</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Remove selected file from playlist</source>
        <translation>Ausgewählte Datei aus der Wiedergabeliste entfernen</translation>
    </message>
    <message>
        <source>Shuffle</source>
        <translation>Mischen</translation>
    </message>
    <message>
        <source>Shuffle playlist</source>
        <translation>Wiedergabeliste mischen</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Display help contents</source>
        <translation>Hilfeinhalte anzeigen</translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation>Wiedergabeliste</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>Speichern unter</translation>
    </message>
    <message>
        <source>Clear filter</source>
        <translation>Filter löschen</translation>
    </message>
    <message>
        <source>Playlist commands</source>
        <translation>Befehle der Wiedergabeliste</translation>
    </message>
</context>
<context>
    <name>tovira::PlaylistTableModel</name>
    <message>
        <source>No.</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source> Artist</source>
        <translation> Interpret</translation>
    </message>
    <message>
        <source> Title</source>
        <translation> Titel</translation>
    </message>
    <message>
        <source>Album</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>Year</source>
        <translation>Jahr</translation>
    </message>
    <message>
        <source>Genre</source>
        <translation>Genre</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>Playing</source>
        <translation>Wird gespielt</translation>
    </message>
    <message>
        <source>Cannot be read</source>
        <translation>Nicht lesbar</translation>
    </message>
</context>
<context>
    <name>tovira::ReplayGainMenu</name>
    <message>
        <source>&amp;Off</source>
        <translation>&amp;Aus</translation>
    </message>
    <message>
        <source>&amp;Track gain</source>
        <translation>&amp;Titelbezogen</translation>
    </message>
    <message>
        <source>&amp;Album gain</source>
        <translation>Al&amp;bumbezogen</translation>
    </message>
    <message>
        <source>A&amp;uto (album gain while an album plays in order)</source>
        <translation>A&amp;utomatisch (albumbezogen, solange ein Album der Reihe nach spielt)</translation>
    </message>
    <message>
        <source>off</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>track</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>album</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>auto</source>
        <translation>automatisch</translation>
    </message>
    <message>
        <source>ReplayGain: %1</source>
        <translation>ReplayGain: %1</translation>
    </message>
    <message>
        <source>ReplayGain</source>
        <translation>ReplayGain</translation>
    </message>
    <message>
        <source>Preamp</source>
        <translation>Vorverstärkung</translation>
    </message>
    <message>
        <source>&amp;Prevent clipping</source>
        <translation>Über&amp;steuerung verhindern</translation>
    </message>
</context>
<context>
    <name>tovira::SpectrumBarDisplay</name>
    <message>
        <source>Spectrum</source>
        <translation>Spektrum</translation>
    </message>
</context>
<context>
    <name>tovira::TagEncodingMenu</name>
    <message>
        <source>&amp;Automatic (guessed for each file)</source>
        <translation>&amp;Automatisch (für jede Datei erkannt)</translation>
    </message>
    <message>
        <source>&amp;Western (ISO-8859-1)</source>
        <translation>&amp;Westeuropäisch (ISO-8859-1)</translation>
    </message>
    <message>
        <source>Western (Windows-125&amp;2)</source>
        <translation>Westeuropäisch (Windows-125&amp;2)</translation>
    </message>
    <message>
        <source>&amp;Central European (Windows-1250)</source>
        <translation>&amp;Mitteleuropäisch (Windows-1250)</translation>
    </message>
    <message>
        <source>Central European (ISO-8859-2)</source>
        <translation>Mitteleuropäisch (ISO-8859-2)</translation>
    </message>
    <message>
        <source>C&amp;yrillic (Windows-1251)</source>
        <translation>K&amp;yrillisch (Windows-1251)</translation>
    </message>
    <message>
        <source>Cyrillic (&amp;KOI8-R)</source>
        <translation>Kyrillisch (K&amp;OI8-R)</translation>
    </message>
    <message>
        <source>Cyrillic (ISO-8859-5)</source>
        <translation>Kyrillisch (ISO-8859-5)</translation>
    </message>
    <message>
        <source>&amp;Greek (Windows-1253)</source>
        <translation>&amp;Griechisch (Windows-1253)</translation>
    </message>
    <message>
        <source>Greek (ISO-8859-7)</source>
        <translation>Griechisch (ISO-8859-7)</translation>
    </message>
    <message>
        <source>&amp;Unicode (UTF-8)</source>
        <translation>&amp;Unicode (UTF-8)</translation>
    </message>
    <message>
        <source>Tag &amp;encoding</source>
        <translation>Tag-&amp;Kodierung</translation>
    </message>
    <message>
        <source>What tag texts stored as Latin-1 are read in</source>
        <translation>In welcher Kodierung als Latin-1 gespeicherte Tag-Texte gelesen werden</translation>
    </message>
</context>
<context>
    <name>tovira::TrackText</name>
    <message>
        <source>Genre:</source>
        <translation>Genre:</translation>
    </message>
    <message>
        <source>Stereo</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>Mono</source>
        <translation>Mono</translation>
    </message>
</context>
</TS>
