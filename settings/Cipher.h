#pragma once

#include <QByteArray>

// The fixed-key text cipher of the settings and link files. Every byte is
// shifted by a byte of the key, position by position, modulo 256. Text byte j
// (from 0) uses key byte (j + 1) mod L: the first text byte takes the key's
// second character.
inline constexpr char CipherKey[] = "morvatelkin";

// Longest text the cipher takes; a longer one throws VbError(6, "Overflow").
inline constexpr qsizetype MaxCipherText = 32767;

QByteArray EncryptText(const QByteArray& text, const QByteArray& key);
QByteArray DecryptText(const QByteArray& text, const QByteArray& key);
