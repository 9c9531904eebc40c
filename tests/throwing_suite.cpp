// A suite whose second function throws: run by the test of the test support,
// which expects that function alone to fail and the ones after it to run.
#include "store/dberror.h"
#include "testsupport.h"

#include <QTest>

class ThrowingSuite : public QObject {
    Q_OBJECT
private slots:
    void before() { QVERIFY(true); }
    void throws() { throw DbError(DbError::ProviderError, QStringLiteral("escaped")); }
    void after() { QVERIFY(true); }
};

RONDELLA_TEST_GUILESS_MAIN(ThrowingSuite)
#include "throwing_suite.moc"
