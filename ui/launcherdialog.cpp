#include "ui/launcherdialog.h"

#include "base/gamelock.h"
#include "launch/gameprocess.h"
#include "launch/launchsequence.h"
#include "mods/modinstall.h"
#include "mods/modsets.h"
#include "texts/launchertexts.h"
#include "texts/stringtable.h"
#include "ui/collisionmarks.h"
#include "ui/messagebox.h"
#include "ui/moddrop.h"
#include "ui/moditem.h"
#include "ui/modsetmenu.h"
#include "ui/progressfeedback.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QUrlQuery>

namespace {

// The publisher's support site and the identifier of this build, which the site uses to
// offer the right patch.
constexpr auto supportHost = "support.kestwyn.example";
constexpr auto buildCrc = "0x3A5F19C2";

// The older launcher's backups the question names; the rest are counted.
constexpr qsizetype shownBackups = 10;
constexpr auto declinedBackupsKey = "declinedOldBackups";

// One game folder's set of old backups, by name and size: a file added, removed, renamed or
// rewritten since gives another key.
QString backupSetKey(const QString &installDir, const QStringList &backups)
{
    QStringList entries;
    for (const QString &backup : backups)
        entries.append(QDir(installDir).relativeFilePath(backup) + u'\t' +
                       QString::number(QFileInfo(backup).size()));
    entries.sort();
    entries.prepend(QDir::cleanPath(installDir));
    return QString::fromLatin1(
        QCryptographicHash::hash(entries.join(u'\n').toUtf8(), QCryptographicHash::Sha1).toHex());
}

} // namespace

// Outside the namespace above: the registration function it names lives at global scope.
static void registerImages()
{
    // The images live in a static library, so nothing would pull them in by itself.
    static const bool registered = [] {
        Q_INIT_RESOURCE(images);
        // The form's font travels with the launcher, so every label measures the same on
        // every system, Wine included.
        QFontDatabase::addApplicationFont(QStringLiteral(":/LiberationSans-Regular.ttf"));
        return true;
    }();
    Q_UNUSED(registered);
}

VxLauncherDialog::VxLauncherDialog() : VxLauncherDialog(lookupGame(), &systemDisplayModes, nullptr)
{
}

VxLauncherDialog::VxLauncherDialog(const VxGameLocation &location,
                                   const QList<VxDisplayMode> &modes, QWidget *parent)
    : VxLauncherDialog(location, ModeSource([modes] { return modes; }), parent)
{
}

VxLauncherDialog::VxLauncherDialog(const VxGameLocation &location, const ModeSource &modeSource,
                                   QWidget *parent)
    : QDialog(parent), urlOpener([](const QUrl &url) { QDesktopServices::openUrl(url); }),
      installDir(location.installDir)
{
    registerImages();
    // Before the test below, so that even the "not found" message is in the player's
    // language.
    loadStringTable(languageIndexFor(location.language));

    if (!isGameFound()) {
        showCriticalBox(this, tableString(16), tableString(17), QMessageBox::Ok);
        return;
    }

    form.setupUi(this);
    connect(form.playButton, &QPushButton::clicked, this, &VxLauncherDialog::launchGame);
    connect(form.updateButton, &QPushButton::clicked, this, &VxLauncherDialog::checkUpdates);
    connect(form.upButton, &QToolButton::clicked, this, &VxLauncherDialog::moveUp);
    connect(form.downButton, &QToolButton::clicked, this, &VxLauncherDialog::moveDown);
    connect(form.cancelButton, &QPushButton::clicked, qApp, &QCoreApplication::quit);
    connect(form.resolutionCombo, &QComboBox::currentIndexChanged, this,
            &VxLauncherDialog::resolutionChanged);
    connect(form.modsList, &QListWidget::currentItemChanged, this,
            &VxLauncherDialog::updateModInfo);

    // A start that had to create the mods folder still reads the settings and the display
    // modes: there is no reason to show the player empty lists once.
    QDir(installDir).mkdir(QStringLiteral("VexilMods"));
    recoverAtStart();
    removeInstallLeftovers(installDir);
    loadLauncherSettings();
    fillDisplayModes(modeSource());
    restoreDisplayChoice();
    if (const QStringList leftOut = scanMods(); !leftOut.isEmpty())
        showBox(this, QMessageBox::Warning, windowTitle(),
                launcherText(VxText::ModsLeftOut).arg(leftOut.join(u'\n')), QMessageBox::Ok);
    new VxCollisionMarks(form.modsList, installDir);
    m_setMenu = new VxModSetMenu(form.modsList, installDir);
    new VxModDrop(
        this, installDir, [this] { return m_launching; }, [this] { relistMods(); });
    // The arrow buttons' moves, for a player who never leaves the list.
    auto *up = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up), form.modsList);
    up->setContext(Qt::WidgetShortcut);
    connect(up, &QShortcut::activated, this, &VxLauncherDialog::moveUp);
    auto *down = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down), form.modsList);
    down->setContext(Qt::WidgetShortcut);
    connect(down, &QShortcut::activated, this, &VxLauncherDialog::moveDown);
}

VxLauncherDialog::~VxLauncherDialog() = default;

void VxLauncherDialog::reportRestoreFailures(const QStringList &failures)
{
    showCriticalBox(this, tableString(16),
                    launcherText(VxText::RestoreIncomplete).arg(failures.join(u'\n')),
                    QMessageBox::Ok);
}

void VxLauncherDialog::reportKeptFiles(const VxRestoreReport &report)
{
    if (report.hasNews())
        showBox(
            this, QMessageBox::Warning, windowTitle(),
            launcherText(VxText::ChangedFilesTold).arg((report.kept + report.refused).join(u'\n')),
            QMessageBox::Ok);
}

void VxLauncherDialog::recoverAtStart()
{
    // A launcher that was killed, or a vxmod apply, left the game modded: put the game's
    // files back before anything else looks at them.
    const VxRecovery recovery = recoverGame(installDir);
    switch (recovery.outcome) {
    case VxRecovery::Outcome::Clean:
    case VxRecovery::Outcome::Busy: // that launch is alive and will undo its own work
        break;
    case VxRecovery::Outcome::Restored:
        showBox(this, QMessageBox::Information, windowTitle(),
                launcherText(VxText::RecoveredAtStart)
                    .arg(launcherText(VxText::FilesPutBack, recovery.report.restored),
                         launcherText(VxText::AddedFilesRemoved, recovery.report.removed)),
                QMessageBox::Ok);
        reportKeptFiles(recovery.report);
        break;
    case VxRecovery::Outcome::RestoreFailed:
        reportRestoreFailures(recovery.report.failures);
        return;
    case VxRecovery::Outcome::GameRunning:
        showBox(this, QMessageBox::Warning, windowTitle(),
                launcherText(VxText::GameStillRunning)
                    .arg(VxJournalFile::read(installDir).gameProcessId()),
                QMessageBox::Ok);
        return;
    case VxRecovery::Outcome::Damaged:
        showCriticalBox(
            this, tableString(16),
            launcherText(VxText::JournalDamaged).arg(QDir::toNativeSeparators(recovery.keptAs)),
            QMessageBox::Ok);
        break;
    case VxRecovery::Outcome::Failed:
        showCriticalBox(this, tableString(16),
                        launcherText(VxText::FolderUnusable).arg(recovery.message),
                        QMessageBox::Ok);
        return;
    }

    // No record, but files named as an older launcher named its backups: only the player can
    // tell whether they are the game's own, so nothing moves unless asked.
    if (VxJournalFile::read(installDir).state != VxJournal::State::Missing)
        return;
    const QStringList backups = findBackupsByName(installDir);
    if (backups.isEmpty())
        return;
    // A No holds for these very files; a set that has changed since is asked about anew.
    const QString backupSet = backupSetKey(installDir, backups);
    // The launcher's own settings, beside the game's lookup store: never in the game folder,
    // which holds only what the game and its launches put there.
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("KESTWYN"),
                    QStringLiteral("Vexil Launcher"));
    if (store.value(declinedBackupsKey).toString() == backupSet)
        return;
    QStringList shown;
    for (const QString &backup : backups.first(std::min<qsizetype>(backups.size(), shownBackups)))
        shown.append(QDir::toNativeSeparators(QDir(installDir).relativeFilePath(backup)));
    if (backups.size() > shownBackups)
        shown.append(launcherText(VxText::ListMore, backups.size() - shownBackups));
    const auto answer =
        showBox(this, QMessageBox::Question, windowTitle(),
                launcherText(VxText::BackupsByNameQuestion, backups.size()).arg(shown.join(u'\n')),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        store.setValue(declinedBackupsKey, backupSet);
        return;
    }
    VxGameLock lock(installDir);
    // Asked again under the lock: a launch may have begun while the player read the question.
    if (lock.tryLock() != VxGameLock::Result::Acquired ||
        VxJournalFile::read(installDir).state != VxJournal::State::Missing)
        return;
    const VxRestoreReport report = restoreBackupsByName(installDir);
    if (!report.ok())
        reportRestoreFailures(report.failures);
}

bool VxLauncherDialog::isGameFound() const
{
    return installDir != QLatin1String("NONE");
}

QUrl VxLauncherDialog::supportPageUrl()
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QLatin1String(supportHost));
    url.setPath(QStringLiteral("/support.html"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subsection"), QStringLiteral("patch"));
    query.addQueryItem(QStringLiteral("CRC"), QLatin1String(buildCrc));
    url.setQuery(query);
    return url;
}

void VxLauncherDialog::reject()
{
    // Escape during a launch would leave the game running with nobody to restore its files.
    if (m_launching)
        return;
    QDialog::reject();
}

void VxLauncherDialog::closeEvent(QCloseEvent *event)
{
    if (m_launching) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void VxLauncherDialog::loadLauncherSettings()
{
    settings = readLauncherSettings(installDir + QStringLiteral("/launcher.cfg"));
    form.nomoviesCheck->setChecked(settings.noMovies);
    form.nosoundCheck->setChecked(settings.noSounds);
    form.autoportsCheck->setChecked(settings.portForwarding);
    form.allowscreensCheck->setChecked(settings.allowScreenshots);
    form.manualcamCheck->setChecked(settings.manualCamera);
    form.telnetCheck->setChecked(settings.telnet);
}

void VxLauncherDialog::fillDisplayModes(const QList<VxDisplayMode> &modes)
{
    const VxDisplayModeLists lists = mergeDisplayModes(modes);
    resolutions = lists.resolutions;
    refreshLists = lists.refreshLists;
    // Both lists are complete before the first item goes in, because adding it selects it
    // and that refills the refresh combo from them.
    for (const QString &resolution : std::as_const(resolutions))
        form.resolutionCombo->addItem(resolution);
}

void VxLauncherDialog::restoreDisplayChoice()
{
    const VxDisplayChoice choice = chooseDisplayMode({resolutions, refreshLists}, settings.width,
                                                     settings.height, settings.refreshRate);
    if (choice.resolution < 0)
        return;
    form.resolutionCombo->setCurrentIndex(choice.resolution);
    // Selecting the item already current emits nothing, so refill in any case.
    resolutionChanged();
    form.refreshCombo->setCurrentIndex(choice.refresh);
}

void VxLauncherDialog::resolutionChanged()
{
    form.refreshCombo->clear();
    const int index = form.resolutionCombo->currentIndex();
    if (index >= 0 && index < refreshLists.size())
        form.refreshCombo->addItems(refreshLists.at(index));
}

void VxLauncherDialog::saveLauncherSettings()
{
    const QString resolution = form.resolutionCombo->currentText();
    settings.width = quint16(resolutionWidth(resolution));
    settings.height = quint16(resolutionHeight(resolution));
    settings.refreshRate = quint16(refreshValue(form.refreshCombo->currentText()));
    settings.noMovies = form.nomoviesCheck->isChecked();
    settings.noSounds = form.nosoundCheck->isChecked();
    settings.portForwarding = form.autoportsCheck->isChecked();
    settings.allowScreenshots = form.allowscreensCheck->isChecked();
    settings.manualCamera = form.manualcamCheck->isChecked();
    settings.telnet = form.telnetCheck->isChecked();
    // A settings file that cannot be written does not stop the game: it then starts with
    // the choices of the last time, and the player is told so before it does.
    const QString path = installDir + QStringLiteral("/launcher.cfg");
    QString error;
    if (!writeLauncherSettings(path, settings, &error)) {
        // Play comes next: nothing may start a second one while the box is up.
        setControlsEnabled(false);
        showCriticalBox(
            this, tableString(16),
            launcherText(VxText::SettingsSaveFailed)
                .arg(QDir::toNativeSeparators(path), launcherText(VxText::SystemReason).arg(error)),
            QMessageBox::Ok);
        setControlsEnabled(!m_launching);
    }
}

QStringList VxLauncherDialog::scanMods()
{
    QStringList leftOut;
    const QList<VxModInfo> mods = scanModFolder(installDir, &leftOut);
    for (const VxModInfo &mod : mods)
        new VxModItem(mod, form.modsList);
    return leftOut;
}

void VxLauncherDialog::relistMods()
{
    // A new mod takes its place in folder-name order; the mods already ticked stay ticked.
    QStringList ticked;
    for (int row = 0; row < form.modsList->count(); ++row) {
        const auto *mod = dynamic_cast<const VxModItem *>(form.modsList->item(row));
        if (mod && mod->checkState() != Qt::Unchecked)
            ticked.append(mod->path);
    }
    form.modsList->clear();
    form.modsDesc->clear();
    scanMods();
    for (int row = 0; row < form.modsList->count(); ++row) {
        auto *mod = dynamic_cast<VxModItem *>(form.modsList->item(row));
        if (mod && ticked.contains(mod->path))
            mod->setCheckState(Qt::Checked);
    }
}

void VxLauncherDialog::updateModInfo(QListWidgetItem *current, QListWidgetItem *previous)
{
    Q_UNUSED(previous);
    const auto *mod = dynamic_cast<const VxModItem *>(current);
    if (!mod)
        return;
    form.modsDesc->setText(tableString(14) + mod->author + QLatin1Char('\n') + tableString(15) +
                           mod->desc);
}

void VxLauncherDialog::moveUp()
{
    const int row = form.modsList->currentRow();
    if (row < 1)
        return;
    QListWidgetItem *item = form.modsList->takeItem(row);
    if (!item)
        return;
    form.modsList->insertItem(row - 1, item);
    form.modsList->setCurrentItem(item);
}

void VxLauncherDialog::moveDown()
{
    const int row = form.modsList->currentRow();
    if (row >= form.modsList->count() - 1)
        return;
    QListWidgetItem *item = form.modsList->takeItem(row);
    if (!item)
        return;
    form.modsList->insertItem(row + 1, item);
    form.modsList->setCurrentItem(item);
}

void VxLauncherDialog::checkUpdates()
{
    if (urlOpener)
        urlOpener(supportPageUrl());
}

void VxLauncherDialog::setControlsEnabled(bool enabled)
{
    const QList<QWidget *> controls = {
        form.resolutionGroup, form.refreshGroup,   form.playButton,        form.nomoviesCheck,
        form.nosoundCheck,    form.autoportsCheck, form.allowscreensCheck, form.manualcamCheck,
        form.telnetCheck,     form.modsGroup,      form.updateButton,      form.cancelButton,
    };
    for (QWidget *control : controls)
        control->setEnabled(enabled);
}

void VxLauncherDialog::launchGame()
{
    if (m_launching || !isGameFound())
        return;

    // The ticked mods are taken once, top row first; the list cannot change under the
    // launch, since its controls are off until the launch is over.
    QList<VxModRef> mods;
    for (int row = 0; row < form.modsList->count(); ++row) {
        const auto *mod = dynamic_cast<const VxModItem *>(form.modsList->item(row));
        if (mod && mod->data(Qt::CheckStateRole).toInt() != 0)
            mods.append({mod->path, mod->text()});
    }
    m_launchedMods.clear();
    for (const VxModRef &mod : std::as_const(mods))
        m_launchedMods.append(modFolderName(mod.path));

    // Events are processed all through the launch, so a second Play, Cancel or a reordered
    // list would otherwise act in the middle of it.
    m_launching = true;
    setControlsEnabled(false);
    m_launch = std::make_unique<VxLaunch>(installDir);
    const VxRecovery recovery = m_launch->start(!mods.isEmpty());
    VxLaunchResult result = VxLaunchResult::Failed;
    switch (recovery.outcome) {
    case VxRecovery::Outcome::Clean:
    case VxRecovery::Outcome::Restored:
    case VxRecovery::Outcome::Damaged: {
        reportKeptFiles(recovery.report);
        // Only now that the game folder is ours: a refused launch must not replace the
        // settings of the launch whose game is running.
        saveLauncherSettings();
        // The launch opens and closes the progress window itself; it goes with this scope.
        VxProgressFeedback feedback(this);
        result = m_launch->apply(mods, feedback);
        break;
    }
    case VxRecovery::Outcome::Busy:
        showCriticalBox(this, tableString(16),
                        launcherText(VxText::GameFolderBusy).arg(VxGameLock(installDir).holder()),
                        QMessageBox::Ok);
        break;
    case VxRecovery::Outcome::GameRunning:
        showCriticalBox(this, tableString(16),
                        launcherText(VxText::GameStillRunning)
                            .arg(VxJournalFile::read(installDir).gameProcessId()),
                        QMessageBox::Ok);
        break;
    case VxRecovery::Outcome::RestoreFailed:
        reportRestoreFailures(recovery.report.failures);
        break;
    case VxRecovery::Outcome::Failed:
        showCriticalBox(this, tableString(16),
                        launcherText(VxText::FolderUnusable).arg(recovery.message),
                        QMessageBox::Ok);
        break;
    }
    m_launching = false;

    if (result == VxLaunchResult::Applied) {
        startGame();
        return;
    }
    // Nobody will play this half-done launch: the game's own files go back at once, and the
    // person, told why by the launch, can change the choices and try again.
    const VxRestoreReport report = m_launch->restore();
    m_launch.reset();
    if (!report.ok())
        reportRestoreFailures(report.failures);
    setControlsEnabled(true);
}

void VxLauncherDialog::startGame()
{
    QApplication::setQuitOnLastWindowClosed(false);
    close();
    gameProcess = createGameProcess(installDir);
    // Owned by the window, which outlives it: the process has ended by the time the
    // window goes.
    gameProcess->setParent(this);
    // Nobody reads the game's output; left in the process's buffers it would only pile up
    // for as long as the game runs.
    gameProcess->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(gameProcess, &QProcess::finished, this, &VxLauncherDialog::gameEnded);
    m_gameTree = std::make_unique<VxGameTree>(gameProcess);
    connect(gameProcess, &QProcess::started, this, [this] {
        m_gameTree->attach();
        // Without the record, a later start could not tell that the game still runs.
        m_setMenu->recordLastGame(m_launchedMods);
        m_launch->recordGame(gameProcess->processId());
    });
    // A game that never starts never finishes either; without this the launcher would wait
    // forever with no window and the mods' files left in the game folder.
    connect(gameProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        showCriticalBox(this, tableString(16),
                        launcherText(VxText::GameStartFailed)
                            .arg(QDir::toNativeSeparators(gameExecutablePath(installDir))),
                        QMessageBox::Ok);
        gameEnded();
    });
    gameProcess->start(QIODevice::ReadWrite);
}

void VxLauncherDialog::gameEnded()
{
    // A start failure and a finish could both arrive; the restore runs once.
    if (m_gameEnded)
        return;
    m_gameEnded = true;
    // The game has ended only when every process it started has: an updater or a relauncher
    // may still be using its files.
    if (m_gameTree && m_gameTree->othersRunning()) {
        m_treeWatch = new QTimer(this);
        connect(m_treeWatch, &QTimer::timeout, this, [this] {
            if (!m_gameTree->othersRunning()) {
                m_treeWatch->stop();
                finishGame();
            }
        });
        m_treeWatch->start(200);
        return;
    }
    finishGame();
}

void VxLauncherDialog::finishGame()
{
    const VxRestoreReport report = m_launch ? m_launch->restore() : restoreGame(installDir);
    m_launch.reset();
    if (!report.ok())
        reportRestoreFailures(report.failures);
    reportKeptFiles(report);
    m_setMenu->reportLastGameFailure();
    QCoreApplication::exit(0);
}
