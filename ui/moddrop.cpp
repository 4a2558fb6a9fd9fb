#include "ui/moddrop.h"

#include "mods/modinstall.h"
#include "texts/launchertexts.h"
#include "ui/messagebox.h"
#include "ui/progressfeedback.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

VxModDrop::VxModDrop(QWidget *window, const QString &installDir, std::function<bool()> busy,
                     std::function<void()> installed)
    : QObject(window), m_window(window), m_installDir(installDir), m_busy(std::move(busy)),
      m_installed(std::move(installed))
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

QStringList VxModDrop::archivePaths(const QMimeData *data)
{
    // The kinds libarchive reads that mods are shipped in.
    static const QLatin1String suffixes[] = {
        QLatin1String(".zip"),     QLatin1String(".7z"),     QLatin1String(".rar"),
        QLatin1String(".tar"),     QLatin1String(".tar.gz"), QLatin1String(".tgz"),
        QLatin1String(".tar.bz2"), QLatin1String(".tar.xz"), QLatin1String(".tar.zst")};
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls()) {
        const QString path = url.toLocalFile();
        if (path.isEmpty() || !QFileInfo(path).isFile())
            continue;
        for (const QLatin1String &suffix : suffixes) {
            if (path.endsWith(suffix, Qt::CaseInsensitive)) {
                paths.append(path);
                break;
            }
        }
    }
    return paths;
}

bool VxModDrop::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || (event->type() != QEvent::DragEnter &&
                                event->type() != QEvent::DragMove && event->type() != QEvent::Drop))
        return QObject::eventFilter(watched, event);
    auto *drop = static_cast<QDropEvent *>(event);
    const QStringList archives =
        m_installing || m_busy() ? QStringList() : archivePaths(drop->mimeData());
    if (archives.isEmpty()) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    // The boxes and the progress window wait until the drag source has been told that the
    // drop went through.
    if (event->type() == QEvent::Drop)
        QTimer::singleShot(0, this, [this, archives] { install(archives); });
    return true;
}

bool VxModDrop::install(const QStringList &archives)
{
    if (m_installing || m_busy())
        return false;
    m_installing = true;
    bool changed = false;
    const QString title = launcherText(VxText::InstallTitle);
    for (const QString &archive : archives) {
        const QString name = QFileInfo(archive).fileName();
        // The question comes once the archive is unpacked, so a yes costs no second pass.
        const auto askReplace = [this, &title](const QString &mod) {
            return showBox(m_window, QMessageBox::Question, title,
                           launcherText(VxText::InstallReplaceQuestion).arg(mod),
                           QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
        };
        VxInstallResult result;
        {
            VxProgressFeedback feedback(m_window);
            result = installModArchive(m_installDir, archive, feedback, false, {}, askReplace);
        }
        if (result.ok()) {
            changed = true;
            if (result.wroteInfo)
                showBox(m_window, QMessageBox::Information, title,
                        launcherText(VxText::InstallWroteInfo)
                            .arg(name, result.modFolder, archiveBaseName(archive)),
                        QMessageBox::Ok);
        } else if (result.problem != VxInstallProblem::ModExists &&
                   result.problem != VxInstallProblem::Cancelled) {
            showBox(m_window, QMessageBox::Warning, title,
                    launcherText(VxText::InstallFailed).arg(name, installProblemText(result)),
                    QMessageBox::Ok);
        }
    }
    m_installing = false;
    if (changed && m_installed)
        m_installed();
    return changed;
}
