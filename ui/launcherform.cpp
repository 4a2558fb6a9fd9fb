#include "ui/launcherform.h"

#include "texts/launchertexts.h"
#include "texts/stringtable.h"
#include "ui/focusstyle.h"
#include "ui/logoframe.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QGroupBox>
#include <QIcon>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextBrowser>
#include <QToolButton>

namespace {

template <typename Widget>
Widget *place(QWidget *parent, const char *name, int x, int y, int w, int h)
{
    auto *widget = new Widget(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

} // namespace

QFont VxLauncherForm::dialogFont()
{
    // The launcher's own copy (see registerImages()), with Arial's metrics; the size Windows
    // dialogs use, 8 points at 96 dpi.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    return font;
}

void VxLauncherForm::setupUi(QDialog *dialog)
{
    if (dialog->objectName().isEmpty())
        dialog->setObjectName(QStringLiteral("Dialog"));
    dialog->setWindowModality(Qt::NonModal);
    dialog->resize(371, 561);
    dialog->setMinimumSize(371, 561);
    dialog->setMaximumSize(371, 561);
    dialog->setWindowIcon(QIcon(QStringLiteral(":/icon16.png")));
    // The fixed geometry was laid out for this font: the wider default faces of some desktops
    // (and Wine's) would cut labels off.
    dialog->setFont(dialogFont());

    logoFrame = place<VxLogoFrame>(dialog, "logoFrame", 10, 10, 351, 141);
    logoFrame->setFrameShape(QFrame::WinPanel);
    logoFrame->setFrameShadow(QFrame::Sunken);
    resolutionGroup = place<QGroupBox>(dialog, "resolutionGroup", 20, 230, 161, 51);
    resolutionCombo = place<QComboBox>(resolutionGroup, "resolutionCombo", 10, 20, 141, 22);
    refreshGroup = place<QGroupBox>(dialog, "refreshGroup", 190, 230, 161, 51);
    refreshCombo = place<QComboBox>(refreshGroup, "refreshCombo", 10, 20, 141, 22);
    playButton = place<QPushButton>(dialog, "playButton", 30, 160, 311, 61);
    // The left column's switches reach to the right column, so that the longer translations
    // show whole at the dialog's font.
    nomoviesCheck = place<QCheckBox>(dialog, "nomoviesCheck", 20, 290, 190, 21);
    nosoundCheck = place<QCheckBox>(dialog, "nosoundCheck", 210, 290, 121, 21);
    autoportsCheck = place<QCheckBox>(dialog, "autoportsCheck", 20, 310, 190, 21);
    allowscreensCheck = place<QCheckBox>(dialog, "allowscreensCheck", 210, 310, 161, 21);
    manualcamCheck = place<QCheckBox>(dialog, "manualcamCheck", 20, 330, 190, 21);
    telnetCheck = place<QCheckBox>(dialog, "telnetCheck", 210, 330, 101, 21);
    modsGroup = place<QGroupBox>(dialog, "modsGroup", 10, 360, 351, 151);
    modsList = place<QListWidget>(modsGroup, "modsList", 10, 20, 181, 101);
    modsDesc = place<QTextBrowser>(modsGroup, "modsDesc", 200, 20, 141, 121);
    modsDesc->setFrameShape(QFrame::WinPanel);
    modsDesc->setFrameShadow(QFrame::Sunken);
    updateButton = place<QPushButton>(dialog, "updateButton", 20, 520, 211, 25);
    cancelButton = place<QPushButton>(dialog, "cancelButton", 250, 520, 101, 25);
    upButton = place<QToolButton>(modsGroup, "upButton", 10, 121, 24, 20);
    downButton = place<QToolButton>(modsGroup, "downButton", 40, 121, 24, 20);

    // The keyboard goes where the eye does: top to bottom, left to right. The description
    // box only shows text, so it is no stop; the arrows come right after the list they move.
    modsDesc->setFocusPolicy(Qt::NoFocus);
    const QList<QWidget *> chain = {
        playButton,     resolutionCombo,   refreshCombo,   nomoviesCheck, nosoundCheck,
        autoportsCheck, allowscreensCheck, manualcamCheck, telnetCheck,   modsList,
        upButton,       downButton,        updateButton,   cancelButton};
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain.at(i - 1), chain.at(i));
    playButton->setFocus();
    // Enter plays from wherever the focus is, and not whichever button follows Play in the
    // chain (that would open the update page).
    playButton->setDefault(true);
    // Every stop shows its focus, Play too when the window opens with it.
    auto *focusStyle = new VxFocusStyle;
    focusStyle->setParent(dialog);
    for (QWidget *stop : chain)
        stop->setStyle(focusStyle);

    retranslateUi(dialog);
    QMetaObject::connectSlotsByName(dialog);
}

void VxLauncherForm::retranslateUi(QDialog *dialog)
{
    dialog->setWindowTitle(tableString(1));
    resolutionGroup->setTitle(tableString(2));
    refreshGroup->setTitle(tableString(3));
    modsGroup->setTitle(tableString(11));
    playButton->setText(tableString(4));
    nomoviesCheck->setText(tableString(5));
    nosoundCheck->setText(tableString(6));
    autoportsCheck->setText(tableString(7));
    allowscreensCheck->setText(tableString(8));
    manualcamCheck->setText(tableString(9));
    telnetCheck->setText(tableString(10));
    modsList->setToolTip(launcherText(VxText::ModListToolTip));
    updateButton->setText(tableString(12));
    cancelButton->setText(tableString(13));
    // The arrows read the same in every language, so they stay out of the string table.
    upButton->setText(QCoreApplication::translate("Dialog", "\u25B2"));
    downButton->setText(QCoreApplication::translate("Dialog", "\u25BC"));
}
