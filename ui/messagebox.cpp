#include "ui/messagebox.h"

#include "app/launchertexts.h"

#include <QAbstractButton>

#include <utility>

QMessageBox::StandardButton showCriticalBox(QWidget *parent, const QString &title,
                                            const QString &text,
                                            QMessageBox::StandardButtons buttons)
{
    QMessageBox box(QMessageBox::Critical, title, text, buttons, parent);
    const std::pair<QMessageBox::StandardButton, VxText> names[] = {
        {QMessageBox::Ok, VxText::ButtonOk},
        {QMessageBox::Abort, VxText::ButtonAbort},
        {QMessageBox::Ignore, VxText::ButtonIgnore},
    };
    for (const auto &[button, name] : names) {
        if (QAbstractButton *shown = box.button(button))
            shown->setText(launcherText(name));
    }
    const int pressed = box.exec();
    return box.clickedButton() ? QMessageBox::StandardButton(pressed) : QMessageBox::NoButton;
}
