#pragma once

#include <QMessageBox>

// A critical box of the launcher, modal over parent, whose buttons speak the player's
// language like the rest of the launcher (Qt's own names for them are English). Returns the
// button pressed, or QMessageBox::NoButton when the box was closed without one.
QMessageBox::StandardButton showCriticalBox(QWidget *parent, const QString &title,
                                            const QString &text,
                                            QMessageBox::StandardButtons buttons);
// The same for a box of another kind (an answer the player must give, a piece of news).
QMessageBox::StandardButton
showBox(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
// A line of text the player types, asked with the launcher's own button names. False when
// the player cancelled; text holds what was typed, and its first value on the way in.
bool askText(QWidget *parent, const QString &title, const QString &label, QString &text);
