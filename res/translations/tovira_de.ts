<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>tovira</name>
    <message>
        <source>The settings file is not a regular file; settings will not be kept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The settings file could not be opened; settings will not be kept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The settings could not be read; they were set aside as %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The settings could not be read; settings will not be kept.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tovira::AboutDialog</name>
    <message>
        <source>Version %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Tovira</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An audio player for MPEG audio files and M3U playlists.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Feedback and updates</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write to us</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tovira::EngineController</name>
    <message>
        <source>The file does not exist.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>It is a folder, not a file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file cannot be opened.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file cannot be opened: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file holds no MPEG audio.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing is playing.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The sound output cannot be opened.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Playback could not be started.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tovira::HelpViewer</name>
    <message>
        <source>Back</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Forward</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Home</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tovira Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tovira Help - %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tovira::PlaybackSession</name>
    <message>
        <source>The playlist could not be saved: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The saved playlist could not be read; it was set aside.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file does not exist.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tovira::PlayerActions</name>
    <message>
        <source>Player</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Repeat</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tovira::PlayerDialog</name>
    <message>
        <source>%1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MPEG Audio Files (*.mp3 *.mp2 *.mp1 *.MP3 *.MP2 *.MP1);;All files(*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The playlist could not be saved: %1.

Quit anyway?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tovira::PlayerFace</name>
    <message>
        <source>Previous (B)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next (N)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Play</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Play/Pause (Space)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop (X)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Load files (Enter)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Tovira</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Equalizer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tovira::PlaylistDialog</name>
    <message>
        <source>The playlist could not be saved: %1.

%2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Play &amp;next	Q</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove from &amp;queue</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
