#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QMimeData;
class QWidget;

// Mod archives dropped on the launcher window are installed into its game's VexilMods: a
// progress window for a large one, a box for each one refused, and the mod list read again.
// Drops are refused while the window is busy (a launch runs).
class VxModDrop : public QObject
{
public:
    VxModDrop(QWidget *window, const QString &installDir, std::function<bool()> busy,
              std::function<void()> installed);

    // The local archive files among dropped data, in their order; other files are left out.
    static QStringList archivePaths(const QMimeData *data);
    // Installs each archive in turn; true when at least one mod was installed or replaced.
    bool install(const QStringList &archives);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    QString m_installDir;
    std::function<bool()> m_busy;
    std::function<void()> m_installed;
    bool m_installing = false;
};
