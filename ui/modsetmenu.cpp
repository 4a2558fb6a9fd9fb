#include "ui/modsetmenu.h"

#include "texts/launchertexts.h"
#include "texts/stringtable.h"
#include "ui/messagebox.h"
#include "ui/moditem.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>

#include <algorithm>

namespace {

// Entries a menu shows at most; more sets are grouped into submenus by name, filled only when
// opened, so that a menu of 10,000 sets opens as fast as one of ten.
constexpr qsizetype entriesPerMenu = 30;

// An action's text: '&' would otherwise mark a shortcut letter.
QString actionText(const QString &text)
{
    return QString(text).replace(u'&', QLatin1String("&&"));
}

QString listed(const QStringList &lines)
{
    constexpr qsizetype shown = 10;
    QStringList kept = lines.first(std::min(shown, lines.size()));
    if (lines.size() > shown)
        kept.append(launcherText(VxText::CollisionMore).arg(lines.size() - shown));
    return kept.join(u'\n');
}

} // namespace

VxModSetMenu::VxModSetMenu(QListWidget *list, const QString &installDir)
    : QObject(list), m_list(list), m_installDir(installDir)
{
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
}

bool VxModSetMenu::eventFilter(QObject *watched, QEvent *event)
{
    Q_UNUSED(watched);
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool menuKey = key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier;
        const bool shiftF10 = key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
        if (!menuKey && !shiftF10)
            return false;
        // Below the current mod, where the eye already is.
        QPoint at(0, 0);
        if (QListWidgetItem *item = m_list->currentItem())
            at = m_list->visualItemRect(item).bottomLeft();
        popup(m_list->viewport()->mapToGlobal(at));
        return true;
    }
    if (event->type() == QEvent::ContextMenu) {
        // The keyboard's own request is answered by the key press above on every system; some
        // send both, and one menu is enough.
        const auto *request = static_cast<QContextMenuEvent *>(event);
        if (request->reason() == QContextMenuEvent::Mouse)
            popup(request->globalPos());
        return true;
    }
    return false;
}

void VxModSetMenu::readSets()
{
    // A save renames a new file into place, so its time or its size changes with it.
    const QFileInfo info(modSetsPath(m_installDir));
    const QString stamp = info.exists() || info.isSymLink()
                              ? QStringLiteral("%1 %2 %3 %4")
                                    .arg(info.lastModified().toMSecsSinceEpoch())
                                    .arg(info.size())
                                    .arg(info.isFile())
                                    .arg(info.isSymLink())
                              : QString();
    if (stamp.isEmpty() || stamp != m_readStamp) {
        m_sets = readModSets(m_installDir);
        m_readStamp = stamp;
    }
    const VxModSets &sets = m_sets;
    QStringList problems;
    for (const VxModSetProblem &problem : std::as_const(sets.problems))
        problems.append(modSetProblemLine(modSetsPath(m_installDir), problem));
    // Told once; a player who has not fixed the file yet need not read it at every click.
    if (!problems.isEmpty() && problems != m_reportedProblems)
        showBox(m_list->window(), QMessageBox::Warning, m_list->window()->windowTitle(),
                launcherText(VxText::SetsDamaged)
                    .arg(QDir::toNativeSeparators(modSetsPath(m_installDir)), listed(problems)),
                QMessageBox::Ok);
    m_reportedProblems = problems;
}

QStringList VxModSetMenu::tickedMods() const
{
    QStringList mods;
    for (int row = 0; row < m_list->count(); ++row) {
        const auto *mod = dynamic_cast<const VxModItem *>(m_list->item(row));
        if (mod && mod->checkState() != Qt::Unchecked)
            mods.append(modFolderName(mod->path));
    }
    return mods;
}

QMenu *VxModSetMenu::popup(const QPoint &globalPos)
{
    readSets();
    const QStringList ticked = tickedMods();

    auto *menu = new QMenu(m_list);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // Queued, so that the menu is gone before a box or the name prompt comes up.
    const auto add = [this](QMenu *to, const QString &text, bool enabled, auto slot) {
        QAction *action = to->addAction(actionText(text));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, slot, Qt::QueuedConnection);
        return action;
    };
    add(menu, launcherText(VxText::SetsTickLastGame), m_sets.find(lastGameSetName) != nullptr,
        [this] { tickNamed(lastGameSetName); });

    auto names = std::make_shared<QStringList>();
    for (const VxModSet &set : std::as_const(m_sets.sets))
        if (set.name != lastGameSetName)
            names->append(set.name);
    std::sort(names->begin(), names->end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    QMenu *tickMenu = menu->addMenu(actionText(launcherText(VxText::SetsTickSet)));
    tickMenu->setEnabled(!names->isEmpty());
    fillNames(tickMenu, names, 0, names->size(), &VxModSetMenu::tickNamed);

    add(menu, launcherText(VxText::SetsSave), !ticked.isEmpty(), [this] { saveTicked(); });
    QMenu *deleteMenu = menu->addMenu(actionText(launcherText(VxText::SetsDelete)));
    deleteMenu->setEnabled(!names->isEmpty());
    fillNames(deleteMenu, names, 0, names->size(), &VxModSetMenu::deleteSet);

    menu->addSeparator();
    add(menu, launcherText(VxText::SetsCopy), !ticked.isEmpty(),
        [this] { QGuiApplication::clipboard()->setText(modListText(tickedMods())); });
    add(menu, launcherText(VxText::SetsPaste), !QGuiApplication::clipboard()->text().isEmpty(),
        [this] { pasteSet(); });

    menu->popup(globalPos);
    return menu;
}

void VxModSetMenu::fillNames(QMenu *menu, const std::shared_ptr<const QStringList> &names,
                             qsizetype from, qsizetype to,
                             void (VxModSetMenu::*chosen)(const QString &))
{
    const qsizetype count = to - from;
    if (count <= entriesPerMenu) {
        for (qsizetype i = from; i < to; ++i) {
            const QString name = names->at(i);
            QAction *action = menu->addAction(actionText(name));
            connect(
                action, &QAction::triggered, this, [this, chosen, name] { (this->*chosen)(name); },
                Qt::QueuedConnection);
        }
        return;
    }
    // Groups as even as a power of the menu size allows: one level for 900 sets, two for
    // 27,000, each labelled with its first and last name.
    qsizetype group = entriesPerMenu;
    while ((count + group - 1) / group > entriesPerMenu)
        group *= entriesPerMenu;
    for (qsizetype start = from; start < to; start += group) {
        const qsizetype end = std::min(start + group, to);
        QMenu *sub = menu->addMenu(
            actionText(names->at(start) + QStringLiteral(" \u2026 ") + names->at(end - 1)));
        connect(sub, &QMenu::aboutToShow, this, [this, sub, names, start, end, chosen] {
            if (sub->isEmpty())
                fillNames(sub, names, start, end, chosen);
        });
    }
}

void VxModSetMenu::tickNamed(const QString &name)
{
    if (const VxModSet *set = m_sets.find(name))
        tickSet(*set);
}

void VxModSetMenu::tickSet(const VxModSet &set, QStringList missing)
{
    QHash<QString, VxModItem *> byFolder;
    QList<QListWidgetItem *> order;
    for (int row = 0; row < m_list->count(); ++row) {
        order.append(m_list->item(row));
        if (auto *mod = dynamic_cast<VxModItem *>(m_list->item(row)))
            byFolder.insert(modFolderName(mod->path), mod);
    }
    QList<QListWidgetItem *> top;
    for (const QString &folder : set.mods) {
        if (VxModItem *mod = byFolder.value(folder))
            top.append(mod);
        else
            missing.append(folder);
    }
    for (QListWidgetItem *item : std::as_const(order))
        item->setCheckState(top.contains(item) ? Qt::Checked : Qt::Unchecked);
    // The set's mods first, in its order; the others keep theirs below.
    QListWidgetItem *current = m_list->currentItem();
    for (qsizetype i = 0; i < top.size(); ++i) {
        const int row = m_list->row(top.at(i));
        if (row == int(i))
            continue;
        m_list->insertItem(int(i), m_list->takeItem(row));
    }
    if (current)
        m_list->setCurrentItem(current);
    if (!missing.isEmpty())
        showBox(m_list->window(), QMessageBox::Warning, m_list->window()->windowTitle(),
                launcherText(VxText::SetsMissing).arg(listed(missing)), QMessageBox::Ok);
}

void VxModSetMenu::saveTicked()
{
    const QStringList mods = tickedMods();
    QWidget *window = m_list->window();
    QString name;
    for (;;) {
        if (!askText(window, window->windowTitle(), launcherText(VxText::SetsSavePrompt), name))
            return;
        if (const VxModSetIssue issue = modSetNameIssue(name); issue != VxModSetIssue::None) {
            showBox(window, QMessageBox::Warning, window->windowTitle(),
                    launcherText(VxText::SetsNameRefused).arg(modSetIssueText(issue)),
                    QMessageBox::Ok);
            continue;
        }
        // Asked on the file as it is now: vxmod may have saved a set since the menu opened.
        if (readModSets(m_installDir).find(name.trimmed()) &&
            showBox(window, QMessageBox::Question, window->windowTitle(),
                    launcherText(VxText::SetsReplaceQuestion).arg(name.trimmed()),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
            continue;
        break;
    }
    QString why;
    if (!saveModSet(m_installDir, {name, mods}, &why))
        showCriticalBox(window, tableString(16),
                        launcherText(VxText::SetsSaveFailed)
                            .arg(QDir::toNativeSeparators(modSetsPath(m_installDir)), why),
                        QMessageBox::Ok);
}

void VxModSetMenu::deleteSet(const QString &name)
{
    QString why;
    if (!deleteModSet(m_installDir, name, &why))
        showCriticalBox(m_list->window(), tableString(16),
                        launcherText(VxText::SetsSaveFailed)
                            .arg(QDir::toNativeSeparators(modSetsPath(m_installDir)), why),
                        QMessageBox::Ok);
}

void VxModSetMenu::pasteSet()
{
    const VxModSets pasted = parseModSets(QGuiApplication::clipboard()->text(), true);
    // A line of chat around the list names no mod folder; it shows among the missing.
    QStringList unusable;
    for (const VxModSetProblem &problem : pasted.problems)
        if (problem.issue == VxModSetIssue::BadModName)
            unusable.append(problem.detail);
    if (pasted.sets.isEmpty() || pasted.sets.constFirst().mods.isEmpty()) {
        showBox(m_list->window(), QMessageBox::Warning, m_list->window()->windowTitle(),
                launcherText(VxText::SetsPasteEmpty), QMessageBox::Ok);
        return;
    }
    tickSet(pasted.sets.constFirst(), unusable);
}

void VxModSetMenu::recordLastGame(const QStringList &modFolders)
{
    QString why;
    if (!::recordLastGame(m_installDir, modFolders, &why))
        m_lastGameError = launcherText(VxText::SetsLastGameFailed)
                              .arg(QDir::toNativeSeparators(modSetsPath(m_installDir)), why);
}

void VxModSetMenu::reportLastGameFailure()
{
    if (m_lastGameError.isEmpty())
        return;
    showCriticalBox(m_list->window(), tableString(16), m_lastGameError, QMessageBox::Ok);
    m_lastGameError.clear();
}
