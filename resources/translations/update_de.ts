<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_GB">
<context>
    <name>BatchOutput</name>
    <message>
        <source>Ports: input &quot;%1&quot;, output &quot;%2&quot;</source>
        <translation>Anschlüsse: Eingang „%1“, Ausgang „%2“</translation>
    </message>
    <message>
        <source>Connected: serial %1, version %2</source>
        <translation>Verbunden: Seriennummer %1, Version %2</translation>
    </message>
    <message>
        <source>Update complete: the unit confirmed the finish of %1 pages in %2 blocks (%3 new bad blocks, %4 retries, %5 s, %6 KiB/s).</source>
        <translation>Aktualisierung vollständig: das Gerät hat den Abschluss von %1 Seiten in %2 Blöcken bestätigt (%3 neue defekte Blöcke, %4 Wiederholungen, %5 s, %6 KiB/s).</translation>
    </message>
    <message>
        <source>Update FAILED.</source>
        <translation>Aktualisierung FEHLGESCHLAGEN.</translation>
    </message>
    <message>
        <source>Update FAILED: %1</source>
        <translation>Aktualisierung FEHLGESCHLAGEN: %1</translation>
    </message>
    <message>
        <source>, %1 read back</source>
        <translation>, %1 zurückgelesen</translation>
    </message>
    <message>
        <source>%1% [%2] %3/%4 pages written%5, %6 KiB/s, %7 left</source>
        <translation>%1% [%2] %3/%4 Seiten geschrieben%5, %6 KiB/s, noch %7</translation>
    </message>
</context>
<context>
    <name>BatchRun</name>
    <message>
        <source>MIDI inputs</source>
        <translation>MIDI-Eingänge</translation>
    </message>
    <message>
        <source>MIDI outputs</source>
        <translation>MIDI-Ausgänge</translation>
    </message>
    <message>
        <source>&quot;%1&quot; fits several %2: %3. Give more of the name.</source>
        <translation>„%1“ passt auf mehrere %2: %3. Geben Sie mehr vom Namen an.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; fits none of the %2. Listed: %3</source>
        <translation>„%1“ passt auf keinen der %2. Aufgeführt: %3</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>the input &quot;%1&quot; and the output &quot;%2&quot; belong to different MIDI clients, so they are not the same unit</source>
        <translation>der Eingang „%1“ und der Ausgang „%2“ gehören zu verschiedenen MIDI-Clients und sind damit nicht dasselbe Gerät</translation>
    </message>
    <message>
        <source>the ports could not be opened</source>
        <translation>die Anschlüsse ließen sich nicht öffnen</translation>
    </message>
    <message>
        <source>interrupted before the update began; the unit is unchanged</source>
        <translation>abgebrochen, bevor die Aktualisierung begann; das Gerät ist unverändert</translation>
    </message>
    <message>
        <source>no answer to identify within %1 s</source>
        <translation>keine Antwort auf die Identifizierung innerhalb von %1 s</translation>
    </message>
    <message>
        <source>interrupted: the unit is left in the middle of the update without a complete image; a new run starts the whole update over</source>
        <translation>abgebrochen: das Gerät bleibt mitten in der Aktualisierung ohne vollständiges Abbild; ein neuer Lauf beginnt die ganze Aktualisierung von vorn</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Try &apos;tavrin-update --help&apos;.
</source>
        <translation>Siehe &apos;tavrin-update --help&apos;.
</translation>
    </message>
    <message>
        <source>
Exit status:
  0    the update finished and the unit confirmed it
  1    the update failed or stopped: no answer to identify within 3 s, a stall, a refused NAND,
       or the unit did not confirm the finish
  2    a usage error, or a port that cannot be found or opened
  130  interrupted (Ctrl+C, SIGTERM): the unit is left in the middle of the update; a new run
       starts the whole update over
</source>
        <translation>
Rückgabewert:
  0    die Aktualisierung ist abgeschlossen und vom Gerät bestätigt
  1    die Aktualisierung ist fehlgeschlagen oder stehen geblieben: keine Antwort auf die
       Identifizierung innerhalb von 3 s, keine Antworten mehr, ein abgelehnter NAND, oder das Gerät
       hat den Abschluss nicht bestätigt
  2    ein Bedienfehler, oder ein Anschluss, der sich nicht finden oder öffnen lässt
  130  abgebrochen (Strg+C, SIGTERM): das Gerät bleibt mitten in der Aktualisierung; ein neuer
       Lauf beginnt die ganze Aktualisierung von vorn
</translation>
    </message>
    <message>
        <source>Tavrin Update %1
</source>
        <translation>Tavrin Update %1
</translation>
    </message>
    <message>
        <source>Image: %1 bytes, SHA-256 %2
</source>
        <translation>Abbild: %1 Bytes, SHA-256 %2
</translation>
    </message>
    <message>
        <source>Image: cannot be read
</source>
        <translation>Abbild: nicht lesbar
</translation>
    </message>
    <message>
        <source>Reset code: %1
</source>
        <translation>Reset-Code: %1
</translation>
    </message>
    <message>
        <source>Writes the NAND image built into it into a Tavrin unit over MIDI. Without options it opens its window; with --batch it runs one complete update without one. PORT is a listed port&apos;s exact name, or a part of one (any case) that fits only that port.</source>
        <translation>Schreibt das eingebaute NAND-Abbild über MIDI in ein Tavrin-Gerät. Ohne Optionen öffnet es sein Fenster; mit --batch führt es eine vollständige Aktualisierung ohne Fenster aus. PORT ist der genaue Name eines aufgeführten Anschlusses oder ein Teil davon (Groß- und Kleinschreibung egal), der nur auf diesen Anschluss passt.</translation>
    </message>
    <message>
        <source>Run one complete update and exit.</source>
        <translation>Eine vollständige Aktualisierung ausführen und beenden.</translation>
    </message>
    <message>
        <source>The MIDI input that the unit answers on.</source>
        <translation>Der MIDI-Eingang, auf dem das Gerät antwortet.</translation>
    </message>
    <message>
        <source>The MIDI output that reaches the unit.</source>
        <translation>Der MIDI-Ausgang, der das Gerät erreicht.</translation>
    </message>
    <message>
        <source>Print JSON Lines on stdout, one event per line.</source>
        <translation>JSON Lines auf stdout ausgeben, ein Ereignis je Zeile.</translation>
    </message>
    <message>
        <source>List the MIDI inputs and outputs on offer and exit.</source>
        <translation>Die angebotenen MIDI-Eingänge und -Ausgänge aufführen und beenden.</translation>
    </message>
    <message>
        <source>Show this text and exit.</source>
        <translation>Diesen Text zeigen und beenden.</translation>
    </message>
    <message>
        <source>Show the version, the built-in image&apos;s size and checksum and the reset code, and exit.</source>
        <translation>Version, Größe und Prüfsumme des eingebauten Abbilds und den Reset-Code zeigen und beenden.</translation>
    </message>
    <message>
        <source>unexpected argument &quot;%1&quot;</source>
        <translation>unerwartetes Argument „%1“</translation>
    </message>
    <message>
        <source>give either --batch or --list</source>
        <translation>geben Sie entweder --batch oder --list an</translation>
    </message>
    <message>
        <source>--batch needs --in PORT and --out PORT</source>
        <translation>--batch braucht --in PORT und --out PORT</translation>
    </message>
    <message>
        <source>Write without reading each block back (a verified update takes about twice as long).</source>
        <translation>Ohne Zurücklesen jedes Blocks schreiben (ein geprüftes Update dauert etwa doppelt so lange).</translation>
    </message>
    <message>
        <source>--in, --out and --no-verify go with --batch</source>
        <translation>--in, --out und --no-verify gehören zu --batch</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Tavrin Update</source>
        <translation>Tavrin-Update</translation>
    </message>
    <message>
        <source>The Plastique style is not available for this Qt: the window uses Fusion.</source>
        <translation>Der Stil Plastique ist für dieses Qt nicht verfügbar: das Fenster verwendet Fusion.</translation>
    </message>
    <message>
        <source>Tavrin information</source>
        <translation>Tavrin-Information</translation>
    </message>
    <message>
        <source>SN:</source>
        <translation>SN:</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Version:</translation>
    </message>
    <message>
        <source>MIDI IN port</source>
        <translation>MIDI-Eingang</translation>
    </message>
    <message>
        <source>MIDI OUT port</source>
        <translation>MIDI-Ausgang</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>try to connect...</source>
        <translation>verbinde...</translation>
    </message>
    <message>
        <source>Transfer</source>
        <translation>Übertragen</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>Textfeld</translation>
    </message>
    <message>
        <source>NAND Information</source>
        <translation>NAND-Information</translation>
    </message>
    <message>
        <source>Block:</source>
        <translation>Block:</translation>
    </message>
    <message>
        <source>Page:</source>
        <translation>Seite:</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Trennen</translation>
    </message>
    <message>
        <source>read BBL
</source>
        <translation>Bad-Block-Liste lesen
</translation>
    </message>
    <message>
        <source>read last BBL</source>
        <translation>letzte Bad-Block-Liste lesen</translation>
    </message>
    <message>
        <source>no BBL found, NAND is unused</source>
        <translation>keine Bad-Block-Liste gefunden, der NAND ist unbenutzt</translation>
    </message>
    <message>
        <source>read defective list</source>
        <translation>Werksdefektliste lesen</translation>
    </message>
    <message>
        <source>BBL block %1 defect</source>
        <translation>Bad-Block-Liste: Block %1 defekt</translation>
    </message>
    <message>
        <source>BBL contains %1 blocks</source>
        <translation>Bad-Block-Liste enthält %1 Blöcke</translation>
    </message>
    <message>
        <source>DefectList block %1 defect</source>
        <translation>Werksdefektliste: Block %1 defekt</translation>
    </message>
    <message>
        <source>DefectList contains %1 blocks</source>
        <translation>Werksdefektliste enthält %1 Blöcke</translation>
    </message>
    <message>
        <source>more than 3 factory defects, Flash not healthy! Aborting</source>
        <translation>mehr als 3 Werksdefekte, der NAND ist nicht in Ordnung! Abbruch</translation>
    </message>
    <message>
        <source>erase block 0 (BBL block)</source>
        <translation>Block 0 löschen (Block der Bad-Block-Listen)</translation>
    </message>
    <message>
        <source>Erase block %1 FAIL</source>
        <translation>Löschen von Block %1 FEHLGESCHLAGEN</translation>
    </message>
    <message>
        <source>Erase block %1 ok</source>
        <translation>Löschen von Block %1 ok</translation>
    </message>
    <message>
        <source>Write Data Page</source>
        <translation>Datenseite schreiben</translation>
    </message>
    <message>
        <source>writing BBL to block 0 page 0</source>
        <translation>Bad-Block-Liste wird in Block 0, Seite 0 geschrieben</translation>
    </message>
    <message>
        <source>write page %1</source>
        <translation>Seite %1 schreiben</translation>
    </message>
    <message>
        <source>Write BBL Page %1</source>
        <translation>Seite %1 der Bad-Block-Liste schreiben</translation>
    </message>
    <message>
        <source>FAIL!</source>
        <translation>FEHLGESCHLAGEN!</translation>
    </message>
    <message>
        <source>Block %1 is marked as bad</source>
        <translation>Block %1 wird als defekt markiert</translation>
    </message>
    <message>
        <source>*** Finish***</source>
        <translation>*** Fertig***</translation>
    </message>
    <message>
        <source>(%1 retries)</source>
        <translation>(%1 Wiederholungen)</translation>
    </message>
    <message>
        <source>Error: not enough space in NAND, all 1024 blocks written</source>
        <translation>Fehler: nicht genug Platz im NAND, alle 1024 Blöcke beschrieben</translation>
    </message>
    <message>
        <source>Reset NAND</source>
        <translation>NAND zurücksetzen</translation>
    </message>
    <message>
        <source>Update stopped: no reply from the unit for 10 s. Check that input and output are the same unit, and its cable and power; then press Disconnect and Connect. Update starts the whole update again.</source>
        <translation>Aktualisierung abgebrochen: seit 10 s keine Antwort vom Gerät. Prüfen Sie, ob Eingang und Ausgang dasselbe Gerät sind, sowie Kabel und Stromversorgung; drücken Sie dann „Trennen“ und „Verbinden“. „Aktualisieren“ beginnt die ganze Aktualisierung von vorn.</translation>
    </message>
    <message>
        <source>Ignored a reply that answers no request in flight (reply code %1); further ones of this kind are not logged in this pass</source>
        <translation>Antwort ignoriert, die zu keiner offenen Anfrage gehört (Antwortcode %1); weitere dieser Art werden in diesem Durchgang nicht protokolliert</translation>
    </message>
    <message>
        <source>Update stopped: %1 failed again after %2 retries</source>
        <translation>Aktualisierung abgebrochen: %1 ist nach %2 Wiederholungen erneut fehlgeschlagen</translation>
    </message>
    <message>
        <source>the search for a bad-block list in block 0, page %1</source>
        <translation>die Suche nach einer Bad-Block-Liste in Block 0, Seite %1</translation>
    </message>
    <message>
        <source>the read of the bad-block list in block 0, page %1</source>
        <translation>das Lesen der Bad-Block-Liste in Block 0, Seite %1</translation>
    </message>
    <message>
        <source>the read of the factory defect list</source>
        <translation>das Lesen der Werksdefektliste</translation>
    </message>
    <message>
        <source>the write of block %1</source>
        <translation>das Schreiben von Block %1</translation>
    </message>
    <message>
        <source>the write of the bad-block list to block 0</source>
        <translation>das Schreiben der Bad-Block-Liste in Block 0</translation>
    </message>
    <message>
        <source>The unit&apos;s data replies do not carry their checksum; each one is read twice</source>
        <translation>Die Datenantworten des Geräts tragen keine Prüfsumme; jede wird zweimal gelesen</translation>
    </message>
    <message>
        <source>Update stopped: the unit did not confirm the finish</source>
        <translation>Aktualisierung abgebrochen: Das Gerät hat den Abschluss nicht bestätigt</translation>
    </message>
    <message>
        <source>An update is running. Closing now leaves the unit without a complete image. Close anyway?</source>
        <translation>Eine Aktualisierung läuft. Wenn Sie jetzt schließen, bleibt das Gerät ohne vollständiges Image. Trotzdem schließen?</translation>
    </message>
    <message>
        <source>Update stopped: the bad-block list could not be programmed</source>
        <translation>Aktualisierung abgebrochen: Die Bad-Block-Liste ließ sich nicht programmieren</translation>
    </message>
    <message>
        <source>Update stopped: no good block left, the image is incomplete; the unit was not told that the update finished</source>
        <translation>Aktualisierung abgebrochen: kein intakter Block mehr frei, das Image ist unvollständig; dem Gerät wurde das Ende der Aktualisierung nicht gemeldet</translation>
    </message>
    <message>
        <source>Update refused: the image cannot be opened</source>
        <translation>Aktualisierung abgelehnt: Das Image lässt sich nicht öffnen</translation>
    </message>
    <message>
        <source>Update refused: the image (%1 bytes) does not fit the NAND</source>
        <translation>Aktualisierung abgelehnt: Das Image (%1 Bytes) passt nicht in den NAND</translation>
    </message>
    <message>
        <source>BBL block is full, the last BBL moves to page 0</source>
        <translation>Der Block der Bad-Block-Listen ist voll, die letzte Bad-Block-Liste kommt auf Seite 0</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>The unit&apos;s MIDI ports have gone. Check its cable and power, press Disconnect, and Connect again once the unit is listed.</source>
        <translation>Die MIDI-Anschlüsse des Geräts sind verschwunden. Prüfen Sie Kabel und Stromversorgung, drücken Sie „Trennen“ und wieder „Verbinden“, sobald das Gerät aufgeführt ist.</translation>
    </message>
    <message>
        <source>The JACK server has stopped; its MIDI ports are no longer listed.</source>
        <translation>Der JACK-Server wurde beendet; seine MIDI-Anschlüsse werden nicht mehr aufgeführt.</translation>
    </message>
    <message>
        <source>The JACK server has stopped and the connection to the unit with it; the unit is not at fault. Start the JACK server again, then press Connect; Update starts the whole update again.</source>
        <translation>Der JACK-Server wurde beendet und mit ihm die Verbindung zum Gerät; am Gerät liegt es nicht. Starten Sie den JACK-Server wieder und drücken Sie dann „Verbinden“; „Aktualisieren“ beginnt die ganze Aktualisierung von vorn.</translation>
    </message>
    <message>
        <source>Cannot connect: no MIDI system is running. Load the ALSA sequencer (kernel module snd-seq) or start a JACK server; the port lists fill in by themselves.</source>
        <translation>Verbinden nicht möglich: Kein MIDI-System läuft. Laden Sie den ALSA-Sequencer (Kernelmodul snd-seq) oder starten Sie einen JACK-Server; die Anschlusslisten füllen sich von selbst.</translation>
    </message>
    <message>
        <source>Cannot connect: no port is chosen under &quot;%1&quot;. Choose the unit there; if it is not listed, check its USB cable and that it is switched on.</source>
        <translation>Verbinden nicht möglich: Unter „%1“ ist kein Anschluss gewählt. Wählen Sie dort das Gerät; fehlt es in der Liste, prüfen Sie das USB-Kabel und ob das Gerät eingeschaltet ist.</translation>
    </message>
    <message>
        <source>Cannot connect: the chosen ports could not be opened; the unit may have been unplugged. Check that it is still listed, then press Connect again.</source>
        <translation>Verbinden nicht möglich: Die gewählten Anschlüsse ließen sich nicht öffnen; vielleicht wurde das Gerät abgezogen. Prüfen Sie, ob es noch aufgeführt ist, und drücken Sie dann erneut „Verbinden“.</translation>
    </message>
    <message>
        <source>No answer from the unit within %1 s. Check that &quot;%2&quot; and &quot;%3&quot; are the same unit, its cable and its power, then press Disconnect and Connect.</source>
        <translation>Keine Antwort vom Gerät innerhalb von %1 s. Prüfen Sie, ob „%2“ und „%3“ dasselbe Gerät sind, sowie Kabel und Stromversorgung, und drücken Sie dann „Trennen“ und „Verbinden“.</translation>
    </message>
    <message>
        <source>the default</source>
        <translation>voreingestellt</translation>
    </message>
    <message>
        <source>set for this build</source>
        <translation>für diesen Build festgelegt</translation>
    </message>
    <message>
        <source>Tavrin Update %1; image: %2 bytes, SHA-256 %3; reset code: %4</source>
        <translation>Tavrin-Update %1; Image: %2 Bytes, SHA-256 %3; Reset-Code: %4</translation>
    </message>
    <message>
        <source>Tavrin Update %1; the image cannot be opened; reset code: %2</source>
        <translation>Tavrin-Update %1; das Image lässt sich nicht öffnen; Reset-Code: %2</translation>
    </message>
    <message>
        <source>This build carries a generated placeholder instead of the unit&apos;s image: use it with tavrin-sim only, never with a real unit.</source>
        <translation>Dieser Build enthält ein erzeugtes Platzhalter-Image statt des Images für das Gerät: Verwenden Sie ihn nur mit tavrin-sim, nie mit einem echten Gerät.</translation>
    </message>
    <message>
        <source>found %1 BBLs</source>
        <translation>%1 Bad-Block-Listen gefunden</translation>
    </message>
    <message>
        <source>Factory defects: %1 blocks</source>
        <translation>Werksdefekte: %1 Blöcke</translation>
    </message>
    <message>
        <source>A reply with a damaged status (reply code %1) counts as lost; further ones of this kind are not logged in this pass</source>
        <translation>Eine Antwort mit beschädigtem Status (Antwortcode %1) gilt als verloren; weitere dieser Art werden in diesem Durchgang nicht protokolliert</translation>
    </message>
    <message>
        <source>The unit received piece %1 damaged; %2 starts again</source>
        <translation>Das Gerät hat Teil %1 beschädigt empfangen; %2 beginnt von vorn</translation>
    </message>
    <message>
        <source>The unit is preparing its NAND; waiting up to 60 s for it</source>
        <translation>Das Gerät bereitet sein NAND vor; bis zu 60 s wird darauf gewartet</translation>
    </message>
    <message>
        <source>Update stopped: the unit did not get its NAND ready within 60 s</source>
        <translation>Aktualisierung abgebrochen: das Gerät hat sein NAND nicht innerhalb von 60 s bereit gemeldet</translation>
    </message>
    <message>
        <source>Every reply arrives twice: the unit is connected to this input more than once</source>
        <translation>Jede Antwort kommt doppelt an: das Gerät ist mehr als einmal mit diesem Eingang verbunden</translation>
    </message>
    <message>
        <source>Erase block %1 failed; it is erased once more</source>
        <translation>Löschen von Block %1 fehlgeschlagen; er wird noch einmal gelöscht</translation>
    </message>
    <message>
        <source>Warning: &quot;%1&quot; and &quot;%2&quot; belong to different MIDI clients and may not be the same unit; requests would then go to one unit while the answers are awaited from the other.</source>
        <translation>Warnung: „%1“ und „%2“ gehören zu verschiedenen MIDI-Clients und sind vielleicht nicht dasselbe Gerät; Anfragen gingen dann an ein Gerät, während die Antworten von einem anderen erwartet werden.</translation>
    </message>
    <message>
        <source>Verify after writing</source>
        <translation>Nach dem Schreiben prüfen</translation>
    </message>
    <message>
        <source>the read-back of block %1, page %2</source>
        <translation>das Zurücklesen von Block %1, Seite %2</translation>
    </message>
    <message>
        <source>Pass finished: %1 pages in %2 blocks, verified, %3 retries, %4 s, %5 KiB/s</source>
        <translation>Durchgang beendet: %1 Seiten in %2 Blöcken, geprüft, %3 Wiederholungen, %4 s, %5 KiB/s</translation>
    </message>
    <message>
        <source>Pass finished: %1 pages in %2 blocks, not verified, %3 retries, %4 s, %5 KiB/s</source>
        <translation>Durchgang beendet: %1 Seiten in %2 Blöcken, nicht geprüft, %3 Wiederholungen, %4 s, %5 KiB/s</translation>
    </message>
    <message>
        <source>Block %1 read back: it holds what was written</source>
        <translation>Block %1 zurückgelesen: er enthält, was geschrieben wurde</translation>
    </message>
    <message>
        <source>Block %1 page %2 sector %3 reads back other than written; the block is erased and written again</source>
        <translation>Block %1 Seite %2 Sektor %3 liest sich anders zurück als geschrieben; der Block wird gelöscht und neu geschrieben</translation>
    </message>
    <message>
        <source>Block %1 page %2 sector %3 reads back other than written once more; block %1 is marked as bad</source>
        <translation>Block %1 Seite %2 Sektor %3 liest sich erneut anders zurück als geschrieben; Block %1 wird als defekt markiert</translation>
    </message>
    <message>
        <source>Block 0 page %1 holds the new bad-block list</source>
        <translation>Block 0 Seite %1 enthält die neue Bad-Block-Liste</translation>
    </message>
    <message>
        <source>Block 0 page %1 is erased; the bad-block list is written there again</source>
        <translation>Block 0 Seite %1 ist gelöscht; die Bad-Block-Liste wird dort erneut geschrieben</translation>
    </message>
    <message>
        <source>Block 0 page %1 holds something else and block 0 is full; it is erased for the bad-block list</source>
        <translation>Block 0 Seite %1 enthält etwas anderes und Block 0 ist voll; er wird für die Bad-Block-Liste gelöscht</translation>
    </message>
    <message>
        <source>Block 0 page %1 holds something else; the bad-block list goes to the next page</source>
        <translation>Block 0 Seite %1 enthält etwas anderes; die Bad-Block-Liste kommt auf die nächste Seite</translation>
    </message>
    <message>
        <source>Block 0 page %1 holds neither a bad-block list nor is it erased; it is passed over</source>
        <translation>Block 0 Seite %1 enthält weder eine Bad-Block-Liste, noch ist sie gelöscht; sie wird übergangen</translation>
    </message>
    <message>
        <source>MIDI: PipeWire&apos;s JACK server, %1 frames per cycle (%2 ms): asking for %3 frames during the update</source>
        <translation>MIDI: JACK-Server von PipeWire, %1 Frames pro Zyklus (%2 ms): für die Dauer der Aktualisierung werden %3 Frames angefordert</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>MIDI: the JACK server runs %1 frames per cycle (%2 ms) and does not go shorter for this program; at one round trip per cycle this update takes at least %3</source>
        <translation>MIDI: Der JACK-Server läuft mit %1 Frames pro Zyklus (%2 ms) und verkürzt sie für dieses Programm nicht; bei einer Anfrage mit Antwort pro Zyklus dauert diese Aktualisierung mindestens %3</translation>
    </message>
    <message>
        <source>MIDI: the JACK server is back at %1 frames per cycle</source>
        <translation>MIDI: Der JACK-Server läuft wieder mit %1 Frames pro Zyklus</translation>
    </message>
    <message>
        <source>MIDI: no answer in time at %1 frames per cycle; the JACK server now runs %2</source>
        <translation>MIDI: keine Antwort rechtzeitig bei %1 Frames pro Zyklus; der JACK-Server läuft jetzt mit %2</translation>
    </message>
</context>
<context>
    <name>MidiPort</name>
    <message>
        <source>A System Exclusive message from the MIDI input was cut off by the start of another and is dropped.</source>
        <translation>Eine System-Exclusive-Nachricht vom MIDI-Eingang wurde durch den Beginn einer anderen abgeschnitten und wird verworfen.</translation>
    </message>
    <message>
        <source>A System Exclusive message from the MIDI input was broken off by another MIDI message and is dropped.</source>
        <translation>Eine System-Exclusive-Nachricht vom MIDI-Eingang wurde durch eine andere MIDI-Nachricht abgebrochen und wird verworfen.</translation>
    </message>
    <message>
        <source>A System Exclusive message from the MIDI input is longer than 64 KiB and is dropped.</source>
        <translation>Eine System-Exclusive-Nachricht vom MIDI-Eingang ist länger als 64 KiB und wird verworfen.</translation>
    </message>
    <message>
        <source>Messages from the MIDI input arrived faster than they could be taken; some are dropped.</source>
        <translation>Nachrichten vom MIDI-Eingang kamen schneller an, als sie angenommen werden konnten; einige werden verworfen.</translation>
    </message>
</context>
<context>
    <name>PortWatcher</name>
    <message>
        <source>The MIDI system does not answer; the port watcher is left to stop by itself.</source>
        <translation>Das MIDI-System antwortet nicht; die Überwachung der Anschlüsse beendet sich später von selbst.</translation>
    </message>
    <message>
        <source>The ALSA sequencer reported an error; its port list is read again.</source>
        <translation>Der ALSA-Sequencer hat einen Fehler gemeldet; seine Anschlussliste wird neu gelesen.</translation>
    </message>
</context>
</TS>
