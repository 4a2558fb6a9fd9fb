#include "ui/collisionmarks.h"

#include "texts/launchertexts.h"
#include "ui/moditem.h"

#include <QDir>
#include <QEvent>
#include <QHash>
#include <QListWidget>
#include <QMutex>
#include <QSemaphore>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QWaitCondition>

#include <deque>
#include <functional>

namespace {

// Every plan is worked out on one thread of Qt's own that lives as long as the process. A
// thread Qt only adopts is torn down unsafely at its end on Windows; and one that Qt made
// and that ends (QThread::wait() and all) leaves the mingw C++ runtime's thread-key lock
// unusable, so that the runtime's own exit waits on it and the process never ends. A thread
// that never ends has neither fault; the system stops it with the process.
class PlanThread : public QThread
{
public:
    static PlanThread &instance()
    {
        // Never deleted: a QThread must not be destroyed while it runs.
        static PlanThread *const thread = [] {
            auto *started = new PlanThread;
            started->start();
            return started;
        }();
        return *thread;
    }

    void post(std::function<void()> job)
    {
        const QMutexLocker locker(&m_mutex);
        m_jobs.push_back(std::move(job));
        m_posted.wakeOne();
    }

protected:
    void run() override
    {
        for (;;) {
            std::function<void()> job;
            {
                QMutexLocker locker(&m_mutex);
                while (m_jobs.empty())
                    m_posted.wait(&m_mutex);
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
    }

private:
    QMutex m_mutex;
    QWaitCondition m_posted;
    std::deque<std::function<void()>> m_jobs;
};

// A tool tip is read at a glance; a mod that clashes everywhere shows its first clashes and
// how many more there are (vxmod plan lists them all).
constexpr qsizetype shownCollisions = 12;

QString modNames(const VxLaunchPlan &plan, const QList<int> &mods)
{
    QStringList names;
    for (int mod : mods)
        names << plan.mods.value(mod).title;
    return names.join(QLatin1String(", "));
}

QString collisionLine(const VxLaunchPlan &plan, const VxCollision &collision)
{
    const QString mods = modNames(plan, collision.mods);
    const QString winner = plan.mods.value(collision.winner).title;
    const QString resource = collision.resource + QLatin1String(".xml");
    switch (collision.kind) {
    case VxCollision::Kind::DataFile:
        return launcherText(VxText::CollisionDataFile)
            .arg(QDir::toNativeSeparators(collision.path), mods, winner);
    case VxCollision::Kind::ElementCreated:
        return launcherText(VxText::CollisionElementCreated)
            .arg(collision.element, resource, mods, winner);
    case VxCollision::Kind::FieldSet:
        if (collision.winner < 0)
            return launcherText(VxText::CollisionFieldJoined)
                .arg(collision.field, collision.element, resource, mods,
                     modNames(plan, collision.kept), collision.reads);
        return launcherText(VxText::CollisionFieldSet)
            .arg(collision.field, collision.element, resource, mods, winner);
    case VxCollision::Kind::FieldRemoved:
        return launcherText(VxText::CollisionFieldRemoved)
            .arg(collision.field, collision.element, resource, mods, winner);
    }
    return QString();
}

bool isTicked(const QListWidgetItem *item)
{
    return item->data(Qt::CheckStateRole).toInt() != 0;
}

void setMark(QListWidget *list, QListWidgetItem *item, const QIcon &icon, const QString &toolTip)
{
    if (item->data(Qt::DecorationRole).isNull() == icon.isNull() && item->toolTip() == toolTip)
        return;
    item->setData(Qt::DecorationRole, QVariant());
    item->setData(Qt::SizeHintRole, QVariant());
    if (!icon.isNull()) {
        // The item view gives a row with an icon a little more height; a marked row keeps the
        // height of the others, so the list does not shift as marks come and go.
        const QSize plain = list->sizeHintForIndex(list->model()->index(list->row(item), 0));
        item->setData(Qt::DecorationRole, icon);
        item->setData(Qt::SizeHintRole,
                      QSize(plain.width() + icon.actualSize(plain).width() + 4, plain.height()));
    }
    item->setData(Qt::ToolTipRole, toolTip.isEmpty() ? QVariant() : QVariant(toolTip));
}

} // namespace

VxCollisionMarks::VxCollisionMarks(QListWidget *list, const QString &installDir)
    : QObject(list), m_list(list), m_installDir(installDir)
{
    QAbstractItemModel *model = list->model();
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QList<int> &roles) {
                // Our own icons and tool tips change data too; only ticks matter.
                if (roles.isEmpty() || roles.contains(Qt::CheckStateRole))
                    listChanged();
            });
    connect(model, &QAbstractItemModel::rowsInserted, this, &VxCollisionMarks::listChanged);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &VxCollisionMarks::listChanged);
    connect(model, &QAbstractItemModel::rowsMoved, this, &VxCollisionMarks::listChanged);
    connect(model, &QAbstractItemModel::layoutChanged, this, &VxCollisionMarks::listChanged);
    connect(model, &QAbstractItemModel::modelReset, this, &VxCollisionMarks::listChanged);
    list->installEventFilter(this);
}

VxCollisionMarks::~VxCollisionMarks()
{
    stopWorker();
}

void VxCollisionMarks::stopWorker()
{
    if (m_cancel)
        m_cancel->store(true);
    waitForPlan();
    m_running = false;
}

void VxCollisionMarks::waitForPlan()
{
    if (m_planDone) {
        m_planDone->acquire();
        m_planDone.reset();
    }
}

void VxCollisionMarks::listChanged()
{
    ++m_generation;
    // An unticked mod collides with nothing: its mark goes at once, before any plan.
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem *item = m_list->item(row);
        if (!isTicked(item))
            setMark(m_list, item, QIcon(), QString());
    }
    // The plan under way is for a list that no longer is.
    if (m_cancel)
        m_cancel->store(true);
    // One plan for a burst of changes (a move is a removal and an insertion).
    if (!m_startQueued) {
        m_startQueued = true;
        QTimer::singleShot(0, this, &VxCollisionMarks::startPlan);
    }
}

bool VxCollisionMarks::eventFilter(QObject *watched, QEvent *event)
{
    // A launch turns the list off while it lays the mods over the game: no plan reads the
    // game folder meanwhile (an open file could stand in the way of a rename on Windows).
    if (watched == m_list && event->type() == QEvent::EnabledChange) {
        if (m_list->isEnabled()) {
            listChanged();
        } else {
            ++m_generation;
            stopWorker();
        }
    }
    return QObject::eventFilter(watched, event);
}

void VxCollisionMarks::startPlan()
{
    m_startQueued = false;
    if (m_running || !m_list->isEnabled())
        return; // planReady, or turning the list back on, starts again
    QList<VxModRef> mods;
    for (int row = 0; row < m_list->count(); ++row) {
        const auto *mod = dynamic_cast<const VxModItem *>(m_list->item(row));
        if (mod && isTicked(mod))
            mods.append({mod->path, mod->text()});
    }
    if (mods.size() < 2) {
        applyMarks(VxLaunchPlan());
        emit marksUpdated();
        return;
    }

    m_running = true;
    m_cancel = std::make_shared<std::atomic_bool>(false);
    const quint64 generation = m_generation;
    const quint64 run = ++m_run;
    m_planDone = std::make_shared<QSemaphore>();
    PlanThread::instance().post([this, installDir = m_installDir, mods, cancel = m_cancel,
                                 generation, run, done = m_planDone] {
        const VxLaunchPlan plan = planLaunch(installDir, mods, cancel.get());
        // Delivered on the list's thread, or dropped if this object is gone by then (its
        // destructor waits for done, so it is still here now).
        QMetaObject::invokeMethod(
            this, [this, generation, run, plan] { planReady(run, generation, plan); },
            Qt::QueuedConnection);
        done->release();
    });
}

void VxCollisionMarks::planReady(quint64 run, quint64 generation, const VxLaunchPlan &plan)
{
    // A worker stopped and joined since then (the list was turned off) has nothing to say.
    if (!m_running || run != m_run)
        return;
    waitForPlan();
    m_running = false;
    if (generation != m_generation || plan.cancelled) {
        startPlan();
        return;
    }
    applyMarks(plan);
    emit marksUpdated();
}

void VxCollisionMarks::applyMarks(const VxLaunchPlan &plan)
{
    QHash<QString, QStringList> linesOf; // by mod folder
    QHash<QString, qsizetype> countOf;
    for (const VxCollision &collision : plan.collisions) {
        QString line;
        for (int mod : collision.mods) {
            const QString path = plan.mods.value(mod).path;
            if (++countOf[path] > shownCollisions)
                continue;
            if (line.isNull())
                line = collisionLine(plan, collision);
            linesOf[path].append(line);
        }
    }
    for (auto it = countOf.cbegin(); it != countOf.cend(); ++it) {
        if (it.value() > shownCollisions)
            linesOf[it.key()].append(
                launcherText(VxText::CollisionMore).arg(it.value() - shownCollisions));
    }
    // No taller than the row's check box, so a marked row keeps the height of the others.
    const int side = m_list->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, m_list) - 2;
    const QIcon icon(m_list->style()
                         ->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, m_list)
                         .pixmap(QSize(side, side), m_list->devicePixelRatioF()));
    for (int row = 0; row < m_list->count(); ++row) {
        auto *mod = dynamic_cast<VxModItem *>(m_list->item(row));
        if (!mod)
            continue;
        const QStringList lines = isTicked(mod) ? linesOf.value(mod->path) : QStringList();
        if (lines.isEmpty())
            setMark(m_list, mod, QIcon(), QString());
        else
            setMark(m_list, mod, icon,
                    launcherText(VxText::CollisionHeading) + QLatin1Char('\n') +
                        lines.join(QLatin1Char('\n')));
    }
}
