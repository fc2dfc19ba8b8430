#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The three catalog files beside the program: watermark fonts, font sizes and
// colours. Lines end at CR LF or at a CR alone; a LF alone is part of the line.
// Fields are taken exactly as they stand: nothing is trimmed.

struct FontEntry {
    QString fileName;    // field 1: relative to the system fonts folder
    QString displayName; // field 2: what the user sees
};

struct ColorEntry {
    QString name;
    quint32 value = 0; // red + 256 * green + 65536 * blue
};

struct Catalogs {
    QList<FontEntry> fonts;
    QStringList fontSizes;
    QList<ColorEntry> colors;
};

// Splits file bytes into lines. An end of file is tested before each line, so a
// final line end yields no extra empty line. More than 32767 lines overflow
// the line counter: VbError 6, thrown after the 32768th line.
QList<QByteArray> SplitCatalogLines(const QByteArray& data);

FontEntry ParseFontLine(const QString& line);   // throws VbError 9 without field 2
ColorEntry ParseColorLine(const QString& line); // throws VbError 9, 13 or 6

// The Debian package that holds a font of the catalog (a file name relative to
// the system fonts folder), as the user would install it; empty when unknown.
QString FontPackage(const QString& fontFileName);

// Reads fonts.txt, fontsizes.txt and colors.txt from the folder and checks
// that the start positions of JobOptions() exist, in the order start-up has
// always used.
// Any failure throws VbError with the number and description to report.
Catalogs LoadCatalogs(const QString& appFolder);
