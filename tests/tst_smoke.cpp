#include "mods/modinfo.h"

#include <QTest>

class TestSmoke : public QObject
{
    Q_OBJECT
private slots:
    void displayText() { QCOMPARE(VxModInfo().displayText(), QStringLiteral("<no name> ")); }
};

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
