<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="de_DE">
<context>
    <name>Hauptfenster</name>
    <message id="101">
        <source>Datei</source>
        <translation>Файл</translation>
    </message>
    <message id="102">
        <source>Zeile 1
Zeile 2</source>
        <translation>Строка 1
Строка 2</translation>
    </message>
    <message id="103">
        <source>Noch offen</source>
        <translation type="unfinished"></translation>
    </message>
    <message id="104">
        <source>Entwurf</source>
        <translation type="unfinished">Черновик</translation>
    </message>
    <message id="105">
        <source>&amp;Beenden</source>
        <translation>&amp;Выход</translation>
    </message>
</context>
</TS>
