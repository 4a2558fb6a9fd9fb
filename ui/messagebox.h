#pragma once

#include <QMessageBox>

// A critical box of the launcher, modal over parent, whose buttons speak the player's
// language like the rest of the launcher (Qt's own names for them are English). Returns the
// button pressed, or QMessageBox::NoButton when the box was closed without one.
QMessageBox::StandardButton showCriticalBox(QWidget *parent, const QString &title,
                                            const QString &text,
                                            QMessageBox::StandardButtons buttons);
