#include "launch/feedback.h"
#include "launch/launchsequence.h"
#include "testutil.h"

#include <QRandomGenerator>

using namespace Qt::StringLiterals;
using namespace vxtest;

// A launch journal cut short or damaged in any way must never crash the restore nor cost the
// game a file: what cannot be trusted is reported and left alone.
class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void damaged_data();
    void damaged();

private:
    TestDir m_dir;
    Files m_game;   // the game folder as the game has it
    Files m_modded; // as the launch left it, journal aside
    QByteArray m_journal;
};

namespace {

const QByteArray units = "<R><T><XIndexDetails id='id-0'/><XIntResourceDetails id='Speed'>"
                         "<Value>3</Value></XIntResourceDetails></T></R>";

// The game's files lost: a game file whose content is neither in its place nor in the
// backup beside it.
QStringList lost(const Files &game, const Files &now)
{
    QStringList paths;
    for (auto it = game.cbegin(); it != game.cend(); ++it) {
        if (now.value(it.key()) != it.value() && now.value(it.key() + u".backup"_s) != it.value())
            paths.append(it.key());
    }
    return paths;
}

} // namespace

void TestJournal::initTestCase()
{
    const QString install = m_dir.path() + u"/game"_s;
    m_game = {{u"data/Art/tank"_s, "tank"},
              {u"data/Art/jeep"_s, "jeep"},
              {u"data/Tweak/Units.xml"_s, units}};
    QVERIFY(writeTree(install, m_game) &&
            writeTree(m_dir.path() + u"/mod"_s, {{u"Art/tank"_s, "mod tank"},
                                                 {u"Art/medic"_s, "medic"},
                                                 {u"Tweak/Units/Speed.twk"_s, "Value=9\n"}}));
    VxSilentFeedback feedback;
    QCOMPARE(applyMods(install, {{m_dir.path() + u"/mod/"_s, u"Mod"_s}}, feedback),
             VxLaunchResult::Applied);
    m_modded = readTree(install);
    m_journal = m_modded.take(u"vxlaunch.journal"_s);
    QVERIFY(m_journal.count('\n') > 5);
}

void TestJournal::damaged_data()
{
    QTest::addColumn<QList<QByteArray>>("journals");

    QList<QByteArray> cut, flipped, garbage;
    for (qsizetype n = 0; n <= m_journal.size(); ++n)
        cut.append(m_journal.left(n));
    for (qsizetype i = 0; i < m_journal.size(); ++i) {
        QByteArray changed = m_journal;
        changed[i] = char(changed[i] ^ 0x01);
        flipped.append(changed);
    }
    QRandomGenerator random(20261206);
    for (int i = 0; i < 100; ++i) {
        QByteArray bytes(int(random.bounded(400)), Qt::Uninitialized);
        for (char &c : bytes)
            c = char(random.bounded(256));
        garbage.append(i % 2 ? bytes : m_journal.left(m_journal.indexOf('\n') + 1) + bytes);
    }
    // A record whose path climbs back into a game file, with a right checksum.
    garbage.append(m_journal + VxJournalFile::encode({VxJournalRecord::Kind::Add,
                                                      {u"data/Art/../Art/jeep"_s, u"data/x"_s}}));
    QTest::newRow("cut at every byte") << cut;
    QTest::newRow("one bit changed at every byte") << flipped;
    QTest::newRow("garbage, with and without the header") << garbage;
}

void TestJournal::damaged()
{
    QFETCH(QList<QByteArray>, journals);

    for (const QByteArray &journal : journals) {
        TestDir dir;
        const QString install = dir.path() + u"/game"_s;
        QVERIFY(writeTree(install, m_modded) &&
                writeTree(install, {{u"vxlaunch.journal"_s, journal}}));
        const VxJournal read = VxJournalFile::read(install);
        const VxRestoreReport report = restoreGame(install);
        const Files now = readTree(install);
        const QString context = QString::fromLatin1(journal.toPercentEncoding());
        QVERIFY2(lost(m_game, now).isEmpty(), qPrintable(context));
        if (journal == m_journal) {
            QVERIFY(report.ok());
            QCOMPARE(now, m_game);
        }
        if (read.state == VxJournal::State::Damaged) {
            // Left exactly as it was, the journal kept aside for a person to read.
            Files untouched = m_modded;
            untouched.insert(u"vxlaunch.journal.damaged"_s, journal);
            QVERIFY2(now == untouched, qPrintable(context));
        }
    }
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
