#pragma once

#include <QString>

// 0 French, 2 Spanish, anything else English.
quint8 languageIndexFor(const QString &languageValue);

// Rebuilds the process-wide string table from the chosen column.
void loadStringTable(quint8 languageIndex, const char *context = "VxLauncherDialog");

// The column loadStringTable() chose last: 0 French, 2 Spanish, 1 English (also before any).
quint8 activeLanguageIndex();

// Entry id (0 to 23) of the active table; an empty string for an id out of range or before
// the table is loaded.
QString tableString(int id);
