// How long one tweak file that sets many distinct fields of one element takes to compile.
// A walk over the element's children for every statement made 100,000 fields take minutes;
// the target is under a second. Always exits 0: the figures are for people, not for CI.
//
//   bench_fields [--fields N]

#include "launch/feedback.h"
#include "resources/resourcestore.h"
#include "tweak/tweakcompiler.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// Milliseconds to compile a file of count lines "F<n>=1" into a fresh element, or -1.
qint64 compileFields(const QString &dir, int count)
{
    const QString folder = dir + u"/Tweak/Units"_s;
    QDir().mkpath(folder);
    QByteArray text;
    text.reserve(qsizetype(count) * 10);
    for (int i = 0; i < count; ++i)
        text += "F" + QByteArray::number(i) + "=1\n";
    QFile file(folder + u"/Tank.twk"_s);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return -1;
    file.close();

    VxResourceDocument document;
    if (!document.setContent("<XResourceFile><XResourceTable><XIndexDetails id='id-0'/>"
                             "<XUnitDetails id='Tank'/></XResourceTable></XResourceFile>"))
        return -1;
    VxSilentFeedback feedback;
    VxTweakContext context;
    context.folderPath = folder;
    context.resourceName = u"Units"_s;
    context.working = document.table();
    context.pristine = document.table();
    context.feedback = &feedback;

    QElapsedTimer timer;
    timer.start();
    const TweakOutcome outcome = compileTweakFolder(context);
    const qint64 elapsed = timer.elapsed();
    const VxResourceElement tank = findResourceById(document.table(), u"Tank"_s);
    // The last field must be there, once: otherwise the figure measured the wrong thing.
    if (outcome != TweakOutcome::Finished ||
        readResourceField(tank, u"F%1"_s.arg(count - 1)) != u"1"_s ||
        !readResourceField(tank, u"F%1(1)"_s.arg(count - 1)).isNull())
        return -1;
    return elapsed;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int fields = 100000;
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(u"--fields"_s); at > 0 && at + 1 < args.size())
        fields = args.at(at + 1).toInt();

    QTextStream out(stdout);
    QTemporaryDir dir;
    out << "Distinct fields of one element in one tweak file\n";
    for (const int count : {fields / 4, fields / 2, fields}) {
        const qint64 ms = compileFields(dir.path() + u'/' + QString::number(count), count);
        out << "  " << count
            << " fields: " << (ms < 0 ? u"FAILED"_s : QString::number(ms) + u" ms"_s) << '\n';
        if (count == fields)
            out << "  target: " << fields << " fields under 1000 ms -> "
                << (ms >= 0 && ms < 1000 ? "met" : "MISSED") << '\n';
    }
    return 0;
}
