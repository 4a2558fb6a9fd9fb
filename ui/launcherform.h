#pragma once

#include <QFont>

class QCheckBox;
class QComboBox;
class QDialog;
class QGroupBox;
class QListWidget;
class QPushButton;
class QTextBrowser;
class QToolButton;
class VxLogoFrame;

// The launcher window's widgets, built in code in the order and places the window has
// always had. The dialog owns them through their parents; this only keeps the pointers.
struct VxLauncherForm
{
    VxLogoFrame *logoFrame = nullptr;
    QGroupBox *resolutionGroup = nullptr;
    QComboBox *resolutionCombo = nullptr;
    QGroupBox *refreshGroup = nullptr;
    QComboBox *refreshCombo = nullptr;
    QPushButton *playButton = nullptr;
    QCheckBox *nomoviesCheck = nullptr;
    QCheckBox *nosoundCheck = nullptr;
    QCheckBox *autoportsCheck = nullptr;
    QCheckBox *allowscreensCheck = nullptr;
    QCheckBox *manualcamCheck = nullptr;
    QCheckBox *telnetCheck = nullptr;
    QGroupBox *modsGroup = nullptr;
    QListWidget *modsList = nullptr;
    QTextBrowser *modsDesc = nullptr;
    QPushButton *updateButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QToolButton *upButton = nullptr;
    QToolButton *downButton = nullptr;

    // The font every label is sized for, on every system.
    static QFont dialogFont();

    void setupUi(QDialog *dialog);
    // Texts come from the active string table, so it must be loaded first.
    void retranslateUi(QDialog *dialog);
};
