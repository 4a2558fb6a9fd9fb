// How long laying a big mod over the game and restoring it takes, next to `cp -r` of the same
// files on the same disk in the same run. Builds a data folder of 2,000 files (500 MB) and a
// mod holding a file of the same name for each, times the overlay plus the restore, and
// prints the figures with the target. Always exits 0: the figures are for people, not for CI.
//
//   bench_overlay [--files N] [--kib-per-file N] [--rounds N] [--dir DIR]

#include "base/feedback.h"
#include "launch/launchsequence.h"
#include "launch/overlay.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr double target = 1.5;

struct Options
{
    int files = 2000;
    int kibPerFile = 256;
    int rounds = 3;
    QString dir;
};

bool parseOptions(const QStringList &args, Options &options)
{
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (i + 1 >= args.size())
            return false;
        const QString value = args.at(++i);
        bool ok = true;
        if (arg == u"--files"_s)
            options.files = value.toInt(&ok);
        else if (arg == u"--kib-per-file"_s)
            options.kibPerFile = value.toInt(&ok);
        else if (arg == u"--rounds"_s)
            options.rounds = value.toInt(&ok);
        else if (arg == u"--dir"_s)
            options.dir = value;
        else
            return false;
        if (!ok)
            return false;
    }
    return options.files > 0 && options.kibPerFile > 0 && options.rounds > 0;
}

bool writeFiles(const QString &folder, int count, int kib, char tag)
{
    if (!QDir().mkpath(folder))
        return false;
    QByteArray block(kib * 1024, Qt::Uninitialized);
    QRandomGenerator random{quint32(tag)};
    random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
    for (int i = 0; i < count; ++i) {
        QFile file(folder + u"/unit%1.dds"_s.arg(i, 5, 10, QLatin1Char('0')));
        const QByteArray head = QByteArray::number(i) + tag;
        block.replace(0, head.size(), head);
        if (!file.open(QIODevice::WriteOnly) || file.write(block) != block.size())
            return false;
    }
    return true;
}

// Seconds the caller waits, as a person waits for Play or for the end of a game: writes left in
// the page cache and the freeing of deleted files are the kernel's business afterwards (with
// online discard, freeing 500 MB alone takes seconds). The disk is flushed, untimed, before
// each step so that no step pays for the previous one's background work.
template <typename Work> double timed(Work work)
{
#ifndef Q_OS_WIN
    // Windows has no unprivileged flush of every volume; its figures include the write-back.
    ::sync();
#endif
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    Options options;
    if (!parseOptions(QCoreApplication::arguments(), options)) {
        out << "usage: bench_overlay [--files N] [--kib-per-file N] [--rounds N] [--dir DIR]\n";
        return 0;
    }

    QTemporaryDir temp(options.dir.isEmpty() ? QDir::tempPath() + u"/bench_overlay-XXXXXX"_s
                                             : options.dir + u"/bench_overlay-XXXXXX"_s);
    if (!temp.isValid()) {
        out << "bench_overlay: cannot create a work folder: " << temp.errorString() << '\n';
        return 0;
    }
    const QString install = temp.path() + u"/game"_s;
    const QString modFolder = temp.path() + u"/mod/Units"_s;
    const QString copyTarget = temp.path() + u"/copy"_s;
    const double megabytes = double(options.files) * options.kibPerFile / 1024.0;
    out << "overlay of " << options.files << " files (" << megabytes << " MB) over as many game "
        << "files, then restore; in " << QDir::toNativeSeparators(temp.path()) << Qt::endl;
    if (!writeFiles(install + u"/data/Units"_s, options.files, options.kibPerFile, 'g') ||
        !writeFiles(modFolder, options.files, options.kibPerFile, 'm')) {
        out << "bench_overlay: cannot write the test files (disk full?)\n";
        return 0;
    }

    std::vector<double> copies, removals, overlays, restores, cycles;
    VxSilentFeedback feedback;
    bool copyFailed = false;
    for (int round = 0; round < options.rounds; ++round) {
        copies.push_back(timed([&] {
            copyFailed |= QProcess::execute(u"cp"_s, {u"-r"_s, modFolder, copyTarget}) != 0;
        }));
        // A restore must delete the mod's copies; how dear deleting is on this disk tells
        // whether a miss is the overlay's fault.
        removals.push_back(timed([&] { QDir(copyTarget).removeRecursively(); }));

        const double overlay = timed(
            [&] { applyMods(install, {{temp.path() + u"/mod/"_s, u"bench"_s}}, feedback); });
        const double restore = timed([&] { restoreGame(install); });
        overlays.push_back(overlay);
        restores.push_back(restore);
        cycles.push_back(overlay + restore);
    }

    const bool restored =
        !QFile::exists(install + u"/data/Units/unit00000.dds.backup"_s) &&
        QDir(install + u"/data/Units"_s).entryList(QDir::Files).size() == options.files;
    const double ratio = median(cycles) / median(copies);
    out << Qt::fixed << qSetRealNumberPrecision(3);
    out << "  cp -r                 " << median(copies) << " s (median of " << options.rounds
        << ")\n";
    out << "  overlay               " << median(overlays) << " s\n";
    out << "  restore               " << median(restores) << " s\n";
    out << "  overlay + restore     " << median(cycles) << " s\n";
    out << "  rm -r of that copy    " << median(removals) << " s\n";
    out << "  ratio to cp -r        " << ratio << " (target <= " << target << ")\n";
    out << "  ratio to cp -r + rm -r " << median(cycles) / (median(copies) + median(removals))
        << " (for reference: the restore deletes as many bytes as the overlay wrote)\n";
    if (copyFailed)
        out << "  note: cp -r failed, the ratio means nothing\n";
    if (!restored)
        out << "  note: the restore did not bring the data folder back\n";
    out << (ratio <= target && restored && !copyFailed ? "PASS" : "FAIL")
        << " overlay + restore within " << target << "x of cp -r" << Qt::endl;
    return 0;
}
