#pragma once

#include "mods/modsets.h"

#include <QObject>
#include <QPoint>
#include <QStringList>

#include <memory>

class QListWidget;
class QMenu;

// The mod list's context menu of mod sets, from the mouse, the menu key or Shift+F10: tick
// the last game's mods or a saved set (the set's mods at the top, in its order, every other
// mod unticked), save the ticked mods as a set, delete a set, and copy or paste the ticked
// mods as text to share them. The sets are read from the game's modsets.txt each time the
// menu opens, so a set saved by vxmod shows at once. Lives as long as the list (its parent).
class VxModSetMenu : public QObject
{
    Q_OBJECT

public:
    VxModSetMenu(QListWidget *list, const QString &installDir);

    // Opens the menu at a point of the screen; it goes when it closes.
    QMenu *popup(const QPoint &globalPos);

    // Records the mods a launch has started the game with as the last game's. A failure is
    // kept for reportLastGameFailure(): the game is running, and a box now would sit behind it.
    void recordLastGame(const QStringList &modFolders);
    void reportLastGameFailure();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // m_sets as the file holds them now; damaged lines are shown once per change.
    void readSets();
    QStringList tickedMods() const;
    // Ticks set's mods at the top of the list and unticks the rest; names the missing in one box.
    void tickSet(const VxModSet &set, QStringList missing = {});
    void saveTicked();
    void deleteSet(const QString &name);
    void pasteSet();
    void fillNames(QMenu *menu, const std::shared_ptr<const QStringList> &names, qsizetype from,
                   qsizetype to, void (VxModSetMenu::*chosen)(const QString &));
    void tickNamed(const QString &name);

    QListWidget *m_list;
    QString m_installDir;
    QStringList m_reportedProblems;
    VxModSets m_sets; // as read when the menu last opened
    // What the file was then: a file of 10,000 sets is read again only once it has changed.
    QString m_readStamp;
    QString m_lastGameError;
};
