#include "ui/messagebox.h"

#include "texts/launchertexts.h"
#include "texts/stringtable.h"

#include <QAbstractButton>
#include <QInputDialog>

#include <utility>

QMessageBox::StandardButton showCriticalBox(QWidget *parent, const QString &title,
                                            const QString &text,
                                            QMessageBox::StandardButtons buttons)
{
    return showBox(parent, QMessageBox::Critical, title, text, buttons);
}

QMessageBox::StandardButton showBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                    const QString &text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    const std::pair<QMessageBox::StandardButton, VxText> names[] = {
        {QMessageBox::Ok, VxText::ButtonOk},         {QMessageBox::Abort, VxText::ButtonAbort},
        {QMessageBox::Ignore, VxText::ButtonIgnore}, {QMessageBox::Yes, VxText::ButtonYes},
        {QMessageBox::No, VxText::ButtonNo},
    };
    for (const auto &[button, name] : names) {
        if (QAbstractButton *shown = box.button(button))
            shown->setText(launcherText(name));
    }
    const int pressed = box.exec();
    return box.clickedButton() ? QMessageBox::StandardButton(pressed) : QMessageBox::NoButton;
}

bool askText(QWidget *parent, const QString &title, const QString &label, QString &text)
{
    QInputDialog prompt(parent);
    prompt.setWindowTitle(title);
    prompt.setLabelText(label);
    prompt.setTextValue(text);
    prompt.setOkButtonText(launcherText(VxText::ButtonOk));
    prompt.setCancelButtonText(tableString(13));
    if (prompt.exec() != QDialog::Accepted)
        return false;
    text = prompt.textValue();
    return true;
}
