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
        <translation>abgebrochen: das Gerät bleibt mitten in der Aktualisierung ohne vollständiges Image; ein neuer Lauf beginnt die ganze Aktualisierung von vorn</translation>
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
        <translation>Tavrin-Update %1
</translation>
    </message>
    <message>
        <source>Image: %1 bytes, SHA-256 %2
</source>
        <translation>Image: %1 Bytes, SHA-256 %2
</translation>
    </message>
    <message>
        <source>Image: cannot be read
</source>
        <translation>Image: nicht lesbar
</translation>
    </message>
    <message>
        <source>Reset code: %1
</source>
        <translation>Reset-Code: %1
</translation>
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
        <translation>Version, Größe und Prüfsumme des eingebauten Images und den Reset-Code zeigen und beenden.</translation>
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
        <translation>Ohne Zurücklesen jedes Blocks schreiben (eine geprüfte Aktualisierung dauert etwa doppelt so lange).</translation>
    </message>
    <message>
        <source>The image is a generated placeholder: it updates only the simulated unit (tavrin-sim), never a real one.
</source>
        <translation>Das Image ist ein erzeugter Platzhalter: Es aktualisiert nur das simulierte Gerät (tavrin-sim), nie ein echtes.
</translation>
    </message>
    <message>
        <source>Usage: tavrin-update                  open the window
       tavrin-update --batch --in PORT --out PORT [--no-verify] [--verbose] [--json]
       tavrin-update --list [--json]
       tavrin-update --help | --version

Writes the NAND image built into it into a Tavrin unit over MIDI: in its window, or with
--batch as one complete update without one. PORT is a listed port&apos;s exact name, or a part of
one (any case) that fits only that port.
</source>
        <translation>Aufruf: tavrin-update                  das Fenster öffnen
        tavrin-update --batch --in PORT --out PORT [--no-verify] [--verbose] [--json]
        tavrin-update --list [--json]
        tavrin-update --help | --version

Schreibt das eingebaute NAND-Image über MIDI in ein Tavrin-Gerät: in seinem Fenster oder mit
--batch als eine vollständige Aktualisierung ohne Fenster. PORT ist der genaue Name eines
aufgeführten Anschlusses oder ein Teil davon (Groß- und Kleinschreibung egal), der nur auf diesen
Anschluss passt.
</translation>
    </message>
    <message>
        <source>
Examples:
  tavrin-update --list
  tavrin-update --batch --in Tavrin --out Tavrin
  tavrin-update --batch --in Tavrin --out Tavrin --json &gt;update.jsonl
</source>
        <translation>
Beispiele:
  tavrin-update --list
  tavrin-update --batch --in Tavrin --out Tavrin
  tavrin-update --batch --in Tavrin --out Tavrin --json &gt;update.jsonl
</translation>
    </message>
    <message>
        <source>unknown option %1</source>
        <translation>unbekannte Option %1</translation>
    </message>
    <message>
        <source>%1 needs a value</source>
        <translation>%1 braucht einen Wert</translation>
    </message>
    <message>
        <source>%1 takes no value</source>
        <translation>%1 nimmt keinen Wert</translation>
    </message>
    <message>
        <source>Print every log line, also the one for each page written.</source>
        <translation>Jede Protokollzeile ausgeben, auch die für jede geschriebene Seite.</translation>
    </message>
    <message>
        <source>Batch update:</source>
        <translation>Aktualisierung ohne Fenster:</translation>
    </message>
    <message>
        <source>Ports:</source>
        <translation>Anschlüsse:</translation>
    </message>
    <message>
        <source>Output:</source>
        <translation>Ausgabe:</translation>
    </message>
    <message>
        <source>Information:</source>
        <translation>Auskunft:</translation>
    </message>
    <message>
        <source>unexpected argument %1</source>
        <translation>unerwartetes Argument %1</translation>
    </message>
    <message>
        <source>--in, --out, --no-verify and --verbose go with --batch</source>
        <translation>--in, --out, --no-verify und --verbose gehören zu --batch</translation>
    </message>
    <message>
        <source>No MIDI system is running: load the ALSA sequencer (kernel module snd-seq) or start a JACK server.
</source>
        <translation>Kein MIDI-System läuft: Laden Sie den ALSA-Sequencer (Kernelmodul snd-seq) oder starten Sie einen JACK-Server.
</translation>
    </message>
</context>
<context>
    <name>JackServerLock</name>
    <message>
        <source>The JACK server does not answer; it is treated as stopped until it answers again.</source>
        <translation>Der JACK-Server antwortet nicht; er gilt als beendet, bis er wieder antwortet.</translation>
    </message>
    <message>
        <source>The JACK server does not answer; a client of it is left behind and closed when the server answers again.</source>
        <translation>Der JACK-Server antwortet nicht; ein Client von ihm wird zurückgelassen und geschlossen, sobald der Server wieder antwortet.</translation>
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
        <translation>Ser.-Nr.:</translation>
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
        <translation>Verbinden...</translation>
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
        <translation>Block %1 gelöscht</translation>
    </message>
    <message>
        <source>Write Data Page</source>
        <translation>Datenseite schreiben</translation>
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
        <translation>für diese Programmversion festgelegt</translation>
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
        <translation>Diese Programmversion enthält ein erzeugtes Platzhalter-Image statt des Images für das Gerät: Verwenden Sie sie nur mit tavrin-sim, nie mit einem echten Gerät.</translation>
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
        <source>The unit received piece %1 damaged; %2 starts again</source>
        <translation>Das Gerät hat Teil %1 beschädigt empfangen; %2 beginnt von vorn</translation>
    </message>
    <message>
        <source>The unit is preparing its NAND; waiting up to 60 s for it</source>
        <translation>Das Gerät bereitet seinen NAND vor; bis zu 60 s wird darauf gewartet</translation>
    </message>
    <message>
        <source>Update stopped: the unit did not get its NAND ready within 60 s</source>
        <translation>Aktualisierung abgebrochen: das Gerät hat seinen NAND nicht innerhalb von 60 s bereit gemeldet</translation>
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
        <source>Block 0 page %1 holds neither a bad-block list nor is it erased; it is passed over</source>
        <translation>Block 0 Seite %1 enthält weder eine Bad-Block-Liste, noch ist sie gelöscht; sie wird übergangen</translation>
    </message>
    <message>
        <source>Tavrin Update %1; placeholder image: %2 bytes, SHA-256 %3; reset code: %4</source>
        <translation>Tavrin-Update %1; Platzhalter-Image: %2 Bytes, SHA-256 %3; Reset-Code: %4</translation>
    </message>
    <message>
        <source>Block 0 holds no bad-block list in pages 0 to %1: the list is taken as lost</source>
        <translation>Block 0 enthält auf den Seiten 0 bis %1 keine Bad-Block-Liste: Die Liste gilt als verloren</translation>
    </message>
    <message>
        <source>The bad-block list in block 0, page %1 is damaged and no list precedes it: the list is taken as lost</source>
        <translation>Die Bad-Block-Liste in Block 0, Seite %1 ist beschädigt, und keine Liste geht ihr voraus: Die Liste gilt als verloren</translation>
    </message>
    <message>
        <source>The bad-block list in block 0, page %1 is damaged; the one in page %2 is read</source>
        <translation>Die Bad-Block-Liste in Block 0, Seite %1 ist beschädigt; die auf Seite %2 wird gelesen</translation>
    </message>
    <message>
        <source>the erase of block 0</source>
        <translation>das Löschen von Block 0</translation>
    </message>
    <message>
        <source>the final check of the bad-block list in block 0, page %1</source>
        <translation>die Schlussprüfung der Bad-Block-Liste in Block 0, Seite %1</translation>
    </message>
    <message>
        <source>the final check of block %1</source>
        <translation>die Schlussprüfung von Block %1</translation>
    </message>
    <message>
        <source>the write of the bad-block list to block 0, page %1</source>
        <translation>das Schreiben der Bad-Block-Liste in Block 0, Seite %1</translation>
    </message>
    <message>
        <source>Update stopped: %1 failed after %2 rewrites</source>
        <translation>Aktualisierung abgebrochen: %1 ist nach %2 Neuschreibungen fehlgeschlagen</translation>
    </message>
    <message>
        <source>Final check: block %1 does not hold what was written; it is erased and written again</source>
        <translation>Schlussprüfung: Block %1 enthält nicht, was geschrieben wurde; er wird gelöscht und neu geschrieben</translation>
    </message>
    <message>
        <source>Final check: block 0 page %1 holds something else</source>
        <translation>Schlussprüfung: Block 0 Seite %1 enthält etwas anderes</translation>
    </message>
    <message>
        <source>Final check: block 0 page %1 is erased; block 0 is erased and the bad-block list written again</source>
        <translation>Schlussprüfung: Block 0 Seite %1 ist gelöscht; Block 0 wird gelöscht und die Bad-Block-Liste neu geschrieben</translation>
    </message>
    <message>
        <source>Block 0 page %1 holds something else</source>
        <translation>Block 0 Seite %1 enthält etwas anderes</translation>
    </message>
    <message>
        <source>Block 0 is full; it is erased for the bad-block list</source>
        <translation>Block 0 ist voll; er wird für die Bad-Block-Liste gelöscht</translation>
    </message>
    <message>
        <source>The bad-block list goes to block 0 page %1</source>
        <translation>Die Bad-Block-Liste kommt in Block 0, Seite %1</translation>
    </message>
    <message>
        <source>Update stopped: the erase of block 0 failed twice; no bad-block list was written over the old ones</source>
        <translation>Aktualisierung abgebrochen: Das Löschen von Block 0 ist zweimal fehlgeschlagen; keine Bad-Block-Liste wurde über die alten geschrieben</translation>
    </message>
    <message>
        <source>writing BBL to block 0 page %1</source>
        <translation>Bad-Block-Liste wird in Block 0, Seite %1 geschrieben</translation>
    </message>
    <message>
        <source>Block 0 page %1 failed to program</source>
        <translation>Das Programmieren von Block 0 Seite %1 ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>A status reply of the wrong length (reply code %1) counts as lost; further ones of this kind are not logged in this pass</source>
        <translation>Eine Statusantwort falscher Länge (Antwortcode %1) gilt als verloren; weitere dieser Art werden in diesem Durchgang nicht protokolliert</translation>
    </message>
    <message>
        <source>Update stopped: for 10 s the unit&apos;s %1 replies answered no request in flight; the last was %2</source>
        <translation>Aktualisierung abgebrochen: 10 s lang beantworteten die %1 Antworten des Geräts keine offene Anfrage; die letzte war %2</translation>
    </message>
    <message>
        <source>An answer of the unit came out of turn during %1; it starts over, reading every piece twice</source>
        <translation>Eine Antwort des Geräts kam außer der Reihe (%1); es beginnt von vorn und liest jedes Teil zweimal</translation>
    </message>
    <message>
        <source>Status %1 (reply code %2) is taken as success, as the protocol allows; further ones are not logged in this pass</source>
        <translation>Status %1 (Antwortcode %2) gilt als Erfolg, wie das Protokoll es erlaubt; weitere werden in diesem Durchgang nicht protokolliert</translation>
    </message>
    <message>
        <source>Status %1 (reply code %2) is not the %3 this unit answers for success; %4 is checked</source>
        <translation>Status %1 (Antwortcode %2) ist nicht die %3, die dieses Gerät für Erfolg antwortet; %4 wird geprüft</translation>
    </message>
    <message>
        <source>The unit reported a piece damaged after the next one went out; %1 starts again</source>
        <translation>Das Gerät meldete ein Teil als beschädigt, nachdem das nächste gesendet war; %1 beginnt von vorn</translation>
    </message>
    <message>
        <source>The unit reported a piece damaged after its page was programmed; %1 is read back</source>
        <translation>Das Gerät meldete ein Teil als beschädigt, nachdem seine Seite programmiert war; %1 wird zurückgelesen</translation>
    </message>
    <message>
        <source>%1: no reply came to the last request</source>
        <translation>%1: auf die letzte Anfrage kam keine Antwort</translation>
    </message>
    <message>
        <source>%1: the last reply was %2</source>
        <translation>%1: die letzte Antwort war %2</translation>
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
        <source>Update refused: this build carries a generated placeholder instead of the maker&apos;s image, and only the simulated unit (tavrin-sim) takes it. Build Tavrin Update with the maker&apos;s image (cmake -DTAVRIN_IMAGE=/path/to/image.bin) to update this unit.</source>
        <translation>Aktualisierung abgelehnt: Diese Programmversion enthält ein erzeugtes Platzhalter-Image statt des Images des Herstellers, und nur das simulierte Gerät (tavrin-sim) nimmt es an. Erstellen Sie Tavrin-Update mit dem Image des Herstellers (cmake -DTAVRIN_IMAGE=/pfad/zum/image.bin), um dieses Gerät zu aktualisieren.</translation>
    </message>
    <message>
        <source>MIDI: %1 round trips answered in a row; the JACK server now runs %2 frames per cycle</source>
        <translation>MIDI: %1 Anfragen nacheinander beantwortet; der JACK-Server läuft jetzt mit %2 Frames pro Zyklus</translation>
    </message>
    <message>
        <source>Final check: block 0 page %1 after the bad-block list is not erased; block 0 is erased and the list written again</source>
        <translation>Schlussprüfung: Block 0 Seite %1 nach der Bad-Block-Liste ist nicht gelöscht; Block 0 wird gelöscht und die Liste neu geschrieben</translation>
    </message>
    <message>
        <source>No reply within 2.5 s during %1: retry %2 of %3</source>
        <translation>Keine Antwort innerhalb von 2,5 s auf %1: Wiederholung %2 von %3</translation>
    </message>
    <message>
        <source>MIDI: two answers lost close together; the JACK server now runs %1 frames per cycle</source>
        <translation>MIDI: Zwei Antworten kurz nacheinander verloren; der JACK-Server läuft jetzt mit %1 Frames pro Zyklus</translation>
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
