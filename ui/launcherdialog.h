#pragma once

#include "launch/gamelookup.h"
#include "ui/displaymodes.h"
#include "ui/launcherconfig.h"
#include "ui/launcherform.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class QListWidgetItem;
class QProcess;
class QTimer;
class VxGameTree;
class VxLaunch;
struct VxRestoreReport;
class VxModSetMenu;

// The launcher's one window: the player's display and switch choices, the mod list, and
// "Play", which applies the ticked mods, starts the game and restores the game's own files
// when it ends.
class VxLauncherDialog : public QDialog
{
    Q_OBJECT

public:
    // Looks the game up and asks the system for its display modes.
    VxLauncherDialog();
    // For a given game and display, without touching the real configuration.
    VxLauncherDialog(const VxGameLocation &location, const QList<VxDisplayMode> &modes,
                     QWidget *parent = nullptr);
    ~VxLauncherDialog() override;

    // False when the game was not found; the person has been told, and nothing is built.
    bool isGameFound() const;

    // The publisher's page about patches for this build of the game.
    static QUrl supportPageUrl();
    // Opens a web address; the system browser unless replaced (tests replace it).
    std::function<void(const QUrl &)> urlOpener;

    void reject() override;

public slots:
    void updateModInfo(QListWidgetItem *current, QListWidgetItem *previous);
    void launchGame();
    void resolutionChanged();
    void moveUp();
    void moveDown();
    void checkUpdates();
    void gameEnded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    using ModeSource = std::function<QList<VxDisplayMode>()>;
    VxLauncherDialog(const VxGameLocation &location, const ModeSource &modeSource, QWidget *parent);

    void loadLauncherSettings();
    void fillDisplayModes(const QList<VxDisplayMode> &modes);
    void restoreDisplayChoice();
    void saveLauncherSettings();
    // Lists the mods; returns those left out because a file of theirs cannot be read.
    QStringList scanMods();
    void recoverAtStart();
    // After an install: the mods as the folder now holds them, the ticks kept.
    void relistMods();
    void startGame();
    void setControlsEnabled(bool enabled);
    void finishGame();
    void reportRestoreFailures(const QStringList &failures);
    // Files the restore kept or left because they were not what the launch had made.
    void reportKeptFiles(const VxRestoreReport &report);

    QString installDir;
    QProcess *gameProcess = nullptr;
    VxLauncherSettings settings;
    QStringList resolutions;
    QList<QStringList> refreshLists;
    VxLauncherForm form;

    bool m_launching = false;
    bool m_gameEnded = false;
    // The launch holds the game folder from Play until the game's files are back.
    std::unique_ptr<VxLaunch> m_launch;
    std::unique_ptr<VxGameTree> m_gameTree;
    QTimer *m_treeWatch = nullptr;
    VxModSetMenu *m_setMenu = nullptr;
    // The ticked mods' folders as the launch took them: the last game's once the game starts.
    QStringList m_launchedMods;
};
