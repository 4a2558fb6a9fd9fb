#pragma once

#include "launch/launchplan.h"

#include <QObject>

#include <atomic>
#include <memory>

class QSemaphore;

class QListWidget;

// Marks the ticked mods of the launcher's mod list that collide with another ticked mod: a
// warning icon in the row (its text stays as it is) and a tool tip that lists the
// collisions in the player's language. The plan is worked out on a worker thread whenever
// the ticks or the order change, so the list never waits on it; a result that a later change
// has made stale is thrown away. Lives as long as the list it marks (its parent).
class VxCollisionMarks : public QObject
{
    Q_OBJECT

public:
    VxCollisionMarks(QListWidget *list, const QString &installDir);
    ~VxCollisionMarks() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // The marks now match the list as it stands (tests wait for this).
    void marksUpdated();

private:
    void listChanged();
    void startPlan();
    void planReady(quint64 run, quint64 generation, const VxLaunchPlan &plan);
    void applyMarks(const VxLaunchPlan &plan);
    void stopWorker();
    void waitForPlan();

    QListWidget *m_list;
    QString m_installDir;
    // Released by the planning thread once the plan under way is done and posted.
    std::shared_ptr<QSemaphore> m_planDone;
    std::shared_ptr<std::atomic_bool> m_cancel;
    quint64 m_generation = 0; // bumped by every change of ticks or order
    quint64 m_run = 0;        // bumped by every worker started
    bool m_running = false;   // a plan is being worked out
    bool m_startQueued = false;
};
