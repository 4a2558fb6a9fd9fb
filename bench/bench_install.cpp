// How long installing a big mod archive takes, next to `bsdtar -x` of the same archive on the
// same disk in the same run. Builds a zip of about 500 MB (files of noise and of text, as art
// and tweaks are), then times both in alternating rounds and prints the best of each with the
// target. Before that, three small archives built to cost the installer as much as they can:
// 60,000 entries, one entry 40,000 folders deep, 50,000 entries 60 deep; each must be refused
// or installed within a second and 100 MB. Always exits 0: the figures are for people, not
// for CI.
//
//   bench_install [--mb N] [--rounds N] [--dir DIR]
//   bench_install --hostile entries|deep|wide [--dir DIR]    (one of the three alone, to be
//                                                            measured with /usr/bin/time -v)

#include "base/feedback.h"
#include "mods/modinstall.h"
#include "peakmemory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <archive.h>
#include <archive_entry.h>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr double target = 1.3;
constexpr qint64 fileBytes = qint64(4) << 20;

// One file's content: noise (packed art and sound, which deflate cannot shrink) followed by
// tweak-like text, which it can.
QByteArray fileContent(QRandomGenerator &generator)
{
    QByteArray data(fileBytes, Qt::Uninitialized);
    const qsizetype noise = fileBytes * 3 / 4;
    generator.fillRange(reinterpret_cast<quint32 *>(data.data()), noise / 4);
    const QByteArray line = "Health=450\n+Tag=elite\nColor=@color 200 30 30\n";
    for (qsizetype at = noise; at < fileBytes; at += line.size())
        data.replace(at, qMin(line.size(), fileBytes - at), line.left(fileBytes - at));
    return data;
}

// A zip of about mb megabytes, wrapped in the folder BigMod with an info.txt.
bool buildArchive(const QString &path, int mb)
{
    archive *a = archive_write_new();
    bool ok = archive_write_set_format_zip(a) == ARCHIVE_OK &&
              archive_write_set_options(a, "zip:compression-level=1") == ARCHIVE_OK &&
              archive_write_open_filename(a, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    QRandomGenerator generator(5);
    const auto add = [&](const QString &name, const QByteArray &data) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, name.toUtf8().constData());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, data.size());
        ok = ok && archive_write_header(a, entry) == ARCHIVE_OK &&
             archive_write_data(a, data.constData(), size_t(data.size())) == data.size();
        archive_entry_free(entry);
    };
    add(u"BigMod/info.txt"_s, "name=Big Mod\n");
    for (int i = 0; ok && QFileInfo(path).size() < qint64(mb) << 20; ++i)
        add(u"BigMod/Art/Pack%1/file%2.bin"_s.arg(i / 50).arg(i), fileContent(generator));
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

// A .tar.xz of a few hundred bytes to a few hundred kilobytes that names a great deal.
bool buildHostile(const QString &path, const QString &kind)
{
    archive *a = archive_write_new();
    bool ok = archive_write_set_format_pax_restricted(a) == ARCHIVE_OK &&
              archive_write_add_filter_xz(a) == ARCHIVE_OK &&
              archive_write_open_filename(a, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    const auto add = [&](const QString &name) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, name.toUtf8().constData());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, 1);
        ok = ok && archive_write_header(a, entry) == ARCHIVE_OK &&
             archive_write_data(a, "x", 1) == 1;
        archive_entry_free(entry);
    };
    if (kind == u"entries"_s) {
        for (int i = 0; ok && i < 60000; ++i)
            add(u"M/f%1.txt"_s.arg(i));
    } else if (kind == u"deep"_s) {
        add(u"M/"_s + u"a/"_s.repeated(40000) + u"f.txt"_s);
    } else {
        // The mod's folder, 58 folders below it and the file: 60 names each.
        const QString folder = u"M/"_s + u"a/"_s.repeated(58);
        for (int i = 0; ok && i < 50000; ++i)
            add(folder + u"f%1.txt"_s.arg(i));
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

// Kept in DIR (the temporary folder by default), so that a later run reuses it.
QString hostileArchive(QTextStream &out, const QString &base, const QString &kind)
{
    const QString archive = base + u"/bench_install-hostile-%1.tar.xz"_s.arg(kind);
    if (!QFileInfo::exists(archive) && !buildHostile(archive, kind)) {
        out << "bench_install: cannot build the " << kind << " archive" << Qt::endl;
        return {};
    }
    return archive;
}

// Installs one hostile archive and prints how it went; true if within the targets. The peak
// is this process's: building the archive here first would count in it.
bool runHostile(QTextStream &out, const QString &base, const QString &kind)
{
    const QString archive = hostileArchive(out, base, kind);
    if (archive.isEmpty())
        return false;
    QTemporaryDir dir(base + u"/bench_install-XXXXXX"_s);
    const QString game = dir.filePath(u"game"_s);
    QDir().mkpath(game);
    VxSilentFeedback feedback;
    QElapsedTimer timer;
    timer.start();
    const VxInstallResult result = installModArchive(game, archive, feedback);
    const qint64 elapsed = timer.elapsed();
    const long long peak = peakResidentKilobytes() / 1024;
    const bool met = elapsed < 1000 && peak < 100;
    out << "bench_install: " << kind << " (" << QFileInfo(archive).size() << " bytes): "
        << (result.ok() ? u"installed"_s : u"refused: "_s + installProblemText(result)) << " in "
        << elapsed << " ms, peak " << peak << " MB (target under 1000 ms and 100 MB) "
        << (met ? "MET" : "MISSED") << Qt::endl;
    return met;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    int mb = 500;
    int rounds = 3;
    QString base = QDir::tempPath();
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == u"--hostile"_s)
            continue;
        if (args.at(i) == u"--mb"_s)
            mb = args.at(i + 1).toInt();
        else if (args.at(i) == u"--rounds"_s)
            rounds = args.at(i + 1).toInt();
        else if (args.at(i) == u"--dir"_s)
            base = args.at(i + 1);
    }
    const qsizetype hostile = args.indexOf(u"--hostile"_s);
    if (hostile > 0 && hostile + 1 < args.size()) {
        runHostile(out, base, args.at(hostile + 1));
        return 0;
    }
    // Each install in a process of its own, started once its archive is built, so that its
    // peak is the install's alone.
    for (const QString &kind : {u"entries"_s, u"deep"_s, u"wide"_s}) {
        if (hostileArchive(out, base, kind).isEmpty())
            continue;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {u"--hostile"_s, kind, u"--dir"_s, base});
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            out << "bench_install: the " << kind << " install did not finish" << Qt::endl;
    }

    QTemporaryDir dir(base + u"/bench_install-XXXXXX"_s);
    const QString archive = dir.filePath(u"BigMod.zip"_s);
    QElapsedTimer timer;
    timer.start();
    if (!dir.isValid() || !buildArchive(archive, mb)) {
        out << "bench_install: cannot build the archive in " << dir.path() << Qt::endl;
        return 0;
    }
    const qint64 archiveSize = QFileInfo(archive).size();
    out << "bench_install: built a " << (archiveSize >> 20) << " MiB zip in " << timer.elapsed()
        << " ms" << Qt::endl;

    // Each run starts with nothing of the last one waiting to be written back, and the two
    // take turns at going first, so neither pays for the other's dirty pages.
    const auto runInstall = [&]() -> qint64 {
        const QString game = dir.filePath(u"game"_s);
        QDir(game).removeRecursively();
        QDir().mkpath(game);
#ifndef Q_OS_WIN
        ::sync();
#endif
        VxSilentFeedback feedback;
        timer.restart();
        const VxInstallResult result = installModArchive(game, archive, feedback);
        const qint64 elapsed = timer.elapsed();
        if (!result.ok())
            out << "bench_install: the install failed: " << installProblemText(result) << Qt::endl;
        QDir(game).removeRecursively();
        return result.ok() ? elapsed : -1;
    };
    const auto runTar = [&]() -> qint64 {
        const QString target = dir.filePath(u"bsdtar"_s);
        QDir(target).removeRecursively();
        QDir().mkpath(target);
#ifndef Q_OS_WIN
        ::sync();
#endif
        QProcess bsdtar;
        timer.restart();
        bsdtar.start(u"bsdtar"_s, {u"-x"_s, u"-f"_s, archive, u"-C"_s, target});
        const bool ok = bsdtar.waitForFinished(-1) && bsdtar.exitCode() == 0;
        const qint64 elapsed = timer.elapsed();
        if (!ok)
            out << "bench_install: bsdtar failed (is libarchive-tools installed?)" << Qt::endl;
        QDir(target).removeRecursively();
        return ok ? elapsed : -1;
    };
    qint64 bestOurs = -1;
    qint64 bestTar = -1;
    for (int round = 0; round < rounds; ++round) {
        const bool oursFirst = round % 2 == 0;
        const qint64 first = oursFirst ? runInstall() : runTar();
        const qint64 second = oursFirst ? runTar() : runInstall();
        const qint64 ours = oursFirst ? first : second;
        const qint64 tar = oursFirst ? second : first;
        if (ours < 0 || tar < 0)
            return 0;
        out << "  round " << round + 1 << ": install " << ours << " ms, bsdtar -x " << tar << " ms"
            << Qt::endl;
        bestOurs = bestOurs < 0 ? ours : std::min(bestOurs, ours);
        bestTar = bestTar < 0 ? tar : std::min(bestTar, tar);
    }
    const double ratio = double(bestOurs) / double(std::max<qint64>(bestTar, 1));
    out << "bench_install: " << (archiveSize >> 20) << " MiB zip: install " << bestOurs
        << " ms, bsdtar -x " << bestTar << " ms: " << QString::number(ratio, 'f', 2)
        << "x (target at most " << target << "x) " << (ratio <= target ? "MET" : "MISSED")
        << Qt::endl;
    return 0;
}
